"""Signed release sets for the scenarios, including the malformed and malicious ones the release
tool would refuse to publish. Keys and signatures come from the openssl command line; every check
of them is the patcher's own.
"""
import base64
import hashlib
import subprocess
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

import chunk_index


@dataclass
class SigningKey:
    pem: Path
    public_b64: str


def sha(data):
    return hashlib.sha256(data).hexdigest()


def make_key(folder, name):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    pem = folder / f"{name}.pem"
    if not pem.exists():
        subprocess.run(["openssl", "genpkey", "-algorithm", "ed25519", "-out", str(pem)],
                       check=True, capture_output=True)
    der = subprocess.run(["openssl", "pkey", "-in", str(pem), "-pubout", "-outform", "DER"],
                         check=True, capture_output=True).stdout
    return SigningKey(pem, base64.b64encode(der[-32:]).decode())


def sign_bytes(data, key):
    # OpenSSL 3.0 signs Ed25519 in one shot and wants to know the input's size: a file, not a pipe.
    with tempfile.NamedTemporaryFile() as message:
        message.write(data)
        message.flush()
        done = subprocess.run(["openssl", "pkeyutl", "-sign", "-inkey", str(key.pem), "-rawin",
                               "-in", message.name], check=True, capture_output=True)
    assert len(done.stdout) == 64
    return done.stdout


def registry_text(entries, version="3", expires="2030-01-01T00:00:00Z"):
    """entries: (id, "valid"|"revoked", SigningKey)."""
    lines = [f"version {version}", f"expires {expires}"]
    lines += [f"key {key_id} {state} {key.public_b64}" for key_id, state, key in entries]
    return ("\n".join(lines) + "\n").encode()


@dataclass
class Manifest:
    files: dict  # manifest path -> bytes
    version: str = "1.0.0"
    channel: str = "live"
    counter: str = "10"
    created: str = "2026-01-01T00:00:00Z"
    expires: str = "2030-01-01T00:00:00Z"
    base_url: str = "https://127.0.0.1/live/files"
    extra_lines: list = field(default_factory=list)

    def text(self):
        lines = [f"version {self.version}", f"channel {self.channel}", f"counter {self.counter}",
                 f"created {self.created}", f"expires {self.expires}"]
        for path, data in self.files.items():
            lines.append(f"file {path} {len(data)} {sha(data)} {self.base_url}/{path}")
        lines += self.extra_lines
        return ("\n".join(lines) + "\n").encode()


def write_set(folder, registry, registry_signer, manifest_bytes, manifest_signer):
    """keys.txt, manifest.txt and their signatures in `folder`."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "keys.txt").write_bytes(registry)
    (folder / "keys.txt.sig").write_bytes(sign_bytes(registry, registry_signer))
    (folder / "manifest.txt").write_bytes(manifest_bytes)
    (folder / "manifest.txt.sig").write_bytes(sign_bytes(manifest_bytes, manifest_signer))


def install_files(folder, files):
    for path, data in files.items():
        target = Path(folder) / path
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)


def write_chunk_indexes(folder, files, crafted=None):
    """`<path>.chunks` beside every file of `files` (manifest path -> bytes) below `folder` that the
    publisher would index (1 MiB or more): the honest index, or the bytes `crafted` maps its path
    to (None there leaves the file without an index)."""
    crafted = crafted or {}
    for path, data in files.items():
        if path not in crafted and len(data) < chunk_index.MIN_FILE_BYTES:
            continue
        index = crafted[path] if path in crafted else chunk_index.build_index(data)
        target = Path(folder) / (path + chunk_index.SUFFIX)
        if index is None:
            target.unlink(missing_ok=True)
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(index)
