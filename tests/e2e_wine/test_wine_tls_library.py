"""The Windows executable under Wine reads no OpenSSL configuration and loads
no module, whatever the disk holds. A configuration that names a provider
DLL beside it is planted where an OpenSSL built with its default folders
looks: "/usr/local/ssl/openssl.cnf", which Windows reads on the current
drive (C: for a service) and Wine, for a path that begins with a slash, on
this machine's own root (drive Z:) whatever the current drive. So it lies
in both: in the prefix's drive_c/usr/local/ssl, and in the host's
/usr/local/ssl, where /usr/local is a scratch tmpfs in a private mount
namespace, so the machine's own is never touched. strace follows Wine and
the wineserver it starts (which opens files for its clients) and shows that
no file of either name is even looked at, while the job reports as usual:
from a folder of Z: without a trust file, and from C:\\windows\\system32,
a service's current folder, with one.

The OpenSSL that the exe links holds only what the worker offers: servers
restricted to each kind of key exchange, certificate and cipher it keeps
(TLS 1.3; TLS 1.2 with ECDHE, DHE or RSA key exchange, RSA or ECDSA
certificates, AES-GCM or ChaCha20-Poly1305) all get the report."""

import os
import shutil
import ssl
import subprocess
import tempfile
import unittest

import wine_harness as wine
import certificates
from harness import StatusServer, job_args
from test_deploy import UPDATE_ID
from test_server_trust import TRUST_FILE, place_trust
from test_tls_library import CONFIG_NAME, MODULE_NAME, hostile_config, planted_files_named, traced

DEPLOYED = "ReleasePatchDeployPointers - Exit"
PLANTED_FOLDER = "/usr/local/ssl"
# Mounts a scratch tmpfs on /usr/local, copies the files of the folder $1
# into its ssl folder, and runs the rest of its command line; all in the
# mount namespace of its own that unshare gives it.
PLANT_ON_HOST = ('mount -t tmpfs planted /usr/local && mkdir /usr/local/ssl && cp "$1"/* /usr/local/ssl/ && '
                 'shift && exec "$@"')


def setUpModule():
    global _folder, AUTHORITY, ISSUED
    _folder = tempfile.TemporaryDirectory()
    AUTHORITY = certificates.authority(_folder.name, "root")
    ISSUED = certificates.server_certificate(_folder.name, "issued", ["IP:127.0.0.1"], issuer=AUTHORITY)
    global RSA_CERTIFICATE, RSA_PEM, DH_PARAMETERS
    RSA_CERTIFICATE = rsa_certificate(_folder.name)
    with open(RSA_CERTIFICATE[0], "rb") as f:
        RSA_PEM = f.read()
    DH_PARAMETERS = os.path.join(_folder.name, "dh.pem")
    subprocess.run(["openssl", "genpkey", "-genparam", "-algorithm", "DH", "-pkeyopt", "group:ffdhe2048",
                    "-out", DH_PARAMETERS], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wine.start_wine()
    # Each run starts its own wineserver inside its namespace and trace.
    wine.stop_wine()


def tearDownModule():
    wine.stop_wine()
    _folder.cleanup()


def rsa_certificate(folder):
    """A self-signed RSA certificate for the loopback address: (cert, key)."""
    cert, key = os.path.join(folder, "rsa.pem"), os.path.join(folder, "rsa.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=status server", "-addext", "subjectAltName=IP:127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def plant(folder, module):
    """The hostile configuration, naming module (a path with forward
    slashes, which the configuration's syntax keeps as they are), and a real
    DLL as that module, in folder."""
    os.makedirs(folder, exist_ok=True)
    shutil.copy2(wine.SIM_SERVER, os.path.join(folder, MODULE_NAME + ".dll"))
    with open(os.path.join(folder, CONFIG_NAME), "wb") as f:
        f.write(hostile_config(module))


class NoConfigurationTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        root = wine.map_drive_with_installed_update(self)
        self.folder = os.path.join(root, "ORV", "PatchDeploy")
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.scratch = scratch.name
        drive_c = os.path.join(wine.PREFIX, "drive_c", "usr")
        self.addCleanup(shutil.rmtree, drive_c, ignore_errors=True)
        module = PLANTED_FOLDER + "/" + MODULE_NAME + ".dll"
        plant(os.path.join(drive_c, "local", "ssl"), "C:" + module)
        # What the namespace plants on the host.
        self.host = os.path.join(self.scratch, "host")
        plant(self.host, module)

    def test_no_planted_configuration_or_module_is_looked_at(self):
        cases = (("started in a folder of Z:, without a trust file", wine.STANDINS, None),
                 ("started in C:\\windows\\system32, with a trust file", wine.SYSTEM32, AUTHORITY.pem()))
        for case, current, trust in cases:
            with self.subTest(case), StatusServer(tls=True, certificate=(ISSUED.cert, ISSUED.key)) as server:
                if trust:
                    place_trust(self.folder, trust)
                trace = os.path.join(self.scratch, "trace.log")
                namespace = ["unshare", "-m", "--propagation", "private", "sh", "-ec", PLANT_ON_HOST, "sh", self.host]
                args = job_args(server.port, transport="1", update_id=UPDATE_ID, drive=wine.DRIVE, job="5")
                run = wine.run_windows(wine.WORKER, args, cwd=current, wrapper=namespace + traced([], trace))
                self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
                self.assertEqual(len(server.requests), 1)
                self.assertEqual(planted_files_named(trace), [])
                # The trace does see the files the job looks for.
                with open(trace, encoding="utf-8", errors="replace") as f:
                    self.assertIn(TRUST_FILE.lower(), f.read().lower())


class KeptAlgorithmsTest(unittest.TestCase):
    def test_every_kind_of_server_the_worker_offers_to_gets_the_report(self):
        ecdsa = (ISSUED.cert, ISSUED.key)
        # (case, certificate, TLS 1.2 cipher suite or None for TLS 1.3,
        # trust file or None)
        cases = (("TLS 1.3, ECDSA, with the trust file", ecdsa, None, AUTHORITY.pem()),
                 ("TLS 1.3, RSA, with the trust file", RSA_CERTIFICATE, None, RSA_PEM),
                 ("TLS 1.2, ECDHE-ECDSA-AES128-GCM-SHA256", ecdsa, "ECDHE-ECDSA-AES128-GCM-SHA256", None),
                 ("TLS 1.2, ECDHE-ECDSA-CHACHA20-POLY1305", ecdsa, "ECDHE-ECDSA-CHACHA20-POLY1305", None),
                 ("TLS 1.2, ECDHE-RSA-AES256-GCM-SHA384", RSA_CERTIFICATE, "ECDHE-RSA-AES256-GCM-SHA384", None),
                 ("TLS 1.2, ECDHE-RSA-CHACHA20-POLY1305", RSA_CERTIFICATE, "ECDHE-RSA-CHACHA20-POLY1305", None),
                 ("TLS 1.2, DHE-RSA-AES128-GCM-SHA256", RSA_CERTIFICATE, "DHE-RSA-AES128-GCM-SHA256", None),
                 ("TLS 1.2, RSA key exchange, AES256-GCM-SHA384", RSA_CERTIFICATE, "AES256-GCM-SHA384", None))
        root = wine.map_drive_with_installed_update(self)
        folder = os.path.join(root, "ORV", "PatchDeploy")
        for case, certificate, suite, trust in cases:
            with self.subTest(case), StatusServer(tls=True, certificate=certificate) as server:
                if suite:
                    restrict_to_tls12(server, suite)
                if trust:
                    place_trust(folder, trust)
                elif os.path.exists(os.path.join(folder, TRUST_FILE)):
                    os.remove(os.path.join(folder, TRUST_FILE))
                run = wine.run_worker(job_args(server.port, transport="1", update_id=UPDATE_ID, drive=wine.DRIVE))
                self.assertTrue(run.text.endswith(DEPLOYED + "Success"), run.text)
                self.assertEqual(len(server.requests), 1)


def restrict_to_tls12(server, suite):
    """Makes the loopback server speak TLS 1.2 with the one cipher suite."""
    context = server._context  # what the server wraps each accepted connection with
    context.maximum_version = ssl.TLSVersion.TLSv1_2
    context.set_ciphers(suite)
    context.load_dh_params(DH_PARAMETERS)


if __name__ == "__main__":
    unittest.main()
