"""Certificates for the tests of the status server's authentication, made
with the openssl command: authorities, intermediates and server
certificates with chosen names and validity, including ones that expired
or are not valid yet (which only "openssl ca" can date)."""

import os
import subprocess

# Validity that holds now, and two that do not.
VALID = ("20200101000000Z", "20991231235959Z")
EXPIRED = ("20200101000000Z", "20210101000000Z")
NOT_YET_VALID = ("20900101000000Z", "20991231235959Z")

_CA_CONFIG = """\
[ca]
default_ca = test_ca
[test_ca]
database = {folder}/index.txt
new_certs_dir = {folder}
rand_serial = yes
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
[any_name]
commonName = supplied
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
{alt_names}
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
{name_constraints}
"""

# Keys as "openssl req -newkey" takes them: the default, and RSA ones for
# servers of static-RSA key exchange or of keys too short.
EC_KEY = ["ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"]


def rsa_key(bits):
    return ["rsa:%d" % bits]


def _openssl(*args, stdin=None):
    subprocess.run(["openssl"] + list(args), check=True, input=stdin, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


class Certificate:
    """A key and its certificate, as files of folder named after name."""

    def __init__(self, folder, name):
        self.folder = folder
        self.name = name
        self.key = os.path.join(folder, name + ".key")
        self.cert = os.path.join(folder, name + ".pem")

    def pem(self):
        with open(self.cert, "rb") as f:
            return f.read()

    def key_pem(self):
        with open(self.key, "rb") as f:
            return f.read()


def _sign(folder, name, common_name, names, validity, extensions, issuer=None, key=EC_KEY, constraints=None):
    """A new key and a certificate for it, signed by issuer (a Certificate)
    or by itself; constraints are the names ("DNS:good.test") a CA may
    vouch for."""
    made = Certificate(folder, name)
    scratch = os.path.join(folder, name + ".ca")
    os.makedirs(scratch, exist_ok=True)
    open(os.path.join(scratch, "index.txt"), "w").close()
    alt_names = "subjectAltName = " + ", ".join(names) if names else ""
    config = os.path.join(scratch, "ca.cnf")
    with open(config, "w") as f:
        f.write(_CA_CONFIG.format(folder=scratch, alt_names=alt_names, name_constraints=(
            "nameConstraints = critical, " + ", ".join("permitted;" + c for c in constraints)
            if constraints else "")))
    request = os.path.join(scratch, "request.csr")
    _openssl("req", "-new", "-newkey", *key, "-nodes",
             "-keyout", made.key, "-out", request, "-subj", "/CN=" + common_name)
    signer = ["-selfsign", "-keyfile", made.key] if issuer is None else ["-cert", issuer.cert, "-keyfile", issuer.key]
    _openssl("ca", "-batch", "-notext", "-config", config, "-in", request, "-out", made.cert,
             "-startdate", validity[0], "-enddate", validity[1], "-extensions", extensions, *signer)
    return made


def authority(folder, name, issuer=None, constraints=None):
    """A CA certificate: self-signed, or an intermediate issued by issuer;
    with constraints, only for those names."""
    return _sign(folder, name, "Test CA " + name, [], VALID, "authority", issuer, constraints=constraints)


def server_certificate(folder, name, names, issuer=None, validity=VALID, common_name="status server", key=EC_KEY):
    """A server certificate for names ("IP:127.0.0.1", "DNS:localhost"),
    issued by issuer or self-signed."""
    return _sign(folder, name, common_name, names, validity, "server", issuer, key)


def other_host_certificate(folder):
    """A self-signed certificate for a host name other than the loopback
    one: what a server presents to a client that does not verify it."""
    return server_certificate(folder, "other-host", [], common_name="wrong.example.invalid")


def chain_file(folder, name, certificates):
    """One PEM file holding certificates in order (a server's certificate
    and then the intermediates it sends)."""
    path = os.path.join(folder, name + ".chain.pem")
    with open(path, "wb") as f:
        for certificate in certificates:
            f.write(certificate.pem())
    return path
