"""`--headless --update` end to end: the real exe under Wine downloads a release from the local HTTPS
server, repairs what is damaged, and refuses every body that does not match its manifest while the
destination keeps its old bytes."""
import os
import random
import threading
import time

import release_builder as rb
from release_server import Fault
from update_scenario import UpdateScenario, leftovers, partial_name


def game_tree(seed):
    """A few hundred files in nested folders: empty ones, 64 KiB and one byte more, and a few MiB."""
    rng = random.Random(seed)
    sizes = [0, 1, 65535, 65536, 65537] + [rng.randrange(1, 20000) for _ in range(290)]
    files = {f"data/d{i % 7}/s{i % 3}/f{i:03}.bin": rng.randbytes(size)
             for i, size in enumerate(sizes)}
    files["Velmor2.exe"] = b"MZ" + rng.randbytes(3000)
    files["maps/big.pak"] = rng.randbytes(3 * 1048576 + 17)
    return files


class InstallAndRepairTest(UpdateScenario):
    def test_first_install_then_nothing_then_only_the_damaged_files(self):
        # A folder outside the ANSI code page, so the installed files are named by UTF-8 too.
        self.game = self.box.root / "Oyunlar \u015e\u00fckr\u00fc \u6e38\u620f"
        files = game_tree(seed=1)
        self.publish(files)
        first = self.update()
        self.assertEqual((first["CODE"], first["DOWNLOAD_CODE"], first["DOWNLOAD_DIAGNOSTIC"]),
                         ("0", "0", ""))
        self.assertEqual((len(first["_need"]), len(first["_get"])), (len(files), len(files)))
        self.assertTrue(first["_get"][0].startswith(f"[1/{len(files)}] "))
        self.assertInstalled(files)
        self.assertEqual(leftovers(self.game), [])

        fetched = len(self.file_requests())
        second = self.update()
        self.assertEqual((second["DOWNLOAD_COUNT"], second["DOWNLOAD_CODE"], second["_get"]),
                         ("0", "0", []))
        self.assertEqual(len(self.file_requests()), fetched)

        damaged = self.game / "data/d1/s1/f001.bin"
        damaged.write_bytes(bytes([damaged.read_bytes()[0] ^ 1]))  # same size, other byte
        (self.game / "maps/big.pak").unlink()
        resized = self.game / "data/d3/s0/f003.bin"
        resized.write_bytes(resized.read_bytes() + b"x")
        third = self.update()
        self.assertEqual(sorted(third["_need"]), sorted([
            "hash-mismatch data/d1/s1/f001.bin 1", "missing maps/big.pak 3145745",
            f"size-mismatch data/d3/s0/f003.bin {len(files['data/d3/s0/f003.bin'])}"]))
        self.assertEqual(sorted(self.file_requests()[fetched:]), sorted(
            ["/live/files/data/d1/s1/f001.bin", "/live/files/maps/big.pak",
             "/live/files/data/d3/s0/f003.bin"]))
        self.assertEqual(third["DOWNLOAD_CODE"], "0")
        self.assertInstalled(files)

    def test_records_spare_unchanged_files_and_a_repair_reads_every_one(self):
        files = {"Velmor2.exe": b"MZ game", "data/a.pak": b"a" * 5000, "data/b.pak": b"b" * 7000}
        self.publish(files)
        self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")
        unread = "check: 3 file(s) taken as verified from their records, unread"
        self.assertEqual(self.update(command="--check")["DOWNLOAD_COUNT"], "0")
        self.assertEqual(self.box.log_text().count(unread), 1)
        # Records that do not read are rebuilt by hashing every file.
        (self.data / "verified.txt").write_text("garbage\n")
        self.assertEqual(self.update(command="--check")["DOWNLOAD_COUNT"], "0")
        self.assertIn("the verified-file records do not read; every file is hashed",
                      self.box.log_text())
        self.assertEqual(self.update(command="--check")["DOWNLOAD_COUNT"], "0")
        self.assertEqual(self.box.log_text().count(unread), 2)

        # Changed in place with its size, time and identity kept: only a repair reads it.
        target = self.game / "data/a.pak"
        kept = target.stat()
        with open(target, "r+b") as pak:
            pak.write(b"A")
        os.utime(target, ns=(kept.st_atime_ns, kept.st_mtime_ns))
        self.assertEqual(self.update(command="--check")["_need"], [])
        repair = self.update("--level", "full", command="--check")
        self.assertEqual(repair["_need"], ["hash-mismatch data/a.pak 5000"])
        self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")
        self.assertInstalled(files)

    def test_the_patchers_own_files_are_never_written_from_its_folder(self):
        self.game = self.box.root  # the install folder is the patcher's own folder
        (self.game / "patcher.cfg").write_bytes(b"game-exe Velmor2.exe\n")
        for counter, name, reason in (
                (11, "patcher.cfg", "it is the patcher's settings file"),
                (12, "patcher.log", "it is the support log, which is open for writing")):
            before = (self.game / name).read_bytes()
            self.publish({name: b"planted", "Velmor2.exe": b"MZ game"}, counter=str(counter))
            fields = self.update("--download-workers", "1")
            self.assertEqual(fields["DOWNLOAD_CODE"], "1")
            self.assertEqual(fields["DOWNLOAD_DIAGNOSTIC"], f"refusing to write manifest entry "
                                                            f"{name} into the install directory: "
                                                            f"{reason}")
            self.assertTrue((self.game / name).read_bytes().startswith(before[:20]))
            self.assertNotIn(f"/live/files/{name}", self.file_requests())

    def test_a_manifest_naming_one_path_twice_downloads_nothing(self):
        self.publish({"data/a.bin": b"a" * 10},
                     extra_lines=[f"file data/a.bin 10 {'0' * 64} {self.server.url('/x')}"])
        fields = self.update()
        self.assertEqual((fields["CODE"], fields["DOWNLOAD_CODE"]), ("0", "6"))
        self.assertEqual(fields["DOWNLOAD_DIAGNOSTIC"], "manifest names the same file twice, so "
                                                        "the download set is ambiguous: data/a.bin")
        self.assertEqual(self.file_requests(), [])


class RefusalTest(UpdateScenario):
    """Each bad body for the middle file of a set: its old bytes stay, nothing is left beside it."""
    TARGET = "data/target.bin"

    def test_bodies_that_do_not_match_the_manifest(self):
        new = os.urandom(70000)
        files = {f"data/f{i}.bin": bytes([i]) * 100 for i in range(8)}
        files[self.TARGET] = new
        self.publish(files)
        rb.install_files(self.game, {self.TARGET: b"old bytes"})
        n = len(new)
        cases = [
            (Fault.body(new + b"x"), "7", f"size mismatch after download: {self.TARGET} "
                                          f"(manifest {n}, got {n + 1})"),
            # A body shorter than the file is a cut transfer: its bytes wait for the rest.
            (Fault.body(new[:-1]), "1",
             f"download failed for {self.TARGET}: TRUNCATED (status 200, os 0)"),
            (Fault.body(bytes([new[0] ^ 1]) + new[1:]), "7",
             f"sha256 mismatch after download: {self.TARGET}"),
            (Fault.body(new + b"x" * 65537), "1",
             f"download failed for {self.TARGET}: TOO_LARGE (status 200, os 0)"),
            (Fault.status_code(500), "1",
             f"download failed for {self.TARGET}: HTTP_STATUS (status 500, os 0)"),
        ]
        for fault, code, diagnostic in cases:
            with self.subTest(diagnostic):
                self.server.set_fault(f"/live/files/{self.TARGET}", fault)
                fields = self.update()
                self.assertEqual((fields["DOWNLOAD_CODE"], fields["DOWNLOAD_DIAGNOSTIC"]),
                                 (code, diagnostic))
                self.assertEqual((self.game / self.TARGET).read_bytes(), b"old bytes")
                cut = "TRUNCATED" in diagnostic
                kept = [str(self.game / partial_name(self.TARGET, new))] if cut else []
                self.assertEqual(leftovers(self.game), kept)
                for partial in kept:
                    os.remove(partial)
        self.server.set_fault(f"/live/files/{self.TARGET}", None)
        self.assertEqual(self.update()["DOWNLOAD_CODE"], "0")
        self.assertInstalled(files)


class SpeedLimitTest(UpdateScenario):
    def test_max_rate_holds_all_workers_together_to_the_limit(self):
        # Four files so that several workers share the one budget.
        files = {f"data/part{i}.pak": os.urandom(5 * 1048576) for i in range(4)}
        self.publish(files)
        first_file = []

        def watch():
            while not first_file and not done.is_set():
                if self.file_requests():
                    first_file.append(time.monotonic())
                time.sleep(0.05)

        done = threading.Event()
        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            fields = self.update("--max-rate", "2000000")
        finally:
            done.set()
            watcher.join()
        ended = time.monotonic()
        self.assertEqual(fields["DOWNLOAD_CODE"], "0", fields["DOWNLOAD_DIAGNOSTIC"])
        self.assertInstalled(files)
        # 20 MiB at 2 MB/s is 10.5 s; the budget's first quarter second comes at once.
        self.assertGreaterEqual(ended - first_file[0], 9.0)
