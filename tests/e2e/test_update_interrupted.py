"""`--headless --update` cut short by a server that stalls past the per-file deadline: the next
attempt resumes from the bytes that got through. Kept apart from test_update so that this slow
scenario runs beside it (the patcher killed mid-transfer is test_update_killed's)."""
import time

from release_server import Fault
from update_scenario import UpdateScenario


class InterruptedUpdateTest(UpdateScenario):
    def test_a_stalled_body_ends_at_the_files_deadline_and_the_next_attempt_resumes(self):
        small = b"t" * 1000  # what the trickle sends: the bytes it got through are good ones
        self.publish({"data/small.bin": small})
        # One byte every two seconds: a 1000-byte file may take 61 s in all.
        self.server.set_fault("/live/files/data/small.bin",
                              Fault.trickle(total=1000, interval=2, seconds=90, times=1))
        started = time.monotonic()
        fields = self.update()
        self.assertGreater(time.monotonic() - started, 55)
        self.assertUpdated(fields, {"data/small.bin": small})
        first, second = self.server.ranges_for("/live/files/data/small.bin")
        self.assertIsNone(first)
        self.assertRegex(second, r"^bytes=[1-9][0-9]*-$")
        self.assertIn("download failed for data/small.bin: TIMEOUT (status 200, os 0); attempt 2 "
                      "of 3 carries on from byte " + second[6:-1], self.box.log_text())
