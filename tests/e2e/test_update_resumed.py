"""`--headless --update` resuming a file: a transfer that fails keeps its bytes in a partial file
beside the target, and the next attempt, in the same run or the next, asks only for the rest with
`Range: bytes=N-`. The server's byte counts prove how much was fetched. Transient failures are tried
again within a run (three attempts in all), refusals are not, and a partial that the download will
not resume is deleted before it starts. Kept apart from test_update so that both run side by
side."""
import random
import shutil
import tempfile
from pathlib import Path
from unittest import mock

import release_builder as rb
from release_server import Fault
from update_scenario import UpdateScenario, leftovers, partial_name


MIB = 1 << 20
BIG = "maps/big.pak"
URL = f"/live/files/{BIG}"
# Not periodic, and not a whole number of MiB: a resume at the wrong offset changes the hash.
NEW = random.Random("new").randbytes(8 * MIB + 12345)
OLD = b"the previous release of the big file"
FILES = {BIG: NEW, "data/small.bin": b"small" * 300}


class ResumedDownloadTest(UpdateScenario):
    def setUp(self):
        super().setUp()
        self.publish(FILES)

    def fresh(self, fault=None, partial=None):
        """The old release installed, `partial` (if any) kept as the new file's partial download."""
        self.reinstall({BIG: OLD})
        if partial is not None:
            (self.game / partial_name(BIG, NEW)).write_bytes(partial)
        self.server.set_fault(URL, fault)
        self.server.forget()

    def assertFinishes(self):
        """The next update against a server that behaves completes the release."""
        self.server.set_fault(URL, None)
        self.assertUpdated(self.update(), FILES)

    def test_failures_within_one_run(self):
        cut = len(NEW) * 3 // 5
        # fault, DOWNLOAD_CODE, DOWNLOAD_DIAGNOSTIC, the Range header of each request of the run
        cases = [
            # No Content-Length: only the manifest's size tells that the body ended early.
            ("cut at 60 % without a length once",
             Fault("respond", body=NEW[:cut], announce=None, times=1), "0", "",
             [None, f"bytes={cut}-"]),
            ("503 once", Fault.status_code(503, times=1), "0", "", [None, mock.ANY]),
            ("cut on every attempt", Fault.cut(NEW, keep=MIB, times=3), "1",
             f"download failed for {BIG}: TRUNCATED (status 206, os 0)",
             [None, f"bytes={MIB}-", f"bytes={2 * MIB}-"]),
            ("404", Fault.status_code(404), "1",
             f"download failed for {BIG}: HTTP_STATUS (status 404, os 0)", [None]),
        ]
        for name, fault, code, diagnostic, ranges in cases:
            with self.subTest(name):
                self.fresh(fault)
                fields = self.update()
                self.assertEqual((fields["DOWNLOAD_CODE"], fields["DOWNLOAD_DIAGNOSTIC"]),
                                 (code, diagnostic))
                self.assertEqual(self.server.ranges_for(URL), ranges)
                if code != "0":
                    self.assertEqual((self.game / BIG).read_bytes(), OLD)
                # A failed run's bytes count too: the next run resumes from them.
                self.assertFinishes()
                self.assertLessEqual(self.server.bytes_sent(URL), 1.1 * len(NEW))

    def test_a_partial_found_at_the_start(self):
        # A partial taken up as it is, or refused for a misstated range, is the download pool's
        # test (tests/win/engine/download_test.cpp); here what only a real server can do to it.
        kept = len(NEW) * 2 // 5
        resume = f"bytes={kept}-"
        junk = random.Random("junk").randbytes(kept)
        # partial, fault, the Range headers, bytes sent
        cases = [
            ("range ignored", NEW[:kept], Fault.ignoring_range(NEW), [resume], len(NEW)),
            # Bytes an earlier run left that do not make the file earn one whole fetch more.
            ("wrong bytes kept", junk, None, [resume, None], 2 * len(NEW) - kept),
        ]
        for name, partial, fault, requested, sent in cases:
            with self.subTest(name):
                self.fresh(fault, partial)
                fields = self.update()
                self.assertEqual((fields["DOWNLOAD_CODE"], fields["DOWNLOAD_DIAGNOSTIC"]), ("0", ""))
                self.assertEqual(self.server.ranges_for(URL), requested)
                self.assertEqual(self.server.bytes_sent(URL), sent)
                self.assertEqual(leftovers(self.game), [])
                self.assertFinishes()

    def test_links_named_like_partials_never_reach_the_files_they_lead_to(self):
        # Under Wine a host symbolic link shows as a plain file and is followed: deleting,
        # reusing or creating through it would act on the file it leads to.
        outside = Path(tempfile.mkdtemp(prefix="garun2-outside-"))
        self.addCleanup(shutil.rmtree, outside, True)
        stale = self.game / partial_name("data/gone.bin", b"gone")
        listed = self.game / partial_name(BIG, NEW)
        for name, target in (("to a file", outside / "victim"),
                             ("to nothing", outside / "not-there")):
            with self.subTest(name):
                self.fresh()
                (outside / "victim").write_bytes(b"victim")
                (outside / "stale").write_bytes(b"stale")
                stale.parent.mkdir(parents=True, exist_ok=True)
                stale.symlink_to(outside / "stale")
                listed.symlink_to(target)
                fields = self.update()
                self.assertEqual(fields["DOWNLOAD_CODE"], "1")
                self.assertRegex(fields["DOWNLOAD_DIAGNOSTIC"],
                                 f"^refusing to download {BIG}: .* is a link to another file")
                self.assertEqual((outside / "victim").read_bytes(), b"victim")
                self.assertEqual((outside / "stale").read_bytes(), b"stale")
                self.assertFalse((outside / "not-there").exists())
                self.assertTrue(stale.is_symlink() and listed.is_symlink())
                self.assertEqual((self.game / BIG).read_bytes(), OLD)

    def test_partials_it_will_not_resume_are_deleted_before_it_starts(self):
        small = FILES["data/small.bin"]
        self.fresh()
        rb.install_files(self.game, {"data/small.bin": small})
        stale = [partial_name(BIG, OLD),                 # the file's previous release
                 partial_name("data/gone.bin", b"gone"),  # an entry this release no longer has
                 partial_name("data/small.bin", small)]   # a file that is already up to date
        for name in stale:
            (self.game / name).write_bytes(NEW[:MIB])
        self.assertUpdated(self.update(), FILES)
        self.assertEqual(self.server.ranges_for(URL), [None])
