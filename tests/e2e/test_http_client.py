"""The HTTPS client of the real exe (`--headless --self-test http URL`) against the test release
server: status codes, redirects, the byte cap, time-outs and certificate failures.

These runs use a Wine prefix of their own: the probe holds the single-instance mutex for up to a
minute in the time-out cases, which would turn other scenario modules' runs in the shared prefix
into SINGLE_INSTANCE refusals. The client's real time-outs are used (60 s deadline for a GET), so the
two time-out cases take about a minute each.
"""
import os
import shutil
import tempfile
import time
import unittest
from pathlib import Path

import ca_setup
from patcher_run import Sandbox, discard_prefix
from release_server import Fault, ReleaseServer

MIB = 1048576
PROBE_CAP = MIB
TLS_ERRORS = {"12037", "12038", "12045", "12057", "12157", "12169", "12170", "12175", "12179"}


def private_prefix():
    build = os.environ.get("GARUN2_BUILD_DIR") or tempfile.gettempdir()
    return str(Path(build) / "wineprefix-e2e-http")


class HttpClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ca = ca_setup.ensure()
        if not ca_setup.trusted_by_host(cls.ca):
            raise unittest.SkipTest("the test CA is not in the host store (run as root)")
        cls.www = Path(tempfile.mkdtemp(prefix="garun2-www-"))
        (cls.www / "live").mkdir()
        (cls.www / "live" / "hello.txt").write_bytes(b"hello release\n")
        (cls.www / "live" / "exact.bin").write_bytes(bytes(range(256)) * (PROBE_CAP // 256))
        (cls.www / "live" / "over.bin").write_bytes(b"x" * (PROBE_CAP + 1))
        cls.box = Sandbox()
        cls.server = ReleaseServer(cls.www).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.box.cleanup()
        if not os.environ.get("GARUN2_KEEP_PREFIX"):
            discard_prefix(private_prefix())

    def probe(self, url, limit=150):
        # Wine 8's cryptnet keeps revocation verdicts in files whose names are not derived from
        # the certificate reliably, so a verdict for one certificate can answer for another (we
        # saw the revoked certificate pass on a verdict cached for a good one). Each probe starts
        # without them; the revocation list itself is a local file and cheap to read again.
        for cache in Path(private_prefix()).glob("drive_c/users/*/AppData/LocalLow/Microsoft/"
                                                 "CryptnetUrlCache"):
            shutil.rmtree(cache, ignore_errors=True)
        started = time.monotonic()
        run = self.box.run("--headless", "--self-test", "http", url, timeout=limit,
                           env={"GARUN2_WINEPREFIX": private_prefix()})
        fields = run.fields()
        fields["seconds"] = time.monotonic() - started
        self.assertEqual(fields.get("URL"), url, run.stdout + run.stderr)
        self.assertEqual(run.code, 0 if fields.get("RESULT") == "OK" else 1, run.stdout)
        return fields

    def assertResult(self, fields, result, status, received=None):
        self.assertEqual((fields.get("RESULT"), fields.get("STATUS")), (result, str(status)),
                         fields)
        if received is not None:
            self.assertEqual(fields.get("BYTES"), str(received), fields)

    def test_plain_get_identifies_the_patcher(self):
        fields = self.probe(self.server.url("live/hello.txt"))
        self.assertResult(fields, "OK", 200, len(b"hello release\n"))
        self.assertEqual(fields["OS_ERROR"], "0")
        _, _, headers = self.server.requests_for("live/hello.txt")[-1]
        self.assertEqual(headers.get("User-Agent"), "Garun2Patcher/1.0")

    def test_error_statuses_are_reported_without_reading_the_body(self):
        for status in (500, 429):
            path = f"live/status-{status}"
            self.server.set_fault(path, Fault.status_code(status, retry_after="7"))
            self.assertResult(self.probe(self.server.url(path)), "HTTP_STATUS", status, 0)
        self.assertResult(self.probe(self.server.url("live/missing.txt")), "HTTP_STATUS", 404, 0)

    def test_byte_cap(self):
        self.assertResult(self.probe(self.server.url("live/exact.bin")), "OK", 200, PROBE_CAP)
        # Announced one byte above the cap: refused before any body byte is read.
        self.assertResult(self.probe(self.server.url("live/over.bin")), "TOO_LARGE", 200, 0)
        # Without Content-Length the body is counted as it arrives; the crossing chunk is counted.
        self.server.set_fault("live/unannounced.bin", Fault.body(b"u" * PROBE_CAP, announce=None))
        fields = self.probe(self.server.url("live/unannounced.bin"))
        self.assertResult(fields, "OK", 200, PROBE_CAP)
        self.server.set_fault("live/grows.bin", Fault.body(b"g" * (PROBE_CAP + 70000),
                                                           announce=None))
        fields = self.probe(self.server.url("live/grows.bin"))
        self.assertResult(fields, "TOO_LARGE", 200)
        self.assertGreater(int(fields["BYTES"]), PROBE_CAP)
        self.assertLessEqual(int(fields["BYTES"]), PROBE_CAP + 65536)

    def test_body_length_disagreeing_with_its_announcement(self):
        # Bytes beyond the announced length are not part of the body.
        self.server.set_fault("live/extra.bin", Fault.body(b"e" * 40, announce=10))
        self.assertResult(self.probe(self.server.url("live/extra.bin")), "OK", 200, 10)
        # A connection closed before the announced length ends the request promptly, as a failure
        # that callers may resume from: never as a whole body.
        self.server.set_fault("live/short.bin", Fault.body(b"s" * 10, announce=1000))
        fields = self.probe(self.server.url("live/short.bin"))
        self.assertIn(fields["RESULT"], ("TRUNCATED", "NO_CONNECTION"), fields)
        self.assertLessEqual(int(fields["BYTES"]), 10)
        self.assertLess(fields["seconds"], 40)

    def test_same_origin_redirects_are_followed(self):
        # A 302 to an absolute path is the first hop of test_redirect_chains_and_missing_location.
        for status in (301, 303, 307, 308):
            path = f"live/moved-{status}"
            self.server.set_fault(path, Fault.redirect(self.server.url("live/hello.txt"), status))
            self.assertResult(self.probe(self.server.url(path)), "OK", 200, 14)

    def test_redirects_leaving_the_origin_are_denied(self):
        other = ReleaseServer(self.www).start()
        seen = len(self.server.requests_for("live/hello.txt"))
        try:
            cases = {
                "live/to-other-host": self.server.url("live/hello.txt", host="localhost"),
                "live/to-other-port": other.url("live/hello.txt"),
                "live/to-plain-http": self.server.url("live/hello.txt", scheme="http"),
                "live/to-relative": "live/hello.txt",
            }
            for path, location in cases.items():
                self.server.set_fault(path, Fault.redirect(location))
                fields = self.probe(self.server.url(path))
                self.assertResult(fields, "REDIRECT_DENIED", 302, 0)
            self.assertEqual(other.requests, [])
            self.assertEqual(len(self.server.requests_for("live/hello.txt")), seen)
        finally:
            other.stop()

    def test_redirect_chains_and_missing_location(self):
        for hops in (1, 2, 3):
            self.server.set_redirect_chain(f"live/chain{hops}", hops, "live/hello.txt")
            self.assertResult(self.probe(self.server.url(f"live/chain{hops}")), "OK", 200, 14)
        self.server.set_redirect_chain("live/chain4", 4, "live/hello.txt")
        seen = len(self.server.requests_for("live/hello.txt"))
        fields = self.probe(self.server.url("live/chain4"))
        self.assertResult(fields, "REDIRECT_DENIED", 302, 0)
        self.assertEqual(len(self.server.requests_for("live/hello.txt")), seen)
        self.server.set_fault("live/nowhere", Fault.redirect(None))
        self.assertResult(self.probe(self.server.url("live/nowhere")), "HTTP_STATUS", 302, 0)

    def test_certificates_the_client_must_refuse(self):
        for certificate in ("untrusted", "wrong-name", "expired", "revoked"):
            with ReleaseServer(self.www, certificate) as bad:
                fields = self.probe(bad.url("live/hello.txt"))
                self.assertEqual(fields["RESULT"], "TLS_FAILURE", certificate)
                self.assertEqual((fields["STATUS"], fields["BYTES"]), ("0", "0"), certificate)
                self.assertIn(fields["OS_ERROR"], TLS_ERRORS, certificate)
                self.assertEqual(bad.requests, [], certificate)

    def test_slow_body_hits_the_deadline_and_silence_hits_the_socket_timeout(self):
        # One byte every 2 s keeps every socket read alive; only the 60 s deadline can end it.
        self.server.set_fault("live/trickle.bin", Fault.trickle(total=100, interval=2, seconds=90))
        fields = self.probe(self.server.url("live/trickle.bin"))
        self.assertResult(fields, "TIMEOUT", 200)
        self.assertGreater(int(fields["BYTES"]), 20)
        self.assertLess(fields["seconds"], 90)
        # No answer at all: the receive time-out (60 s, the deadline) ends it as a lost connection.
        self.server.set_fault("live/stall.bin", Fault.stall(seconds=90))
        fields = self.probe(self.server.url("live/stall.bin"))
        self.assertResult(fields, "NO_CONNECTION", 0, 0)
        self.assertNotEqual(fields["OS_ERROR"], "0")
        self.assertLess(fields["seconds"], 90)
