"""Shared set-up of the scenarios that run a headless command against a published release: the
local HTTPS server serves its metadata below /live and its game files below /live/files; a run
reports its fields and its NEED and GET lines."""
import atexit
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
    """The scenarios' signing keys, made once for the process and removed when it ends."""
    if not KEYS:
        KEYS["folder"] = Path(tempfile.mkdtemp(prefix="garun2-keys-"))
        atexit.register(shutil.rmtree, KEYS["folder"], True)
        for name in ("root", "release", "old", "next", "rogue"):
            KEYS[name] = rb.make_key(KEYS["folder"], name)


def leftovers(folder):
    """Temporary files and partial downloads below `folder`."""
    return sorted(str(p) for pattern in ("*.tmp", "*.g2part") for p in Path(folder).rglob(pattern))


def partial_name(path, data):
    """Where an interrupted download of manifest entry `path` with these bytes keeps what it has."""
    return f"{path}~{rb.sha(data)[:12]}.g2part"


class UpdateScenario(unittest.TestCase):
    """A copy of the patcher (the build's, or the one `exe` names) with empty data and game
    folders, and a release server of its own."""
    exe = None

    @classmethod
    def setUpClass(cls):
        make_keys()

    def setUp(self):
        self.box = Sandbox(self.exe)
        self.live = self.box.root / "server" / "live"
        self.server = ReleaseServer(self.box.root / "server").start()
        self.data = self.box.root / "data"
        self.game = self.box.root / "game"

    def tearDown(self):
        self.server.stop()
        self.box.cleanup()

    def publish(self, files, counter="10", extra_lines=(), registry=None):
        """The release: `files` (manifest path -> bytes) served below /live/files."""
        rb.install_files(self.live / "files", files)
        manifest = rb.Manifest(dict(files), counter=counter, extra_lines=list(extra_lines),
                               base_url=self.server.url("/live/files"))
        registry = registry or rb.registry_text([("release-1", "valid", KEYS["release"])])
        rb.write_set(self.live, registry, KEYS["root"], manifest.text(), KEYS["release"])

    def serve_signed(self, name, data, signer="release"):
        """`data` as /live/`name`, with the signature of one of KEYS beside it."""
        (self.live / name).write_bytes(data)
        (self.live / (name + ".sig")).write_bytes(rb.sign_bytes(data, KEYS[signer]))

    def reinstall(self, files):
        """The game folder holding exactly `files`: partial downloads and all else gone."""
        shutil.rmtree(self.game, ignore_errors=True)
        self.game.mkdir()
        rb.install_files(self.game, files)

    def release_arguments(self, base_url=None):
        """Where the release, the data and the game are, and the root key: a window's arguments."""
        return ["--base-url", base_url or self.server.url("/live"), "--data-dir",
                windows_path(self.data), "--install-dir", windows_path(self.game),
                "--root-key-b64", KEYS["root"].public_b64]

    def headless_arguments(self, command="--update", base_url=None):
        return ["--headless", command, *self.release_arguments(base_url), "--now", NOW]

    def update(self, *extra, command="--update", base_url=None):
        run = self.box.run(*self.headless_arguments(command, base_url), *extra, timeout=600)
        fields = run.fields()
        fields["_code"] = run.code
        lines = fields["_lines"] = run.stdout.split("\r\n")
        fields["_need"] = [l[len("  NEED "):] for l in lines if l.startswith("  NEED ")]
        fields["_get"] = [l[len("  GET "):] for l in lines if l.startswith("  GET ")]
        return fields

    def probe(self, name, *extra):
        """A self-test probe on the scenario's data directory: its exit code and fields."""
        run = self.box.run("--headless", "--self-test", name, "--data-dir",
                           windows_path(self.data), *extra)
        return run.code, run.fields()

    def apply_self_update(self, new_patcher):
        """The staged patcher applied by the probe, which checks it against its digest."""
        code, applied = self.probe("self-update-apply", "--expect-sha256", rb.sha(new_patcher))
        self.assertEqual((code, applied["APPLY"]), (0, "OK"), applied)
        self.assertEqual(self.box.exe.read_bytes(), new_patcher)

    def file_requests(self, below="/live/files/"):
        return [path for method, path, _ in self.server.requests if path.startswith(below)]

    def assertInstalled(self, files):
        for path, data in files.items():
            target = self.game / path
            self.assertTrue(target.is_file(), path)
            self.assertEqual(rb.sha(target.read_bytes()), rb.sha(data), path)

    def assertUpdated(self, fields, files):
        """A run that ended with every file of `files` verified and nothing left beside them."""
        self.assertEqual((fields["_code"], fields["DOWNLOAD_CODE"]), (0, "0"), fields)
        self.assertInstalled(files)
        self.assertEqual(leftovers(self.game), [])
