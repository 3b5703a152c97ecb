"""Self-update under Wine: the probes that swap a running copy of the patcher and refuse a
replacement changed after its digest was taken, and a release whose new patcher --update stages as
<exe>.new that an apply under another digest refuses (the next start's clean-up is
test_startup's)."""
from update_scenario import UpdateScenario


class SelfUpdateTest(UpdateScenario):
    def test_the_swap_on_a_running_image_tamper_refusal_and_restore(self):
        code, fields = self.probe("self-update")
        swap = ("SELF_UPDATE", "APPLY", "APPLY_EXIT", "SWAPPED", "NEW_BINARY_RUNS",
                "OLD_CLEANED_ON_NEXT_START")
        self.assertEqual([code, *map(fields.get, swap)], [0, "OK", "OK", "0", "yes", "yes", "yes"],
                         fields)
        code, fields = self.probe("self-update-tamper")
        self.assertEqual((code, fields["SELF_UPDATE_TAMPER"]), (0, "REFUSED"), fields)
        self.assertEqual(fields["APPLY_DIAGNOSTIC"],
                         f"the replacement executable no longer matches the manifest (manifest "
                         f"{fields['MANIFEST_SHA256']}, on disk {fields['TAMPERED_SHA256']}) -- "
                         f"refusing to run it")
        # A retired executable is put back, and a restore blocked by a share-nothing handle does
        # not claim success. (Whether a move may replace a running image is Windows' rule; the
        # probe only reports what this system does.)
        code, fields = self.probe("self-update-rollback")
        self.assertEqual((code, fields["SELF_UPDATE_ROLLBACK"]), (0, "OK"), fields)
        self.assertEqual((fields["LIVE_MISSING_BEFORE"], fields["RESTORE_NORMAL"],
                          fields["LIVE_SHA256"]), ("yes", "yes", fields["RETIRED_SHA256"]))
        self.assertEqual(fields["RETIRED_LOCKED"], "yes (dwShareMode=0)")
        print("\nself-update-rollback on this system:", fields)
        # An attacker that keeps trying to write the replacement never gets it installed unverified.
        code, fields = self.probe("self-update-window")
        self.assertEqual((code, fields.get("SELF_UPDATE_WINDOW"), fields.get("ATTEMPTS"),
                          fields.get("WINS")), (0, "NOT_WON_IN_THESE_ATTEMPTS", "40", "0"), fields)

    def test_a_staged_patcher_is_not_published_under_another_digest(self):
        # A staged patcher applied under its digest is test_update_deltas' and test_window's.
        current = self.box.exe.read_bytes()
        new_patcher = current + b"\r\nnext build\r\n"
        self.publish({"Velmor2Launcher.exe": new_patcher, "Velmor2.exe": b"MZ game"})
        self.assertEqual(self.update()["SELF_UPDATE_READY"], "yes")

        # Without the manifest's digest nothing is touched.
        code, fields = self.probe("self-update-apply", "--expect-sha256", "0" * 64)
        self.assertEqual((code, fields["APPLY"]), (1, "FAILED"))
        self.assertTrue(fields["APPLY_DIAGNOSTIC"].startswith(
            "the replacement executable no longer matches the manifest"))
        self.assertFalse(self.box.exe.with_name("Velmor2Launcher.exe.new").exists())
        self.assertEqual(self.box.exe.read_bytes(), current)
