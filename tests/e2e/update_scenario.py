"""Shared set-up of the scenarios that run a headless command against a published release: the
local HTTPS server serves its metadata below /live and its game files below /live/files; a run
reports its fields and its NEED and GET lines."""
import hashlib
import shutil
import tempfile
import unittest
from pathlib import Path

import release_builder as rb
from patcher_run import Sandbox, windows_path
from release_server import ReleaseServer

NOW = "2026-06-01T00:00:00Z"
KEYS = {}


def make_keys():
    KEYS["folder"] = Path(tempfile.mkdtemp(prefix="garun2-keys-"))
    for name in ("root", "release", "old"):
        KEYS[name] = rb.make_key(KEYS["folder"], name)


def drop_keys():
    shutil.rmtree(KEYS["folder"], ignore_errors=True)


def leftovers(folder):
    """Temporary files and partial downloads below `folder`."""
    return sorted(str(p) for pattern in ("*.tmp", "*.g2part") for p in Path(folder).rglob(pattern))


def partial_name(path, data):
    """Where an interrupted download of manifest entry `path` with these bytes keeps what it has."""
    return f"{path}~{hashlib.sha256(data).hexdigest()[:12]}.g2part"


class ServedRelease(unittest.TestCase):
    """A copy of the patcher with empty data and game folders, and a release server of its own."""

    def setUp(self):
        self.box = Sandbox()
        self.live = self.box.root / "server" / "live"
        self.server = ReleaseServer(self.box.root / "server").start()
        self.data = self.box.root / "data"
        self.game = self.box.root / "game"

    def tearDown(self):
        self.server.stop()
        self.box.cleanup()


class UpdateScenario(ServedRelease):
    def publish(self, files, counter="10", extra_lines=(), registry=None):
        """The release: `files` (manifest path -> bytes) served below /live/files."""
        for path, data in files.items():
            target = self.live / "files" / path
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(data)
        manifest = rb.Manifest(dict(files), counter=counter, extra_lines=list(extra_lines),
                               base_url=self.server.url("/live/files"))
        registry = registry or rb.registry_text([("release-1", "valid", KEYS["release"])])
        rb.write_set(self.live, registry, KEYS["root"], manifest.text(), KEYS["release"])

    def update(self, *extra, command="--update", base_url=None):
        base_url = base_url or self.server.url("/live")
        run = self.box.run("--headless", command, "--base-url", base_url,
                           "--data-dir", windows_path(self.data),
                           "--install-dir", windows_path(self.game),
                           "--root-key-b64", KEYS["root"].public_b64, "--now", NOW, *extra,
                           timeout=600)
        fields = run.fields()
        fields["_code"] = run.code
        lines = fields["_lines"] = run.stdout.split("\r\n")
        fields["_need"] = [l[len("  NEED "):] for l in lines if l.startswith("  NEED ")]
        fields["_get"] = [l[len("  GET "):] for l in lines if l.startswith("  GET ")]
        return fields

    def file_requests(self):
        return [path for method, path, _ in self.server.requests if path.startswith("/live/files/")]

    def assertInstalled(self, files, folder=None):
        folder = Path(folder or self.game)
        for path, data in files.items():
            target = folder / path
            self.assertTrue(target.is_file(), path)
            self.assertEqual(hashlib.sha256(target.read_bytes()).hexdigest(),
                             hashlib.sha256(data).hexdigest(), path)
