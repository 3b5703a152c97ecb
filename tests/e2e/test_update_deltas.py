"""Files made from binary deltas (`<file>.from-<old sha256>`, listed in the release's deltas.txt):
the check plans a delta from the copy on disk, the download fetches it (carrying on after a cut)
and decodes it with that copy as its prefix, and whatever a delta does wrong, the file ends up
whole and verified from its own URL, with one log line. The server's byte counts show what
crossed the wire."""
import random
import subprocess
import tempfile
from pathlib import Path

from release_builder import sha
from release_server import Fault
from update_scenario import UpdateScenario


FILES = "/live/files/"


def make_delta(old, new, *options):
    """What `publish` writes: zstd --patch-from with long matching."""
    with tempfile.TemporaryDirectory() as folder:
        o, n = Path(folder, "old"), Path(folder, "new")
        o.write_bytes(old)
        n.write_bytes(new)
        return subprocess.run(["zstd", "-q", "-c", "-19", "--long=27", *options,
                               f"--patch-from={o}", str(n)],
                              capture_output=True, check=True).stdout


def edited(data, seed):
    """A rebuild: a few stretches rewritten and a tail added, so every chunk moves."""
    rng = random.Random(seed)
    out = bytearray(data)
    for _ in range(4):
        at = rng.randrange(len(out) - 200)
        out[at:at + 100] = rng.randbytes(100)
    return bytes(out) + rng.randbytes(777)


class Deltas(UpdateScenario):
    def serve_deltas(self, old, deltas, listed=()):
        """Each path's delta from its old bytes beside its file, and the list; a delta of None is
        listed but missing. `listed` adds lines for deltas that are not served."""
        lines = list(listed)
        for path, blob in deltas.items():
            name = f"{path}.from-{sha(old[path])}"
            lines.append(f"delta {sha(self.files[path])} {sha(old[path])} "
                         f"{len(blob) if blob is not None else 5}\n")
            if blob is not None:
                (self.live / "files" / name).write_bytes(blob)
        (self.live / "deltas.txt").write_text("".join(lines))

    def delta_url(self, path, old):
        return f"{FILES}{path}.from-{sha(old)}"

    def test_a_delta_that_does_not_hold_up_ends_in_the_plain_path_and_a_verified_file(self):
        # A frame the decoder refuses (another size, too large a window) is binary_delta's test.
        names = ("good", "cut", "wrongdict", "truncated", "missing", "elsewhere")
        old = {name: random.Random(name).randbytes(300000) for name in names}
        self.files = old
        self.publish(self.files)
        self.assertEqual(self.update()["_code"], 0)
        self.server.forget()

        self.files = {name: edited(old[name], name) for name in names}
        self.publish(self.files, counter="11")
        honest = {name: make_delta(old[name], self.files[name]) for name in names}
        deltas = {
            "good": honest["good"],
            "cut": honest["cut"],
            # Made from another build than the player's copy.
            "wrongdict": make_delta(edited(old["wrongdict"], "other"), self.files["wrongdict"]),
            "truncated": honest["truncated"][:-40],
            "missing": None,
        }
        self.serve_deltas(old, deltas, listed=[
            f"delta {sha(self.files['elsewhere'])} {sha(b'another copy')} 100\n"])
        cut_url = self.delta_url("cut", old["cut"])
        self.server.set_fault(cut_url, Fault.cut(honest["cut"], keep=len(honest["cut"]) // 2))

        done = self.update()
        self.assertUpdated(done, self.files)
        planned = len(names) - 1
        # The planned bytes: each delta at its listed size, and the one file no delta makes.
        fetch = len(self.files["elsewhere"]) + sum(5 if d is None else len(d)
                                                   for d in deltas.values())
        self.assertEqual(done["DOWNLOAD_FETCH_BYTES"], str(fetch))
        log = self.box.log_text()
        # Every old copy was recorded as verified when release 10 was installed: none is read.
        self.assertIn(f"check: {planned} of {len(names)} file(s) are made from a delta of the "
                      "copy on disk (0 copies hashed", log)
        for pattern in [r"good: made from a delta of \d+ bytes",
                        r"cut: made from a delta of \d+ bytes",
                        r"sha256 mismatch after download: wrongdict; the file is fetched whole|"
                        r"wrongdict: the delta is refused",
                        r"truncated: the delta (does not make the whole file|is refused: it "
                        r"does not decode)",
                        r"missing: download failed for the delta of missing: HTTP_STATUS \(status 404"]:
            self.assertRegex(log, "download: " + pattern)
        # What the deltas made crossed the wire as deltas only; the cut one was asked for the
        # rest; a delta from a copy the player does not have was never asked for.
        self.assertEqual({name: self.server.bytes_sent(FILES + name) for name in deltas},
                         {name: 0 if name in ("good", "cut") else len(self.files[name])
                          for name in deltas})
        self.assertEqual(self.server.bytes_sent(self.delta_url("good", old["good"])),
                         len(honest["good"]))
        self.assertEqual(self.server.ranges_for(cut_url),
                         [None, f"bytes={len(honest['cut']) // 2}-"])
        self.assertEqual([r for r in self.server.requests if ".from-" in r[1] and "elsewhere"
                          in r[1]], [])
        wire = sum(self.server.bytes_sent(FILES + name) for name in names) + sum(
            self.server.bytes_sent(self.delta_url(name, old[name])) for name in deltas)
        self.assertLessEqual(int(done["DOWNLOAD_BYTES_FETCHED"]), wire)

    def test_the_patchers_own_update_comes_as_a_delta_and_is_published(self):
        current = self.box.exe.read_bytes()
        new_patcher = edited(current, "next build")
        self.files = {"Velmor2Launcher.exe": new_patcher, "Velmor2.exe": b"MZ game"}
        self.publish(self.files)
        delta = make_delta(current, new_patcher)
        self.serve_deltas({"Velmor2Launcher.exe": current}, {"Velmor2Launcher.exe": delta})

        done = self.update()
        self.assertEqual((done["_code"], done["SELF_UPDATE_READY"]), (0, "yes"), done)
        self.assertEqual(self.server.bytes_sent(FILES + "Velmor2Launcher.exe"), 0)
        self.assertEqual(done["DOWNLOAD_BYTES_FETCHED"], str(len(delta) + len(b"MZ game")))
        staged = self.box.exe.with_name("Velmor2Launcher.exe.new")
        self.assertEqual(staged.read_bytes(), new_patcher)
        self.assertEqual(sorted(p.name for p in self.box.exe.parent.glob("*.delta*")), [])

        self.apply_self_update(new_patcher)
