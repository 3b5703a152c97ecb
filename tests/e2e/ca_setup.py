#!/usr/bin/env python3
"""The test certificate authority of the end-to-end scenarios.

Created once with the openssl command line and installed into the host's CA store, which Wine's
crypt32 imports as trusted roots, so WinHTTP under wine64 trusts the test server exactly as it would
a real one. Running this again changes nothing while the files are sound; it is safe to call from
every CI run and from several processes at once (a file lock serialises them).

Certificates made here, all for 127.0.0.1 and localhost unless said otherwise:
  ca.crt / ca.key                 the trusted test CA (installed into the host store)
  server.crt / server.key         signed by the test CA
  wrong-name.crt / .key           signed by the test CA, but for "wrong-name.invalid" only
  expired.crt / .key              signed by the test CA, validity ended in 2021
  revoked.crt / .key              signed by the test CA and listed in its revocation list
  ca.crl, untrusted-ca.crl        the revocation lists (DER) that every leaf names as a file: URL
  untrusted-ca.crt / .key         a second CA that is never installed
  untrusted.crt / .key            signed by the untrusted CA

Usage: ca_setup.py [--no-install]   (prints the folder)
"""
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
# Outside the build tree when we may write there, so that wiping a build keeps the CA the host
# already trusts.
SYSTEM_DIR = Path("/var/lib/garun2-test-ca")
STORE_FILE = Path("/usr/local/share/ca-certificates/garun2-test-ca.crt")
# Wine matches a host that is an IP address only against DNS-type names, Windows against IP-type
# names: the certificate carries both.
NAMES = "DNS:localhost,IP:127.0.0.1,DNS:127.0.0.1"


def ca_dir():
    override = os.environ.get("GARUN2_TEST_CA_DIR")
    if override:
        return Path(override)
    return SYSTEM_DIR if os.geteuid() == 0 else REPO / "build" / "test-ca"


def openssl(*args, cwd=None):
    subprocess.run(["openssl", *args], check=True, cwd=cwd, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE)


def make_ca(folder, stem, common_name):
    openssl("req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-sha256",
            "-keyout", f"{stem}.key", "-out", f"{stem}.crt", "-days", "3650",
            "-subj", f"/CN={common_name}",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign",
            "-addext", "subjectKeyIdentifier=hash", cwd=folder)


CA_CONFIG = """[ca]
default_ca = test_ca
[test_ca]
dir = .
database = $dir/{stem}-index.txt
new_certs_dir = $dir/{stem}-issued
serial = $dir/{stem}-serial
default_md = sha256
policy = any
copy_extensions = none
unique_subject = no
[any]
commonName = supplied
[leaf]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = {names}
crlDistributionPoints = URI:file:///Z:{crl}
"""


def make_leaf(folder, stem, ca_stem, names, start="", end=""):
    """A server certificate; start/end as YYYYMMDDHHMMSSZ give a fixed validity window."""
    config = folder / f"{stem}.cnf"
    # The revocation list is named by its final path, where create() moves the folder.
    crl = ca_dir() / f"{ca_stem}.crl"
    config.write_text(CA_CONFIG.format(stem=ca_stem, names=names, crl=crl))
    (folder / f"{ca_stem}-issued").mkdir(exist_ok=True)
    (folder / f"{ca_stem}-index.txt").touch()
    serial = folder / f"{ca_stem}-serial"
    if not serial.exists():
        serial.write_text(os.urandom(8).hex().upper() + "\n")
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{stem}.key",
            "-out", f"{stem}.csr", "-subj", "/CN=" + names.split(",")[0].split(":", 1)[1],
            cwd=folder)
    validity = ["-startdate", start, "-enddate", end] if start else ["-days", "825"]
    openssl("ca", "-batch", "-notext", "-config", config.name, "-name", "test_ca",
            "-extensions", "leaf", "-cert", f"{ca_stem}.crt", "-keyfile", f"{ca_stem}.key",
            "-in", f"{stem}.csr", "-out", f"{stem}.crt", *validity, cwd=folder)


def publish_crl(folder, ca_stem, revoke=()):
    """Revokes the named leaves and writes the CA's revocation list (DER, valid ten years)."""
    for stem in revoke:
        openssl("ca", "-config", f"{stem}.cnf", "-name", "test_ca", "-cert", f"{ca_stem}.crt",
                "-keyfile", f"{ca_stem}.key", "-revoke", f"{stem}.crt", cwd=folder)
    openssl("ca", "-config", "server.cnf" if ca_stem == "ca" else "untrusted.cnf", "-name",
            "test_ca", "-cert", f"{ca_stem}.crt", "-keyfile", f"{ca_stem}.key", "-gencrl",
            "-crldays", "3650", "-out", f"{ca_stem}.crl.pem", cwd=folder)
    openssl("crl", "-in", f"{ca_stem}.crl.pem", "-outform", "DER", "-out", f"{ca_stem}.crl",
            cwd=folder)


def verifies(folder, ca_stem, stem):
    done = subprocess.run(["openssl", "verify", "-CAfile", f"{ca_stem}.crt", f"{stem}.crt"],
                          cwd=folder, capture_output=True)
    return done.returncode == 0


def complete(folder):
    stems = ["ca", "server", "wrong-name", "expired", "revoked", "untrusted-ca", "untrusted"]
    wanted = [f"{s}.{e}" for s in stems for e in ("crt", "key")] + ["ca.crl", "untrusted-ca.crl"]
    if not all((folder / name).exists() for name in wanted):
        return False
    # The leaves must still be good for a while; the CA lasts ten years.
    soon = subprocess.run(["openssl", "x509", "-checkend", str(30 * 86400), "-noout", "-in",
                           str(folder / "server.crt")], capture_output=True)
    return (soon.returncode == 0 and verifies(folder, "ca", "server")
            and verifies(folder, "untrusted-ca", "untrusted"))


def create(folder):
    """Builds every file in a scratch folder and moves it into place whole."""
    folder.parent.mkdir(parents=True, exist_ok=True)
    scratch = Path(tempfile.mkdtemp(prefix=".test-ca-", dir=folder.parent))
    try:
        make_ca(scratch, "ca", "Garun2 Test CA")
        make_leaf(scratch, "server", "ca", NAMES)
        make_leaf(scratch, "wrong-name", "ca", "DNS:wrong-name.invalid")
        make_leaf(scratch, "expired", "ca", NAMES, "20200101000000Z", "20210101000000Z")
        make_leaf(scratch, "revoked", "ca", NAMES)
        publish_crl(scratch, "ca", revoke=["revoked"])
        make_ca(scratch, "untrusted-ca", "Garun2 Untrusted Test CA")
        make_leaf(scratch, "untrusted", "untrusted-ca", NAMES)
        publish_crl(scratch, "untrusted-ca")
        if folder.exists():
            shutil.rmtree(folder)
        scratch.rename(folder)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def install(folder):
    """Puts the CA into the host store; returns True when the store changed."""
    wanted = (folder / "ca.crt").read_bytes()
    if STORE_FILE.exists() and STORE_FILE.read_bytes() == wanted:
        return False
    STORE_FILE.parent.mkdir(parents=True, exist_ok=True)
    STORE_FILE.write_bytes(wanted)
    subprocess.run(["update-ca-certificates"], check=True, stdout=subprocess.DEVNULL)
    return True


def ensure(install_into_store=True):
    """Makes sure the CA and the server certificates exist (and the CA is trusted); returns the
    folder."""
    folder = ca_dir()
    folder.parent.mkdir(parents=True, exist_ok=True)
    with open(folder.parent / ".garun2-test-ca.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not complete(folder):
            create(folder)
        if install_into_store and os.geteuid() == 0:
            install(folder)
    return folder


def trusted_by_host(folder):
    return STORE_FILE.exists() and STORE_FILE.read_bytes() == (folder / "ca.crt").read_bytes()


if __name__ == "__main__":
    print(ensure(install_into_store="--no-install" not in sys.argv[1:]))
