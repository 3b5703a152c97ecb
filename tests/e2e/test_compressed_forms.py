"""Files fetched as their compressed forms (`<file>.zst`, listed in the release's forms.txt): the
patcher decodes them as they arrive, and whatever a form does wrong, the file ends up whole and
verified from its own URL, with one log line. The server's byte counts show what crossed the wire."""
import random
import struct
import subprocess

import chunk_index as ci
import update_scenario
from release_server import Fault
from update_scenario import UpdateScenario


MIB = 1 << 20
FILES = "/live/files/"


def text(seed, size):
    """Text-like bytes that compress to about a third."""
    rng = random.Random(seed)
    words = [bytes(rng.choices(b"abcdefghijklmnopqrstuvwxyz", k=rng.randint(2, 9)))
             for _ in range(3000)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def sized(data):
    """One zstd frame of `data`; piped in, zstd writes its size only when told it."""
    return subprocess.run(["zstd", "-q", "-c", "--no-check", "-12", f"--stream-size={len(data)}"],
                          input=data, capture_output=True, check=True).stdout


def honest(data, cuts=(100000,)):
    """The form the publisher writes: a skippable frame with the table, then a frame per cut."""
    bounds = [0, *cuts, len(data)]
    frames = [sized(data[a:b]) for a, b in zip(bounds, bounds[1:])]
    table = b"G2ZFORM1" + struct.pack("<QI4x", len(data), len(frames)) + b"".join(
        struct.pack("<II", len(f), b - a) for f, a, b in zip(frames, bounds, bounds[1:]))
    return struct.pack("<II", 0x184D2A5B, len(table)) + table + b"".join(frames)


def by_groups(data):
    """The publisher's cut: runs of whole chunk-index groups of at most 1 MiB."""
    cuts, open_ = [], 0
    for group in ci.index_of(data).groups:
        if open_ and open_ + group.length > MIB:
            cuts.append((cuts[-1] if cuts else 0) + open_)
            open_ = 0
        open_ += group.length
    return honest(data, cuts)


class CompressedForms(UpdateScenario):
    def serve_forms(self, forms):
        """Each path's form beside its file, and the list; a form of None is listed but missing."""
        lines = []
        for path, blob in forms.items():
            listed = len(blob) if blob is not None else 1
            lines.append(f"zst {update_scenario.rb.sha(self.files[path])} {listed}\n")
            if blob is not None:
                (self.live / "files" / (path + ".zst")).write_bytes(blob)
        (self.live / "forms.txt").write_text("".join(lines))

    def wire_bytes(self, path):
        return sum(self.server.bytes_sent(FILES + path + suffix) for suffix in ("", ".zst"))

    def test_every_form_that_does_not_hold_up_ends_in_the_raw_path_and_a_verified_file(self):
        # A frame the decoder refuses (past its length, too large a window) is
        # compressed_form_test's; what it does to the download is the truncated form's.
        n, good = 250000, text("good", 300000)
        t = self.files = {name: text(name, n) for name in ("truncated", "missing")}
        # twin.txt has the same size as good.txt
        t.update(good=good, twin=text("twin", len(good)), plain=random.Random(1).randbytes(200000))
        self.publish(t)
        forms = {
            "good": honest(good),
            "truncated": honest(t["truncated"])[:-100],
            "twin": honest(good),  # another file's form
            "missing": None,
        }
        self.serve_forms(forms)
        done = self.update()
        self.assertUpdated(done, self.files)
        log = self.box.log_text()
        self.assertRegex(log, r"4 of \d+ file\(s\) have a compressed form")
        for pattern in [r"truncated: the compressed form ends part-way",
                        r"sha256 mismatch after download: twin; the file is fetched whole",
                        r"missing: the compressed form could not be fetched"]:
            self.assertRegex(log, "download: " + pattern)
        # good.txt crossed the wire compressed, and only so; the random file as it is.
        self.assertEqual(self.server.bytes_sent(FILES + "good"), 0)
        self.assertEqual(self.server.bytes_sent(FILES + "good.zst"), len(forms["good"]))
        self.assertEqual(self.server.requests_for(FILES + "plain.zst"), [])
        # A refused form is sent on by the server after the patcher stopped reading it.
        wire = sum(self.wire_bytes(name) for name in self.files)
        self.assertLessEqual(int(done["DOWNLOAD_BYTES_FETCHED"]), wire)

    def test_a_chunked_update_takes_the_frames_that_hold_the_changes_from_the_form(self):
        old = text("old", 3 * MIB + 12345)
        new = bytearray(old)
        changed = 600000
        new[1200000:1200000 + changed] = text("change", changed)
        path = "data/world.txt"
        self.files = {path: old}
        self.publish(self.files)
        self.assertEqual(self.update()["_code"], 0)
        # Release 11 changes a stretch of the file; release 12 goes back, from a server that
        # answers the form's ranges with the whole form.
        for counter, data in (("11", bytes(new)), ("12", old)):
            with self.subTest(counter=counter):
                self.files = {path: data}
                self.publish(self.files, counter=counter)
                self.serve_forms({path: by_groups(data)})
                update_scenario.rb.write_chunk_indexes(self.live / "files", self.files)
                zst = FILES + path + ".zst"
                if counter == "12":
                    self.server.set_fault(zst, Fault.ignoring_range(
                        (self.live / "files" / (path + ".zst")).read_bytes()))
                sent = [FILES + path + suffix for suffix in ("", ".zst", ci.SUFFIX)]
                before = [self.server.bytes_sent(url) for url in sent]
                done = self.update()
                self.assertUpdated(done, self.files)
                if counter == "11":
                    raw, form_sent, index = (self.server.bytes_sent(url) - first
                                             for url, first in zip(sent, before))
                    self.assertGreater(form_sent, 0)
                    self.assertLess(raw + form_sent, changed)
                    self.assertEqual(done["DOWNLOAD_BYTES_FETCHED"], str(raw + form_sent + index))
                else:
                    self.assertRegex(self.box.log_text(), "world.txt: the compressed form is "
                                     "refused: the server did not answer bytes 0-31")
