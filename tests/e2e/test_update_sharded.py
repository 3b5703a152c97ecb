"""Releases whose manifest lists shards of further `file` lines: the patcher installs the union,
keeps verified shards in its data directory so an unchanged check fetches only the four metadata
files and an update only the shards that changed, refuses a shard that is not what its signed line
says, and a patcher from before shards sees only itself in such a release, replaces itself, and the
new one installs the rest; the first patcher that read shards never fetches a shard of encoded
names (`shard-utf8`) and replaces itself too."""
import os

import release_builder as rb
from patcher_run import EXE, kept_patcher
from release_builder import sha
from update_scenario import UpdateScenario


METADATA = ["/live/keys.txt", "/live/keys.txt.sig", "/live/manifest.txt", "/live/manifest.txt.sig"]


def encoded(path):
    """A shard line's path field: bytes outside [A-Za-z0-9._/-] as %XX."""
    plain = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._/-"
    return "".join(chr(b) if b in plain else f"%{b:02X}" for b in path.encode())


def groups_of(count, per, tag=b""):
    return [{f"data/{g}/{i}.bin": tag + bytes([g, i]) * 40 for i in range(per)}
            for g in range(count)]


class ShardedRelease(UpdateScenario):
    def publish_sharded(self, patcher, groups, counter="10", serve=None):
        """The patcher's own line in the manifest and each group of files in a shard; `serve`
        may replace the bytes served for a shard (by its index). Returns the shards' paths."""
        files_url = self.server.url("/live/files")
        shards, lines = [], []
        for index, group in enumerate(groups):
            rb.install_files(self.live / "files", group)
            text = "".join(f"file {encoded(path)} {len(data)} {sha(data)} {files_url}/"
                           f"{encoded(path)}\n" for path, data in group.items()).encode()
            served = f"/live/shards/{sha(text)}.txt"
            (self.live / "shards").mkdir(exist_ok=True)
            (self.live / served[len("/live/"):]).write_bytes((serve or {}).get(index, text))
            shards.append(served)
            kind = "shard-utf8" if b"%" in text else "shard"
            lines.append(f"{kind} {len(text)} {sha(text)} {self.server.url(served)}")
        self.publish({"Velmor2Launcher.exe": patcher}, counter=counter, extra_lines=lines)
        return shards


class Sharded(ShardedRelease):
    def test_the_union_installs_and_only_a_changed_shard_is_fetched_again(self):
        me = self.box.exe.read_bytes()
        groups = groups_of(3, 30)
        self.publish_sharded(me, groups)
        first = self.update()
        self.assertEqual((first["_code"], first["DOWNLOAD_CODE"], len(first["_get"])), (0, "0", 90),
                         first)
        self.assertInstalled({p: d for g in groups for p, d in g.items()})

        self.server.forget()
        again = self.update(command="--check")
        self.assertEqual((again["_code"], again["DOWNLOAD_COUNT"]), (0, "0"), again)
        self.assertEqual(sorted(p for _, p, _ in self.server.requests), sorted(METADATA))
        offline = self.update("--offline", command="--check")
        self.assertEqual((offline["_code"], offline["DOWNLOAD_COUNT"]), (0, "0"), offline)

        groups[1]["data/1/5.bin"] = b"changed"
        shards = self.publish_sharded(me, groups, counter="11")
        self.server.forget()
        changed = self.update()
        self.assertEqual(changed["_code"], 0, changed)
        self.assertEqual(self.file_requests("/live/shards/"), [shards[1]])
        self.assertEqual(self.file_requests(), ["/live/files/data/1/5.bin"])
        kept = sorted(f"/live/shards/{p.name}" for p in (self.data / "shards").iterdir())
        self.assertEqual(kept, sorted(shards))

    def test_a_shard_that_is_not_what_the_manifest_signed_refuses_the_release(self):
        # Each way a shard is refused (missing, tampered, a path twice) is release_shards_test's;
        # here the check of the real exe holds the release to it before accepting anything.
        tampered = b"file x 1 " + b"0" * 64 + b" https://x/x\n"
        self.publish_sharded(self.box.exe.read_bytes(), groups_of(2, 3), serve={1: tampered})
        fields = self.update(command="--check")
        self.assertEqual((fields["_code"], fields["MAY_LAUNCH"]), (2, "no"), fields)
        self.assertFalse((self.data / "current").exists())
        self.assertFalse((self.data / "state.txt").exists())

    def test_names_with_spaces_and_turkish_letters_install_repair_and_update(self):
        me = self.box.exe.read_bytes()
        files = {"Harita Şehir/ağaç 1.png": b"tree" * 100, "data/ÇĞİÖŞÜ çğıöşü.txt": b"letters",
                 "data/a b/c d.bin": b"x" * 5000}
        self.publish_sharded(me, [files])
        first = self.update()
        self.assertEqual((first["_code"], first["DOWNLOAD_CODE"]), (0, "0"), first)
        self.assertEqual(sorted(first["_get"])[0], "[1/3] Harita Şehir/ağaç 1.png", first)
        self.assertInstalled(files)
        self.assertEqual(self.update(command="--check")["_need"], [])

        # Changed in place with its size and time kept: a repair finds it by its name.
        target = self.game / "data/ÇĞİÖŞÜ çğıöşü.txt"
        kept = target.stat()
        target.write_bytes(b"LETTERS")
        os.utime(target, ns=(kept.st_atime_ns, kept.st_mtime_ns))
        repair = self.update("--level", "full", command="--check")
        self.assertEqual(repair["_need"], ["hash-mismatch data/ÇĞİÖŞÜ çğıöşü.txt 7"], repair)
        self.assertEqual(self.update("--level", "full")["DOWNLOAD_CODE"], "0")

        files["Harita Şehir/ağaç 1.png"] = b"a taller tree"
        self.publish_sharded(me, [files], counter="11")
        served = self.live / "files" / "Harita Şehir/ağaç 1.png"
        served.rename(served.with_name("gone"))
        self.assertNotEqual(self.update()["DOWNLOAD_CODE"], "0")
        self.assertIn("download failed for Harita Şehir/ağaç 1.png: HTTP_STATUS", self.box.log_text())
        served.with_name("gone").rename(served)
        self.server.forget()
        self.assertUpdated(self.update(), files)
        self.assertEqual(self.file_requests(), ["/live/files/" + encoded("Harita Şehir/ağaç 1.png")])


class ShardsPatcher(ShardedRelease):
    """The first patcher that read shards (built from d5997fa), in the player's hands when names
    need encoding."""
    exe = kept_patcher("shards-patcher")

    def test_never_fetches_encoded_names_and_replaces_itself(self):
        new_patcher = EXE.read_bytes() + b"\r\nfirst build that reads encoded names\r\n"
        plain, named = {"data/a.bin": b"plain"}, {"Harita Şehir/ağaç 1.png": b"a tree"}
        shards = self.publish_sharded(new_patcher, [plain, named])
        old = self.update()
        self.assertEqual((old["_code"], old.get("SELF_UPDATE_READY")), (0, "yes"), old)
        self.assertEqual(self.file_requests("/live/shards/"), [shards[0]])
        self.apply_self_update(new_patcher)
        new = self.update()
        self.assertEqual((new["_code"], new["DOWNLOAD_CODE"], new["SELF_UPDATE"]), (0, "0", "no"),
                         new)
        self.assertInstalled({**plain, **named})


class OldPatcher(ShardedRelease):
    """A patcher from before shards (built from ab90b8e), in the player's hands when the first
    sharded release ships."""
    exe = kept_patcher("old-patcher")

    def test_sees_only_itself_replaces_itself_and_the_new_patcher_installs_the_rest(self):
        new_patcher = EXE.read_bytes() + b"\r\nfirst build that reads shards\r\n"
        groups = groups_of(2, 10)
        groups[1]["Harita Şehir/ağaç 1.png"] = b"a name only shards can carry"
        self.publish_sharded(new_patcher, groups)
        old = self.update()
        self.assertEqual((old["_code"], old.get("SELF_UPDATE_READY"), old["_get"]),
                         (0, "yes", ["[1/1] Velmor2Launcher.exe"]), old)
        self.assertEqual(self.file_requests("/live/shards/"), [])
        self.apply_self_update(new_patcher)

        new = self.update()
        self.assertEqual((new["_code"], new["DOWNLOAD_CODE"], new["SELF_UPDATE"], len(new["_get"])),
                         (0, "0", "no", 21), new)
        self.assertInstalled({p: d for g in groups for p, d in g.items()})
