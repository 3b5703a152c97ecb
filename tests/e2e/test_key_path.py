"""The key path of the real exe under Wine: the key-pipe probes (a copy of the patcher launched as
the game through the key channel), key-fetch against a local key service that answers as told, the
Retry-After window, Attach's handle ownership and a launch of a missing game. One key service serves
the whole module; each test sets its answer on /key. No key the service minted ever shows in a
report or in the support log."""
import tempfile
import unittest
from pathlib import Path

import ca_setup
from patcher_run import Sandbox, windows_path
from release_builder import sha
from release_server import Fault, ReleaseServer

BODY = b'{"patcher_ver":"1.0.0"}'


def shown(key):
    """What a report shows of a key."""
    return f"length={len(key)} sha256={sha(key.encode())[:8]}"


class KeyPathTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not ca_setup.trusted_by_host(ca_setup.ensure()):
            raise unittest.SkipTest("the test CA is not in the host store (run as root)")
        cls.box = Sandbox()
        cls.service = ReleaseServer(tempfile.mkdtemp(prefix="garun2-keys-")).start()

    @classmethod
    def tearDownClass(cls):
        cls.service.stop()
        cls.box.cleanup()

    def probe(self, *args, answer=None, service=None):
        """Runs a self-test; the report's fields, its NOTE lines, the exit code and the POSTs the
        key service received meanwhile."""
        if answer is not None:
            self.service.set_fault("/key", answer)
        seen = len(self.service.posts)
        run = self.box.run("--headless", "--self-test", *args, "--data-dir",
                           windows_path(self.box.data_dir), "--key-service",
                           service or self.service.url("/"))
        notes = [line[len("  NOTE "):] for line in run.stdout.split("\r\n")
                 if line.startswith("  NOTE ")]
        self.assertEqual(self.service.leaked_keys(run.stdout, self.box.log_text()), [])
        return run.fields(), notes, run.code, self.service.posts[seen:]

    def test_key_pipe_hands_two_keys_through_the_pipe_and_nowhere_else(self):
        fields, notes, code, posts = self.probe("key-pipe")
        self.assertEqual((code, fields["KEY_PIPE"]), (0, "OK"), fields)
        self.assertEqual((fields["KEY1"], fields["CHILD_KEY1"], fields["CHILD_KEY2"]),
                         (shown("TESTKEY-1"), shown("TESTKEY-1"), shown("TESTKEY-2")))
        self.assertEqual([fields[k] for k in ("CHILD_CMDLINE_HAS_KEY", "CHILD_ENV_HAS_KEY",
                                              "KEYS_SENT", "ONE_KEYREQ", "GAME_EXIT")],
                         ["no", "no", "2", "yes", "0"], fields)
        fake = windows_path(self.box.data_dir / "fakegame.exe")
        self.assertIn(f'CMDLINE "{fake}" --headless --self-test key-pipe-child --hold-ms 300',
                      notes)
        self.assertEqual(posts, [])
        self.assertIn(f"launch: started, key channel attached, key-sent=1 :: exe={fake} "
                      f"cwd={windows_path(self.box.data_dir)} key-path=on", self.box.log_text())

    def test_key_pipe_service_posts_what_the_service_expects(self):
        # Trailing slashes of the address are dropped before "/key".
        fields, _, code, posts = self.probe("key-pipe-service", answer=Fault.minted_key(),
                                            service=self.service.url("/") + "//")
        self.assertEqual((code, fields["KEY_PIPE"], fields["FETCH"], fields["FETCH_STATUS"]),
                         (0, "OK", "OK", "200"), fields)
        self.assertEqual(fields["FETCH_DIAGNOSTIC"], "key issued, expires 2036-01-01T00:00:00Z")
        self.assertEqual(posts, [("/key", "application/json", BODY)] * 2)
        self.assertEqual((fields["KEY1"], fields["KEY2"]), tuple(map(shown, self.service.minted[-2:])))

    def test_key_fetch_maps_every_answer(self):
        cases = [
            (Fault.body(b'{"expires_at":"soon","key":"abc123"}'), "OK", "200", "0", 6, ""),
            (Fault.status_code(429, retry_after="30"), "RATE_LIMITED", "429", "30", 0, ""),
            (Fault.status_code(503), "UNAVAILABLE", "503", "0", 0, ""),
            # A POST is never sent on, not even to the same host.
            (Fault.redirect("/key-moved"), "UNREACHABLE", "302", "0", 0, ""),
            (Fault.body(b'{"key":"' + b"k" * 5000 + b'"}'), "UNREACHABLE", "200", "0", 0,
             "TOO_LARGE"),
            # The answer trickles for 30 s, so only the client's own deadline can end it, once.
            (Fault.trickle(total=100, interval=1, seconds=30), "UNREACHABLE", "200", "0", 0,
             "the key service could not be reached (TIMEOUT, os error 0)"),
        ]
        self.service.set_fault("/key-moved", Fault.minted_key())
        for answer, kind, status, retry_after, length, diagnostic in cases:
            fields, _, code, posts = self.probe("key-fetch", answer=answer)
            got = (fields["FETCH"], fields["FETCH_STATUS"], fields["RETRY_AFTER"],
                   fields["KEY_LENGTH"], code)
            self.assertEqual(got, (kind, status, retry_after, str(length), 0 if length else 1),
                             fields)
            self.assertIn(diagnostic, fields.get("FETCH_DIAGNOSTIC", ""))
            self.assertEqual(posts, [("/key", "application/json", BODY)])
        # A plain-http address is refused before anything is sent.
        fields, _, _, posts = self.probe("key-fetch", service=self.service.url("/", scheme="http"))
        self.assertEqual((fields["FETCH"], posts), ("BAD_URL", []))

    def test_retry_after_window_keeps_requests_away_until_it_ends(self):
        # Inside the window the game's request is refused without asking the service.
        fields, notes, code, posts = self.probe(
            "key-pipe-service", answer=Fault.status_code(429, retry_after="30"))
        self.assertEqual((code, fields["KEY_PIPE"], fields["FETCH"], fields["RETRY_AFTER"]),
                         (1, "LAUNCHED_REGARDLESS", "RATE_LIMITED", "30"), fields)
        self.assertIn("SECOND KEYERR RATE_LIMITED", notes)
        self.assertEqual(len(posts), 1)
        # After a one-second window the next request reaches the service again.
        fields, notes, _, posts = self.probe(
            "key-pipe-service", "1500", answer=Fault.status_code(429, retry_after="1"))
        self.assertIn("SECOND KEYERR RATE_LIMITED", notes)
        self.assertEqual(len(posts), 2, notes)

    def test_attach_ownership_and_a_missing_game(self):
        fields, _, code, _ = self.probe("key-attach-ownership")
        self.assertEqual((code, fields["ATTACH_OWNERSHIP"]), (0, "OK"), fields)
        empty = Path(tempfile.mkdtemp(prefix="garun2-nogame-", dir=self.box.root))
        fields, _, code, _ = self.probe("launch-missing", "--install-dir", windows_path(empty))
        missing = windows_path(empty) + "\\Velmor2.exe"
        self.assertEqual((code, fields["RESULT"], fields["DIAGNOSTIC"]),
                         (0, "NOT_STARTED", f"game executable not found: {missing}"))
        self.assertIn(f"launch: game executable not found: {missing} :: exe={missing} "
                      f"cwd={windows_path(empty)} key-path=on", self.box.log_text())
