"""`--headless --check` end to end: the real exe under Wine against a local HTTPS release server.

Each scenario starts from an empty data and install directory. The attacks first let the patcher
accept a good release (counter 10), then serve something it must refuse, and assert the refusal's
code, diagnostic and player text, and that the accepted set and the rollback state stayed as they
were.
"""
import shutil
from pathlib import Path

import release_builder as rb
from patcher_run import windows_path
from release_server import Fault
from update_scenario import KEYS, NOW, UpdateScenario

PLAYER = {
    0: "Dosyalar doğrulandı, oyun başlatılabilir.",
    1: "Güncelleyicide bir sorun var. Resmî sitemizden yeniden indirin.",
    2: "Sunucudan gelen dosyalar doğrulanamadı. Başka bir internet bağlantısıyla deneyin; "
       "sürerse bize bildirin.",
    3: "Sunucudan eski bir sürüm geliyor. Güncelleyiciyi kapatıp yeniden açın; sürerse bize "
       "bildirin.",
    4: "Bilgisayarınızın tarihi yanlış görünüyor. Tarih ve saati kontrol edip tekrar deneyin.",
    5: "Güncelleme bilgisi okunamadı. Güncelleyiciyi kapatıp yeniden açın.",
    6: "Güncelleme bilgisi okunamadı. Güncelleyiciyi kapatıp yeniden açın.",
}
# Without a release to go by, for want of a connection, the player is sent to the connection.
UNREACHABLE = "Sunucuya bağlanılamıyor. İnternet bağlantınızı kontrol edip tekrar deneyin."
GAME = {"Velmor2.exe": b"MZ demo game", "data/world.pak": b"w" * 3000, "data/ui.pak": b"u" * 700}


class CheckScenario(UpdateScenario):
    def setUp(self):
        super().setUp()
        self.publish()

    def publish(self, manifest=None, registry=None, registry_signer=None, manifest_signer=None):
        manifest = manifest or rb.Manifest(dict(GAME))
        registry = registry or rb.registry_text([("release-1", "valid", KEYS["release"])])
        rb.write_set(self.live, registry, registry_signer or KEYS["root"],
                     manifest if isinstance(manifest, bytes) else manifest.text(),
                     manifest_signer or KEYS["release"])

    def check(self, *extra, command="--check", base_url=None):
        return self.update(*extra, command=command, base_url=base_url)

    def assertOutcome(self, fields, code, diagnostic=None):
        self.assertEqual(fields["CODE"], str(code), fields.get("DIAGNOSTIC"))
        self.assertEqual(fields["_code"], code)
        self.assertEqual(fields["PLAYER"], PLAYER[code])
        if diagnostic is not None:
            self.assertEqual(fields["DIAGNOSTIC"], diagnostic)

    def snapshot(self):
        """The accepted set and the rollback state, byte for byte."""
        files = {p.name: p.read_bytes() for p in (self.data / "current").iterdir()}
        files["state.txt"] = (self.data / "state.txt").read_bytes()
        return files


class FirstStartAndDiskTest(CheckScenario):
    def test_first_start_without_a_server(self):
        fields = self.check(base_url="https://127.0.0.1:1/live")
        self.assertEqual((fields["CODE"], fields["PLAYER"]), ("1", UNREACHABLE), fields)
        self.assertEqual(fields["SOURCE"], "NONE")
        self.assertEqual(fields["NETWORK"], "no")
        self.assertTrue(fields["DIAGNOSTIC"].startswith(
            "fetch failed for https://127.0.0.1:1/live/keys.txt: NO_CONNECTION (status 0, os "))
        self.assertEqual(fields["MAY_LAUNCH"], "no")
        self.assertTrue(self.data.is_dir())

    def test_first_start_accepts_the_release_and_lists_every_file(self):
        fields = self.check()
        self.assertOutcome(fields, 0, "manifest accepted")
        self.assertEqual((fields["SOURCE"], fields["NETWORK"]), ("NETWORK", "yes"))
        self.assertEqual((fields["VERSION"], fields["CHANNEL"], fields["FILES"]),
                         ("1.0.0", "live", "3"))
        self.assertEqual(fields["DOWNLOAD_COUNT"], "3")
        self.assertEqual(fields["DOWNLOAD_BYTES"], str(sum(map(len, GAME.values()))))
        self.assertEqual(fields["_need"], ["missing Velmor2.exe 12", "missing data/world.pak 3000",
                                           "missing data/ui.pak 700"])
        self.assertEqual((fields["GAME_EXE_IN_MANIFEST"], fields["GAME_EXE_ON_DISK"]), ("yes", "no"))
        self.assertEqual((fields["MAY_LAUNCH"], fields["OFFER_PLAY_ANYWAY"]), ("yes", "no"))
        self.assertEqual((self.data / "current" / "complete.txt").read_bytes(), b"ok\n")
        self.assertEqual((self.data / "current" / "manifest.txt").read_bytes(),
                         (self.live / "manifest.txt").read_bytes())
        self.assertFalse((self.data / "pending" / "manifest.txt").exists())
        self.assertIn(b"manifest-counter 10\n", (self.data / "state.txt").read_bytes())
        self.assertFalse(self.game.exists())  # a check never writes into the install directory

    def test_missing_resized_and_damaged_files_at_each_level(self):
        rb.install_files(self.game, GAME)
        (self.game / "Velmor2.exe").unlink()
        (self.game / "data" / "ui.pak").write_bytes(b"u" * 699)
        (self.game / "data" / "world.pak").write_bytes(b"W" * 3000)  # same size, other content
        full = self.check("--level", "full")
        self.assertEqual(full["_need"], ["missing Velmor2.exe 12",
                                         "hash-mismatch data/world.pak 3000",
                                         "size-mismatch data/ui.pak 700"])
        self.assertEqual(full["MAY_LAUNCH"], "yes")  # files to fetch are not a failure
        quick = self.check("--level", "quick")
        self.assertEqual(quick["_need"], ["missing Velmor2.exe 12", "size-mismatch data/ui.pak 700"])
        critical = self.check("--level", "quick", "--critical", "DATA/World.pak")
        self.assertEqual(len(critical["_need"]), 3)
        size = self.check("--level", "size", "--critical", "data/world.pak")
        self.assertEqual(size["_need"], quick["_need"])

    def test_folders_outside_the_ansi_code_page(self):
        # Turkish letters outside the Western code page, Cyrillic and CJK in the patcher's, the
        # data and the install folder: each must name exactly itself, the running patcher included.
        folder = self.box.root / "Oyunlar Şükrü ığİ"
        folder.mkdir()
        self.box.exe = Path(shutil.copy2(self.box.exe, folder / "Velmor2Launcher.exe"))
        self.data = self.box.root / "Данные データ"
        self.game = folder / "游戏 şük"
        self.publish(rb.Manifest({**GAME, "Velmor2Launcher.exe": self.box.exe.read_bytes()}))
        rb.install_files(self.game, GAME)
        (self.game / "data" / "world.pak").write_bytes(b"W" * 3000)
        fields = self.check()
        self.assertOutcome(fields, 0)
        self.assertEqual((fields["SELF_UPDATE"], fields["_need"]),
                         ("no", ["hash-mismatch data/world.pak 3000"]))
        self.assertIn(b"manifest-counter 10\n", (self.data / "state.txt").read_bytes())
        self.assertIn("exe: " + windows_path(self.box.exe), self.box.log_text())
        # The state is read back from there: an older release is refused, a lost one rebuilt.
        self.publish(rb.Manifest(dict(GAME), counter="9"))
        self.assertOutcome(self.check(), 3,
                           "manifest counter went backwards (9 < 10) -- rollback attack")
        (self.data / "state.txt").unlink()
        self.assertEqual(self.check("--offline")["STATE_REBUILT"], "yes")

    def test_offline_with_and_without_an_accepted_set(self):
        fields = self.check("--offline")
        self.assertOutcome(fields, 1, "offline mode: network not attempted")
        self.assertEqual(fields["SOURCE"], "NONE")
        self.check()
        base_url = self.server.url("/live")
        self.server.stop()
        fields = self.check("--offline", base_url=base_url)
        self.assertOutcome(fields, 0, "offline mode: network not attempted")
        self.assertEqual((fields["SOURCE"], fields["NETWORK"]), ("LOCAL", "no"))
        self.assertEqual((fields["MAY_LAUNCH"], fields["OFFER_PLAY_ANYWAY"]), ("yes", "yes"))

    def test_lost_state_is_rebuilt_and_a_truncated_one_fails_closed(self):
        self.check()
        state = (self.data / "state.txt").read_bytes()
        (self.data / "state.txt").unlink()
        fields = self.check()
        self.assertOutcome(fields, 0)
        self.assertEqual(fields["STATE_REBUILT"], "yes")
        self.assertEqual((self.data / "state.txt").read_bytes(), state)

        # Only damage outside the patcher truncates the state: the patcher replaces it whole. A
        # baseline cut after its first line still names the registry version, without its digest:
        # the same registry then reads as a replay and is refused rather than trusted blindly.
        (self.data / "state.txt").write_bytes(state[:state.index(b"\n") + 1])
        fields = self.check()
        self.assertOutcome(fields, 3, "key registry same counter (3) but different content -- "
                                      "counter replay")
        (self.data / "state.txt").write_bytes(b"")
        fields = self.check()
        self.assertOutcome(fields, 1)
        self.assertTrue(fields["DIAGNOSTIC"].startswith("state file unreadable: "))


class AttackTest(CheckScenario):
    def setUp(self):
        super().setUp()
        self.assertOutcome(self.check(), 0)
        self.accepted = self.snapshot()

    def assertRefused(self, code, diagnostic):
        fields = self.check()
        self.assertOutcome(fields, code, diagnostic)
        self.assertEqual((fields["MAY_LAUNCH"], fields["DOWNLOAD_COUNT"]), ("no", "0"))
        self.assertEqual(self.snapshot(), self.accepted)

    def assertFellBack(self, diagnostic_part):
        fields = self.check()
        self.assertOutcome(fields, 0)
        self.assertEqual((fields["SOURCE"], fields["NETWORK"]), ("LOCAL", "no"))
        self.assertIn(diagnostic_part, fields["DIAGNOSTIC"])
        self.assertEqual(self.snapshot(), self.accepted)

    def test_an_older_counter_then_an_expired_registry_and_manifest(self):
        self.publish(rb.Manifest(dict(GAME), counter="9"))
        self.assertRefused(3, "manifest counter went backwards (9 < 10) -- rollback attack")
        registry = rb.registry_text([("release-1", "valid", KEYS["release"])], version="4",
                                    expires="2026-05-31T23:59:59Z")
        self.publish(registry=registry)
        self.assertRefused(4, "key registry expired (2026-05-31T23:59:59Z <= 2026-06-01T00:00:00Z)"
                              " -- freeze attack")
        self.publish(rb.Manifest(dict(GAME), counter="11", expires=NOW))
        self.assertRefused(4, f"manifest expired ({NOW} <= {NOW}) -- freeze attack")

    def test_manifest_signed_by_a_revoked_key(self):
        registry = rb.registry_text([("release-1", "revoked", KEYS["release"]),
                                     ("release-2", "valid", KEYS["next"])], version="4")
        self.publish(rb.Manifest(dict(GAME), counter="11"), registry=registry)
        self.assertRefused(5, "manifest was signed with a REVOKED key: release-1")

    def test_registry_not_signed_by_the_root_key(self):
        registry = rb.registry_text([("release-1", "valid", KEYS["rogue"])], version="4")
        self.publish(rb.Manifest(dict(GAME), counter="11"), registry=registry,
                     registry_signer=KEYS["rogue"], manifest_signer=KEYS["rogue"])
        self.assertRefused(2, "key registry signature did not verify with the expected key "
                              "(broken signature or wrong role key)")

    def test_registry_and_manifest_from_two_releases(self):
        # Release B rotated to a new key; its registry is served with release A's manifest.
        registry_b = rb.registry_text([("release-2", "valid", KEYS["next"])], version="4")
        self.publish(rb.Manifest(dict(GAME), counter="11"), registry=registry_b)
        self.assertRefused(2, "manifest signature did not verify with ANY key in the registry "
                              "(broken signature or unknown key)")

    def test_manifest_naming_a_path_outside_the_install_folder(self):
        manifest = rb.Manifest({**GAME, "../evil.dll": b"evil"}, counter="11")
        self.publish(manifest)
        fields = self.check()
        self.assertOutcome(fields, 6)
        self.assertIn("../evil.dll", fields["DIAGNOSTIC"])
        self.assertEqual(self.snapshot(), self.accepted)

    # How the client ends a redirect off the origin or a slow body is test_http_client's; one fault
    # is enough to show that a failed fetch falls back to the accepted set untouched.
    def test_endless_metadata_is_cut_at_the_cap(self):
        self.server.set_fault("/live/manifest.txt", Fault.body(b"x" * (1048576 + 1)))
        self.assertFellBack("manifest.txt: TOO_LARGE")
