"""The TLS library reads no configuration and loads no module: an HTTPS job
whose environment names a hostile OpenSSL configuration (OPENSSL_CONF), one
that would load a provider module and allow only TLS 1.1 and older, reports
to a loopback TLS 1.2/1.3 server, and strace shows that neither the file nor
the module was even looked at: with a trust file (parsed before the first
connection) and without one. The library's texts for the TLS routines are
still loaded: a failed handshake prints OpenSSL's reason.

The configuration and the trace's reading are shared with the Windows
build's suite under Wine."""

import os
import subprocess
import tempfile
import unittest

import certificates
from harness import COM_FAILED_LINE, COM_FAILS, SOAP_FAILURE, WORKER, StatusServer, WorkerRun, decode_console, \
    job_args, run_worker, traceable, under_strace, worker_environment
from test_server_trust import place_trust

CONFIG_NAME = "openssl.cnf"
MODULE_NAME = "planted_provider"


def hostile_config(module):
    """An OpenSSL configuration that loads the provider module (a path) and
    allows no TLS version the status server speaks."""
    return ("openssl_conf = planted\n"
            "[planted]\nproviders = planted_providers\nssl_conf = planted_ssl\n"
            "[planted_providers]\n%s = planted_module\ndefault = default_provider\n"
            "[planted_module]\nmodule = %s\nactivate = 1\n"
            "[default_provider]\nactivate = 1\n"
            "[planted_ssl]\nsystem_default = planted_policy\n"
            "[planted_policy]\nMaxProtocol = TLSv1.1\nCipherString = DEFAULT:@SECLEVEL=0\n"
            % (MODULE_NAME, module)).encode()


def traced(command, trace):
    """The command under strace, which writes every system call of it and of
    its children that names a file into trace."""
    return under_strace(trace, "%file", command)


def planted_files_named(trace):
    """The lines of a strace log that name the planted configuration or
    module, in any letter case."""
    with open(trace, encoding="utf-8", errors="replace") as f:
        return [line.rstrip("\n") for line in f
                if CONFIG_NAME in line.lower() or MODULE_NAME in line.lower()]


class NoConfigurationTest(unittest.TestCase):
    def test_a_hostile_configuration_is_neither_read_nor_obeyed(self):
        with tempfile.TemporaryDirectory() as tmp:
            config = os.path.join(tmp, CONFIG_NAME)
            with open(config, "wb") as f:
                f.write(hostile_config(os.path.join(tmp, MODULE_NAME + ".so")))
            authority = certificates.authority(tmp, "root")
            issued = certificates.server_certificate(tmp, "issued", ["IP:127.0.0.1"], issuer=authority)
            folder = os.path.join(tmp, "C", "ORV", "PatchDeploy")
            os.makedirs(folder)
            for case, trust in (("without a trust file", None), ("with a trust file", authority.pem())):
                with self.subTest(case), StatusServer(tls=True, certificate=(issued.cert, issued.key)) as server:
                    if trust:
                        place_trust(folder, trust)
                    trace = os.path.join(tmp, "trace.log")
                    env = dict(COM_FAILS, WORKER_DRIVE_ROOT=tmp, OPENSSL_CONF=config, OPENSSL_MODULES=tmp)
                    with worker_environment(env) as full_env:
                        proc = subprocess.run(traced([WORKER] + job_args(server.port, transport="1"), trace),
                                              stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, env=traceable(full_env),
                                              timeout=120)
                    run = WorkerRun(proc.stdout, decode_console(proc.stdout), proc.returncode)
                    self.assertEqual(run.text, COM_FAILED_LINE + "Success")
                    self.assertEqual(len(server.requests), 1)
                    self.assertEqual(planted_files_named(trace), [])


    def test_a_failed_handshake_prints_the_tls_library_reason(self):
        # An HTTPS job sent to a plain HTTP server.
        with StatusServer() as server:
            run = run_worker(job_args(server.port, transport="1"), env=COM_FAILS)
        reason = "SSL_ERROR_SSL error:0A00010B:SSL routines::wrong version number"
        self.assertTrue(run.text.startswith(COM_FAILED_LINE + SOAP_FAILURE + reason), run.text)


if __name__ == "__main__":
    unittest.main()
