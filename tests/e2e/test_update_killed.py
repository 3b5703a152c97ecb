"""The patcher killed (SIGKILL of its Wine process) at seeded random moments of a many-file install
and of an update over an older release. After every kill each file under its final name must be
absent, the old release's exact bytes or the new manifest's, never a cut or mixed file; a full
check must list every file that is not the new bytes; each run carries on from what the killed one
left, and the last finishes with every file verified. GARUN2_KILL_SEED=N repeats a run."""
import os
import random
import signal
import subprocess
from collections import Counter
from pathlib import Path

import release_builder as rb
from release_server import Fault
from update_scenario import UpdateScenario, leftovers


SEED = int(os.environ.get("GARUN2_KILL_SEED") or random.SystemRandom().randrange(1 << 31))
print(f"test_update_killed: seed {SEED} (GARUN2_KILL_SEED={SEED} repeats it)", flush=True)

KILLS = 12  # per case, not counting the runs that end before their moment
# About one uninterrupted run on a two-core machine, so the moments fall in start-up and the
# check as well as in transfers and commits; a run that ends first starts the sequence over.
KILL_WINDOW = (0.3, 5.0)
FOLDERS = ("data", "data/maps", "sound/fx", "ui/icons", "scripts", "movies/intro")


def releases(rng):
    """(old, new): the same few hundred paths, from a few bytes to a few hundred KiB with three
    packs of a MiB or more whose new bytes keep most of the old (so the update takes them as
    chunks); random bytes throughout, so a cut or a misplaced piece changes the hash. Half the
    small files keep their size, where only the bytes tell the releases apart."""
    old, new = {}, {}
    for i in range(300):
        path = f"{rng.choice(FOLDERS)}/f{i:03}.bin"
        size = int(2 ** rng.uniform(1, 18.3))
        new[path] = rng.randbytes(size)
        old[path] = rng.randbytes(size if i % 2 else int(2 ** rng.uniform(1, 18.3)))
    for i in range(3):
        path = f"packs/p{i}.pak"
        old[path] = rng.randbytes(rng.randrange(1 << 20, 5 << 19))
        changed = bytearray(old[path])
        for _ in range(8):
            at = rng.randrange(len(changed) - 4096)
            changed[at:at + 4096] = rng.randbytes(4096)
        new[path] = bytes(changed)
    return old, new


class KilledUpdateTest(UpdateScenario):
    def test_killed_during_a_first_install(self):
        self.kill_repeatedly(random.Random(f"{SEED}-install"), installed=False)

    def test_killed_during_an_update(self):
        self.kill_repeatedly(random.Random(f"{SEED}-update"), installed=True)

    def kill_repeatedly(self, rng, installed):
        old, new = releases(rng)
        baseline = old if installed else {}
        self.publish(new)
        rb.write_chunk_indexes(self.live / "files", new)
        # Each request waits before every piece: a few seconds in all, with files committing
        # all along, so the kills land in transfers and commits alike.
        for path, data in new.items():
            self.server.set_fault(f"/live/files/{path}", Fault.slow(data, 32768, 0.07))
        self.reinstall(baseline)
        kill = 0
        while kill < KILLS:
            at = rng.uniform(*KILL_WINDOW)
            running = self.box.start(*self.headless_arguments())
            try:
                running.wait(timeout=at)
                finished = True
            except subprocess.TimeoutExpired:
                finished = False
                os.kill(running.pid, signal.SIGKILL)
                running.wait(timeout=60)
            # wine-run.sh execs the loader, so that pid is the Windows process itself; a wrapper
            # left in between would keep the patcher writing after the "kill".
            self.assertEqual(self.patcher_processes(), [])
            state = self.assertOldOrNew(baseline, new, f"kill {kill} at {at:.2f} s")
            print(f"  {'ended by itself before' if finished else f'kill {kill:2} at'} {at:4.2f} s:",
                  dict(Counter(state.values())), len(leftovers(self.game)), "partial", flush=True)
            if finished:
                # The run ended by itself: it must have installed the lot; start over.
                out = running.communicate()[0].decode("utf-8", "replace")
                self.assertIn("DOWNLOAD_CODE: 0\r\n", out)
                self.assertEqual(set(state.values()), {"new"})
                self.reinstall(baseline)
            elif kill % 3 == 2:
                check = self.update("--level", "full", command="--check")
                need = {line.split(" ")[1] for line in check["_need"]}
                self.assertEqual(need, {p for p, kind in state.items() if kind != "new"},
                                 f"seed {SEED}, kill {kill}")
            kill += not finished
        self.assertUpdated(self.update(), new)
        check = self.update("--level", "full", command="--check")
        self.assertEqual((check["CODE"], check["_need"]), ("0", []))

    def patcher_processes(self):
        """Host processes still running this scenario's copy of the exe (Wine names a Windows
        process by its exe's host path)."""
        found = []
        for entry in Path("/proc").iterdir():
            try:
                argv0 = (entry / "cmdline").read_bytes().split(b"\0")[0]
            except OSError:
                continue
            if argv0 == bytes(self.box.exe):
                found.append(entry.name)
        return found

    def assertOldOrNew(self, old, new, moment):
        """path -> "absent", "old" or "new"; anything else under a final name fails."""
        state = {}
        for path, data in new.items():
            target = self.game / path
            have = target.read_bytes() if target.is_file() else None
            kind = ("absent" if have is None else "new" if have == data else
                    "old" if have == old.get(path) else None)
            if kind is None:
                self.fail(f"seed {SEED}, {moment}: {path} holds {len(have)} bytes that are "
                          f"neither release's ({len(data)} new)")
            state[path] = kind
        return state
