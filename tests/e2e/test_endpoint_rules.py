"""The status server's host and port as the command line gives them: a port
is 1 to 5 ASCII digits with a value from 1 to 65535, a host names the
server and nothing else, and the endpoint goes out whole. Anything else is
refused before any attempt, with one console line: no number slips through
to another port, and nothing is cut."""

import unittest

from harness import COM_FAILED_LINE, COM_FAILS, StatusServer, job_args, run_worker

# The one line of a job whose endpoint is refused.
UNSENDABLE = "Soap failure. The status server's host or port is not valid."
REFUSED = COM_FAILED_LINE + UNSENDABLE
# The longest endpoint the worker sends, in bytes.
LONGEST_ENDPOINT = 1023
PATH = "/VeltraneWS/veltwua"


def full_width(digits):
    return "".join(chr(0xFF10 + int(d)) for d in digits)


class EndpointRules(unittest.TestCase):
    def run_job(self, port, host="127.0.0.1", transport="0"):
        return run_worker(job_args(port, host=host, transport=transport), env=COM_FAILS, timeout=60)

    def test_what_is_no_port_or_no_host_is_not_sent(self):
        with StatusServer() as server:
            port = server.port
            ports = (
                # Numbers whose low 16 bits (or 32) are the server's port.
                str(port + 65536), str(port - 65536), str(port + (1 << 32)), str(port - (1 << 32)),
                "0", "65536", "99999", "00000", "0" + str(port).zfill(5), "",
                "+%d" % port, "%d+" % port, "0x%x" % port, "%d.0" % port, "%de0" % port, "-0",
                full_width(str(port)), "\u0663\u0664\u0665",  # full-width and Arabic-Indic digits
                "1" * 1105,
            )
            for bad in ports:
                with self.subTest(port=bad[:20]):
                    run = self.run_job(bad)
                    self.assertEqual((run.text, run.returncode), (REFUSED, 0))
            # A colon in the host would make what follows it the port.
            for host in ("127.0.0.1:%d" % port, "", ":%d" % port, "[::1]"):
                with self.subTest(host=host):
                    run = self.run_job("80", host=host)
                    self.assertEqual((run.text, run.returncode), (REFUSED, 0))
        self.assertEqual(server.connections, 0)

    def test_ports_that_are_ports(self):
        for selector, tls in (("0", False), ("1", True)):
            with self.subTest(tls=tls), StatusServer(tls=tls) as server:
                # Leading zeros within five digits are the same port.
                for port in (str(server.port), str(server.port).zfill(5)):
                    run = self.run_job(port, transport=selector)
                    self.assertEqual(run.text, COM_FAILED_LINE + "Success")
                self.assertEqual(len(server.requests), 2)
                for request in server.requests:
                    self.assertEqual(request.request_line, "POST %s HTTP/1.1" % PATH)
                    self.assertIn(("Host", "127.0.0.1:%d" % server.port), request.headers)

    def test_an_endpoint_longer_than_its_buffer_is_refused_not_cut(self):
        # A host too long for the endpoint is refused whole; one that fits
        # exactly is attempted (it names no server here, so each attempt
        # fails without a connection, and nothing waits between them).
        def host_for(length, port, scheme):
            return "a" * (length - len("%s://:%s%s" % (scheme, port, PATH)))

        for selector, scheme in (("0", "http"), ("1", "https")):
            with self.subTest(scheme=scheme):
                run = self.run_job("80", host=host_for(LONGEST_ENDPOINT + 1, "80", scheme), transport=selector)
                self.assertEqual(run.text, REFUSED)
                # Each character of this host is three bytes in the endpoint.
                wide = "\u20ac" * ((LONGEST_ENDPOINT - len("%s://:80%s" % (scheme, PATH))) // 3 + 1)
                run = self.run_job("80", host=wide, transport=selector)
                self.assertEqual(run.text, REFUSED)
                run = self.run_job("80", host=host_for(LONGEST_ENDPOINT, "80", scheme), transport=selector)
                self.assertTrue(run.text.startswith(COM_FAILED_LINE + "Soap failure. "), run.text)
                self.assertNotEqual(run.text, REFUSED)


if __name__ == "__main__":
    unittest.main()
