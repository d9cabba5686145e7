"""The README's commands for trying out the trust file, run as they stand:
a private CA and a server certificate made with the openssl command line,
the trust file placed on the Linux build's drive C:, a minimal HTTPS server,
and a job whose report that server acknowledges, for the server's DNS name
and for its address. The one change is the port, a free one instead of
8443, so that the test can run beside others."""

import os
import re
import subprocess
import tempfile
import unittest

from harness import WORKER, unused_port

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
README_PORT = "8443"


def readme_commands():
    """The indented block between the README's markers, unindented."""
    with open(README, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"<!-- trust-file commands begin -->\n(.*?)<!-- trust-file commands end -->", text, re.S)
    return "\n".join(line[4:] for line in block.group(1).split("\n"))


class ReadmeTrustCommands(unittest.TestCase):
    def run_commands(self, commands):
        with tempfile.TemporaryDirectory() as folder:
            env = dict(os.environ, WORKER=WORKER)
            env.pop("WORKER_DRIVE_ROOT", None)
            proc = subprocess.run(["bash", "-euo", "pipefail", "-c", commands], cwd=folder, env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=120)
            trust = os.path.join(folder, "drive", "C", "ORV", "PatchDeploy", "StatusServerTrust.pem")
            self.assertTrue(os.path.isfile(trust), "the trust file is where the worker looks for it")
        return proc

    def test_the_commands_make_a_trust_file_the_worker_accepts(self):
        commands = readme_commands()
        self.assertEqual(commands.count(README_PORT), 2, "the server's port and the job's")
        for host in ("localhost", "127.0.0.1"):
            with self.subTest(host):
                port = str(unused_port())
                proc = self.run_commands(commands.replace(README_PORT, port).replace(" localhost " + port,
                                                                                      " %s %s" % (host, port)))
                self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
                self.assertTrue(proc.stdout.decode().endswith("Success"), proc.stdout)

    def test_a_server_the_file_does_not_vouch_for_is_refused(self):
        # The same commands with the server's certificate made out to
        # another name: the worker refuses it (and, its server gone, is
        # stopped by the test's limit on its pauses).
        port = str(unused_port())
        commands = readme_commands().replace(README_PORT, port).replace("DNS:localhost,IP:127.0.0.1",
                                                                          "DNS:elsewhere.example")
        commands = commands.replace('"$WORKER"', 'WORKER_SLEEP_SCALE=0 "$WORKER"').replace("\nwait", "\nkill %1 || true")
        proc = self.run_commands(commands)
        self.assertIn("Soap failure. The status server's certificate does not name the host localhost.",
                      proc.stdout.decode())
        self.assertFalse(proc.stdout.decode().endswith("Success"))


if __name__ == "__main__":
    unittest.main()
