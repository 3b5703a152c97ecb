"""The built garun2-release driven as an operator drives it: key files, signatures checked against
OpenSSL's own tools, usage errors that touch nothing, a publish/validate round trip with its
refusals, and the README's operator walkthrough run command by command."""
import base64
import hashlib
import os
import re
import shutil
import stat
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

TOOL = os.environ.get("GARUN2_RELEASE_TOOL", "garun2-release")
SOURCE_DIR = Path(os.environ.get("GARUN2_SOURCE_DIR", Path(__file__).resolve().parents[3]))
NOW = "2025-03-01T10:00:00Z"
LATER = "2025-03-02T00:00:00Z"
EXPIRES = "2030-01-01T00:00:00Z"


def run(*args, cwd):
    return subprocess.run([TOOL, *args], cwd=cwd, capture_output=True, text=True, timeout=120)


def fields(output):
    """KEY: value lines of a report, the first value of each key."""
    found = {}
    for line in output.splitlines():
        match = re.match(r"^([A-Z_]+): (.*)$", line)
        if match:
            found.setdefault(match.group(1), match.group(2))
    return found


def listing(folder):
    return sorted(str(p.relative_to(folder)) for p in Path(folder).rglob("*"))


class ReleaseToolCase(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="garun2_release_py_"))
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def tool(self, *args, expect=0):
        result = run(*args, cwd=self.dir)
        self.assertEqual(result.returncode, expect,
                         f"{args}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}")
        return result

    def write(self, relative, data):
        path = self.dir / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data if isinstance(data, bytes) else data.encode())
        return path

    def operator(self):
        """root and live1 keys, a signed registry and a game folder."""
        self.tool("keygen", "--out", "root")
        self.tool("keygen", "--out", "live1")
        self.root = (self.dir / "root.pub").read_text().strip()
        self.tool("registry", "keys.txt", "--key", "root.pem", "--root-key", self.root,
                  "--expires", EXPIRES, "--add", "live1=live1.pub", "--now", NOW)
        self.write("game/Velmor2.exe", b"MZ")
        self.write("game/data/a.bin", os.urandom(100000))
        self.write("announce.txt", "news 1\nitem\ntitle Duyuru\nbody Merhaba\n")

    def publish(self, out, *extra, key="live1.pem", expect=0):
        return self.tool("publish", "--out", out, "--game", "game", "--keys", "keys.txt",
                         "--key", key, "--root-key", self.root,
                         "--base-url", "https://127.0.0.1:8443/live", "--version", "1.0.0",
                         "--channel", "live", "--expires", EXPIRES, "--now", NOW, *extra,
                         expect=expect)

    def age_objects(self):
        """Every stored object old enough for gc to weigh it."""
        for path in (self.dir / "objects").rglob("*"):
            os.utime(path, (0, 0))

    def validate(self, release, *extra, now=LATER, expect=0):
        return self.tool("validate", "--manifest", f"{release}/manifest.txt",
                         "--keys", f"{release}/keys.txt", "--root-key", self.root,
                         "--now", now, *extra, expect=expect)


class KeysAndSignatures(ReleaseToolCase):
    def test_keygen_private_key_is_owner_only_and_never_overwritten(self):
        out = self.tool("keygen", "--out", "k").stdout
        pem = self.dir / "k.pem"
        self.assertEqual(stat.S_IMODE(pem.stat().st_mode), 0o600)
        pub = (self.dir / "k.pub").read_bytes()
        self.assertEqual(len(pub), 45)
        self.assertTrue(pub.endswith(b"=\n"))
        self.assertIn("PUBLIC_KEY: " + pub.decode().strip(), out)
        # OpenSSL reads the PEM as an Ed25519 key whose raw public half is the .pub text.
        der = subprocess.run(["openssl", "pkey", "-in", str(pem), "-pubout", "-outform", "DER"],
                             capture_output=True, check=True).stdout
        self.assertEqual(base64.b64encode(der[-32:]) + b"\n", pub)

        before = pem.read_bytes()
        result = self.tool("keygen", "--out", "k", expect=1)
        self.assertIn("k.pem exists; refusing to overwrite a key", result.stderr)
        self.assertEqual(pem.read_bytes(), before)
        (self.dir / "k2.pub").write_text("keep\n")
        self.tool("keygen", "--out", "k2", expect=1)
        self.assertFalse((self.dir / "k2.pem").exists())
        self.assertEqual((self.dir / "k2.pub").read_text(), "keep\n")

    def test_signatures_verify_with_openssl_and_the_core_check(self):
        self.tool("keygen", "--out", "k")
        self.tool("keygen", "--out", "other")
        pub = (self.dir / "k.pub").read_text().strip()
        subprocess.run(["openssl", "pkey", "-in", "k.pem", "-pubout", "-out", "k.pub.pem"],
                       cwd=self.dir, check=True, capture_output=True)
        for name, data in [("empty.txt", b""), ("big.jpg", os.urandom(3 << 20))]:
            self.write(name, data)
            self.tool("sign", name, "--key", "k.pem")
            self.assertEqual(len((self.dir / (name + ".sig")).read_bytes()), 64)
            if data:  # openssl pkeyutl cannot read an empty input; the core check covers it
                subprocess.run(["openssl", "pkeyutl", "-verify", "-pubin", "-inkey", "k.pub.pem",
                                "-rawin", "-in", name, "-sigfile", name + ".sig"],
                               cwd=self.dir, check=True, capture_output=True)
            self.assertIn("VERIFIED:", self.tool("verify", name, "--public-key", pub).stdout)

        other = (self.dir / "other.pub").read_text().strip()
        failed = self.tool("verify", "big.jpg", "--public-key", other, expect=2).stdout
        self.assertEqual(failed, "FAILED: big.jpg signature did not verify with the expected key "
                                 "(broken signature or wrong role key)\n")
        self.write("empty.txt", b"x")
        self.tool("verify", "empty.txt", "--public-key", pub, expect=2)
        missing = self.tool("verify", "k.pub", "--public-key", pub, expect=2).stdout
        self.assertEqual(missing, "FAILED: k.pub.sig is missing -- unsigned input is not accepted\n")
        self.tool("verify", "big.jpg", "--public-key", pub[:-2] + "_=", expect=1)

        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-out", "ec.pem"],
                       cwd=self.dir, check=True, capture_output=True)
        result = self.tool("sign", "big.jpg", "--key", "ec.pem", expect=1)
        self.assertIn("ec.pem is not an Ed25519 private key", result.stderr)


class UsageErrors(ReleaseToolCase):
    def test_usage_errors_exit_1_and_touch_no_file(self):
        self.operator()
        self.write("bad/data/Nul.txt", b"x")  # a name Windows reserves: the walk refuses it
        before = listing(self.dir)
        manifest = ["manifest", "game", "--channel", "live", "--counter", "1", "--expires", EXPIRES]
        publish = ["publish", "--out", "rel", "--game", "game"]
        cases = [
            ["keygen"],
            ["sign", "announce.txt"],
            ["verify", "announce.txt"],
            ["registry", "keys.txt", "--key", "root.pem", "--version", "1"],
            ["registry", "new.txt", "--key", "root.pem", "--add", "a=live1.pub"],
            ["registry", "keys.txt", "--key", "live1.pem", "--root-key", self.root],
            manifest + ["--base-url", "https://h/live", "--version", "1.0", "--out", "m.txt"],
            manifest + ["--base-url", "http://h/live", "--version", "1.0.0", "--out", "m.txt"],
            ["manifest", "bad", *manifest[2:], "--base-url", "https://h/live", "--version", "1.0.0",
             "--out", "m.txt"],
            publish,
            publish + ["--keys", "keys.txt", "--key", "live1.pem", "--root-key", self.root,
                       "--base-url", "https://h/live", "--version", "1.0.0", "--channel", "live",
                       "--expires", EXPIRES, "--counter", "1", "--shards", "sometimes"],
            ["lint", "settings", "keys.txt"],
            ["sign-exe", "game/Velmor2.exe"],
            ["sign-exe", "game/Velmor2.exe", "--pkcs12", "p.p12", "--cert", "c.pem"],
            ["validate", "--level", "deep"],
            ["nonsense"],
        ]
        for args in cases:
            result = self.tool(*args, expect=1)
            self.assertTrue(result.stderr.strip(), args)
            self.assertEqual(listing(self.dir), before, args)

class RoundTrip(ReleaseToolCase):
    def test_publish_validate_and_what_the_patcher_refuses(self):
        self.operator()
        out = fields(self.publish("rel1", "--counter", "1", "--announce", "announce.txt").stdout)
        self.assertEqual(out["SIGNING_KEY"], "live1")
        self.assertEqual(sorted(p.name for p in (self.dir / "rel1").iterdir()),
                         ["announce.txt", "announce.txt.sig", "files", "keys.txt",
                          "keys.txt.sig", "manifest.txt", "manifest.txt.sig"])
        report = fields(self.validate("rel1", "--dist", "rel1/files", "--state", "state.txt",
                                      "--expect-version", "1.0.0").stdout)
        self.assertEqual((report["CODE"], report["FILES"], report["FILES_VERIFIED"],
                          report["CONTENT_CHECKED"]), ("0", "2", "2", "yes"))
        lint = fields(self.tool("lint", "manifest", "rel1/manifest.txt").stdout)
        self.assertEqual((lint["COUNTER"], lint["FILES"]), ("1", "2"))
        self.tool("verify", "rel1/announce.txt", "--public-key",
                  (self.dir / "live1.pub").read_text().strip())

        # The second release follows the first; a patcher holding it refuses the first again.
        self.write("game/data/a.bin", b"new content")
        out = fields(self.publish("rel2", "--previous", "rel1").stdout)
        self.assertEqual(out["COUNTER"], "2")
        report = fields(self.validate("rel2", "--state", "state.txt").stdout)
        self.assertEqual(report["ROLLBACK_CHECKED"], "yes")
        rollback = self.validate("rel1", "--state", "state.txt", expect=3).stdout
        self.assertIn("MESSAGE: manifest counter went backwards (1 < 2) -- rollback attack",
                      rollback)

        # A manifest signed by a key the rotation revoked.
        self.tool("keygen", "--out", "live2")
        self.tool("registry", "keys.txt", "--key", "root.pem", "--rotate", "live1:live2=live2.pub",
                  "--now", NOW)
        self.tool("lint", "keys", "keys.txt")
        os.makedirs(self.dir / "rel4")
        shutil.copy(self.dir / "keys.txt", self.dir / "rel4")
        shutil.copy(self.dir / "keys.txt.sig", self.dir / "rel4")
        self.tool("manifest", "game", "--base-url", "https://h/live/files", "--version", "1.0.0",
                  "--channel", "live", "--counter", "9", "--expires", EXPIRES, "--now", NOW,
                  "--out", "rel4/manifest.txt", "--key", "live1.pem")
        revoked = self.validate("rel4", expect=5).stdout
        self.assertIn("MESSAGE: manifest was signed with a REVOKED key: live1", revoked)
        self.publish("rel5", "--previous", "rel2", expect=1)  # live1 is revoked now
        self.publish("rel5", "--previous", "rel2", key="live2.pem")
        self.validate("rel5", "--state", "state.txt")


MINGW = shutil.which("i686-w64-mingw32-gcc")


class SharedObjects(ReleaseToolCase):
    URL = "https://cdn.example/objects"

    def object_of(self, relative):
        digest = hashlib.sha256((self.dir / "game" / relative).read_bytes()).hexdigest()
        return self.dir / "objects" / digest[:2] / digest

    def publish_objects(self, out, *extra):
        return fields(self.publish(out, "--objects", "objects", "--objects-url", self.URL,
                                   *extra).stdout)

    def test_releases_share_objects_that_gc_and_validate_keep_honest(self):
        self.operator()
        self.write("game/data/big.pak", os.urandom(1 << 20))  # large enough for a chunk index
        # Compressible: a small file (one frame) and a large one (frames cut where groups start).
        self.write("game/Velmor2.exe", b"MZ" + bytes(4000))
        self.write("game/data/a.bin", "".join(f"line {i}\n" for i in range(200000)))
        (self.dir / "releases").mkdir()
        first = self.publish_objects("releases/1", "--counter", "1")
        self.assertEqual((first["OBJECTS_ADDED"], first["OBJECTS_REUSED"], first["FORMS_ADDED"]),
                         ("3", "0", "2"))
        self.assertNotIn("files", os.listdir(self.dir / "releases/1"))
        big, exe = self.object_of("data/big.pak"), self.object_of("Velmor2.exe")
        self.assertTrue(Path(f"{big}.chunks").is_file())
        self.assertFalse(Path(f"{big}.zst").exists())  # random bytes: not worth a form
        stored = big.stat()
        v1 = self.object_of("data/a.bin")
        form = Path(f"{v1}.zst")
        listed = [f"zst {o.name} {Path(f'{o}.zst').stat().st_size}" for o in (exe, v1)]
        self.assertEqual((self.dir / "releases/1/forms.txt").read_text().splitlines(), listed)
        self.assertEqual(fields(self.validate("releases/1", "--objects", "objects").stdout)
                         ["FORMS_CHECKED"], "2")
        good = form.read_bytes()
        form.write_bytes(good[:-2000] + bytes([good[-2000] ^ 1]) + good[-1999:])
        self.assertIn(f"the form {form.relative_to(self.dir)} ",
                      self.validate("releases/1", "--objects", "objects", expect=7).stdout)
        form.write_bytes(good)

        self.write("game/data/a.bin", b"second")
        second = self.publish_objects("releases/2", "--previous", "releases/1")
        self.assertEqual((second["OBJECTS_ADDED"], second["OBJECTS_REUSED"]), ("1", "2"))
        self.assertEqual((self.dir / "releases/2/forms.txt").read_text().splitlines(), listed[:1])
        self.assertEqual((big.stat().st_ino, big.stat().st_mtime_ns),
                         (stored.st_ino, stored.st_mtime_ns))  # never written again
        v2 = self.object_of("data/a.bin")
        self.assertIn(f"{self.URL}/{v2.parent.name}/{v2.name}\n",
                      (self.dir / "releases/2/manifest.txt").read_text())
        self.validate("releases/2", "--objects", "objects")
        self.write("game/data/a.bin", b"third")
        self.publish_objects("releases/3", "--previous", "releases/2")

        # Kept: what the newest release (--keep 1) or the live one names, and anything young.
        self.write(f"objects/{v1.parent.name}/{v1.name}.partial-7", b"left by a crash")
        self.write("objects/zz/notes.txt", b"not an object")
        gc = ["gc", "--objects", "objects", "--releases", "releases", "--live", "releases/2",
              "--keep", "1"]
        self.assertEqual(fields(self.tool(*gc).stdout)["OBJECTS_YOUNG"], "1")
        self.age_objects()
        removed = self.tool(*gc).stdout
        self.assertEqual(sorted(re.findall(r"REMOVED (\S+)", removed)),
                         [f"{v1.parent.name}/{v1.name}{kind}"
                          for kind in ["", ".chunks", ".partial-7", ".zst"]])
        self.assertTrue(v2.exists() and exe.exists() and Path(f"{exe}.zst").exists() and
                        (self.dir / "objects/zz/notes.txt").exists())
        self.write("releases/broken/manifest.txt", "not a manifest")
        self.tool(*gc, expect=6)

        # A release whose object is gone, or altered, is refused.
        self.assertIn("is missing", self.validate("releases/1", "--objects", "objects",
                                                  expect=7).stdout)
        exe.write_bytes(b"MX" + bytes(4000))
        self.assertIn("does not hash to its name",
                      self.validate("releases/3", "--objects", "objects", expect=7).stdout)


    def test_deltas_from_the_newest_releases_that_validate_and_gc_keep_honest(self):
        self.operator()
        (self.dir / "releases").mkdir()
        base = os.urandom(300000)  # no form: a delta must beat the object itself
        versions = [base, base[:1000] + os.urandom(64) + base[1064:], base[:2000] + b"x" + base,
                    os.urandom(300000), base + b"five", base + b"five, six"]
        objects, reports = [], []
        for n, data in enumerate(versions, 1):
            self.write("game/data/a.bin", data)
            extra = ["--counter", "1"] if n == 1 else ["--previous", f"releases/{n - 1}"]
            extra += {3: ["--delta-releases", "2"], 5: ["--delta-releases", "0"]}.get(n, [])
            reports.append(self.publish_objects(f"releases/{n}", *extra))
            objects.append(self.object_of("data/a.bin"))
        v1, v2, v3, v4, v5, v6 = objects

        def delta(new, old):
            return Path(f"{new}.from-{old.name}")

        def listed(n):
            return (self.dir / f"releases/{n}/deltas.txt").read_text().splitlines()

        # The two newest releases for the third; none from the unrelated fourth, none by choice
        # for the fifth, and the sixth from the fifth and third (the fourth's is too large).
        for n, new, olds in [(2, v2, [v1]), (3, v3, [v2, v1]), (4, v4, []), (5, v5, []),
                             (6, v6, [v5, v3])]:
            self.assertEqual(listed(n), [f"delta {new.name} {old.name} "
                                         f"{delta(new, old).stat().st_size}" for old in olds], n)
            self.assertEqual(reports[n - 1]["DELTAS_ADDED"], str(len(olds)), n)
        self.assertFalse(delta(v4, v3).exists())
        # Validate decodes both as a patcher does, from the old objects.
        self.assertEqual(fields(self.validate("releases/3", "--objects", "objects").stdout)
                         ["DELTAS_CHECKED"], "2")
        good = delta(v3, v2).read_bytes()
        delta(v3, v2).write_bytes(good[:-20] + bytes([good[-20] ^ 1]) + good[-19:])
        self.assertIn(f"the delta {delta(v3, v2).relative_to(self.dir)} ",
                      self.validate("releases/3", "--objects", "objects", expect=7).stdout)
        delta(v3, v2).write_bytes(good)

        # A delta goes with the object it makes, and with the object it is made from unless a kept
        # release lists it: players of that older release still hold the source.
        gc = ["gc", "--objects", "objects", "--releases", "releases", "--live", "releases/6",
              "--keep", "2"]
        self.age_objects()
        removed = re.findall(r"REMOVED \S+/(\S+)", self.tool(*gc).stdout)
        self.assertEqual(sorted(name for name in removed if ".from-" in name),
                         sorted(delta(new, old).name
                                for new, old in [(v2, v1), (v3, v2), (v3, v1)]))
        self.assertTrue(delta(v6, v5).exists() and delta(v6, v3).exists())
        checked = self.validate("releases/6", "--objects", "objects").stdout
        self.assertEqual(fields(checked)["DELTAS_CHECKED"], "1")
        self.assertIn(f"{delta(v6, v3).relative_to(self.dir)} is not checked", checked)


# The headers of a PE32 with no data directory: an exe without Authenticode, as publish reads it.
UNSIGNED_PE = (b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + bytes(20) +
               struct.pack("<H", 0x10B)).ljust(0x100, b"\0")


class Shards(ReleaseToolCase):
    URL = "https://cdn.example/objects"

    def test_sharded_release_reads_as_one_for_validate_lint_and_gc(self):
        self.operator()
        self.write("game/Velmor2Launcher.exe", UNSIGNED_PE)
        (self.dir / "releases").mkdir()
        rel = "releases/1"
        out = fields(self.publish(rel, "--counter", "1", "--shards", "always", "--objects",
                                  "objects", "--objects-url", self.URL).stdout)
        self.assertEqual((out["FILES"], out["SHARDS"]), ("3", "1"))
        lines = (self.dir / rel / "manifest.txt").read_text().splitlines()[5:]
        self.assertEqual([line.split()[:2] for line in lines],
                         [["file", "Velmor2Launcher.exe"], ["shard", lines[1].split()[1]]])
        shard = next((self.dir / rel / "shards").iterdir())
        self.assertEqual(lines[1].split()[2:], [
            hashlib.sha256(shard.read_bytes()).hexdigest(),
            f"https://127.0.0.1:8443/live/shards/{shard.name}"])
        report = fields(self.validate(rel, "--objects", "objects").stdout)
        self.assertEqual((report["FILES"], report["OBJECTS_CHECKED"]), ("3", "3"))
        lint = fields(self.tool("lint", "manifest", f"{rel}/manifest.txt").stdout)
        self.assertEqual((lint["FILES"], lint["SHARDS"]), ("3", "1"))
        self.assertEqual(int(lint["BYTES"]), sum(
            (self.dir / "game" / p).stat().st_size
            for p in ("Velmor2Launcher.exe", "Velmor2.exe", "data/a.bin")))

        # Objects that only the shard names are the release's as much as the manifest's own.
        self.age_objects()
        gc = fields(self.tool("gc", "--objects", "objects", "--releases", "releases", "--live",
                              rel, "--keep", "1").stdout)
        self.assertEqual((gc["OBJECTS_KEPT"], gc["OBJECTS_REMOVED"]), ("3", "0"))
        self.validate(rel, "--objects", "objects")

        good = shard.read_bytes()
        shard.write_bytes(good.replace(b"data/a.bin", b"data/b.bin"))
        self.assertIn("does not match its line in the signed manifest",
                      self.validate(rel, expect=2).stdout)
        moved = self.dir / "elsewhere"
        moved.mkdir()
        (moved / shard.name).write_bytes(good)
        self.validate(rel, "--shards", "elsewhere")
        self.tool("lint", "manifest", f"{rel}/manifest.txt", "--shards", "elsewhere")

        (self.dir / "game/Velmor2Launcher.exe").unlink()
        refused = self.publish("releases/2", "--counter", "2", "--shards", "always", expect=1)
        self.assertIn("cannot shard a release without Velmor2Launcher.exe", refused.stderr)
        self.assertFalse((self.dir / "releases/2").exists())

    def test_names_outside_ascii_shard_themselves_percent_encoded(self):
        self.operator()
        self.write("game/Velmor2Launcher.exe", UNSIGNED_PE)
        self.write("game/Harita Şehir/ağaç 1.png", "tree")
        refused = self.publish("never", "--counter", "1", "--shards", "never", expect=1)
        self.assertIn("Harita Şehir/ağaç 1.png: a name outside [A-Za-z0-9._/-] can only be "
                      "published in shards", refused.stderr)
        out = fields(self.publish("rel1", "--counter", "1").stdout)
        self.assertEqual((out["FILES"], out["SHARDS"]), ("4", "2"))
        # The encoded name sits in a shard of its own kind, which patchers that read only plain
        # shards never fetch.
        kinds = {line.split()[2]: line.split()[0]
                 for line in (self.dir / "rel1/manifest.txt").read_text().splitlines()
                 if line.startswith("shard")}
        field = "Harita%20%C5%9Eehir/a%C4%9Fa%C3%A7%201.png"
        encoded = [sha for sha, kind in kinds.items() if kind == "shard-utf8"]
        self.assertEqual(sorted(kinds.values()), ["shard", "shard-utf8"])
        shard = (self.dir / "rel1/shards" / f"{encoded[0]}.txt").read_text()
        self.assertIn(f"file {field} 4 ", shard)
        self.assertIn(f"/files/{field}\n", shard)
        report = fields(self.validate("rel1", "--dist", "rel1/files").stdout)
        self.assertEqual(report["FILES_VERIFIED"], "4")

    def test_a_large_release_shards_itself(self):
        self.operator()
        self.write("game/Velmor2Launcher.exe", UNSIGNED_PE)
        for i in range(4500):  # about 600 KiB of file lines: past the 512 KiB of --shards auto
            self.write(f"game/data/zone{i % 30:02}/f{i:05}.bin", f"{i:06}")
        first = fields(self.publish("rel1", "--counter", "1").stdout)
        self.assertGreater(int(first["SHARDS"]), 1)
        report = fields(self.validate("rel1", "--dist", "rel1/files").stdout)
        self.assertEqual((report["FILES"], report["FILES_VERIFIED"]), ("4503", "4503"))


def signed_patcher_setup(folder):
    """An unsigned Windows program as the game's patcher, and the credentials to sign it."""
    (folder / "hello.c").write_text("int main(void) { return 0; }\n")
    subprocess.run([MINGW, "hello.c", "-o", "game/Velmor2Launcher.exe"], cwd=folder, check=True,
                   capture_output=True)
    make_code_signing_ca(folder)


def authenticode_verifies(folder, exe):
    """osslsigncode's exit code for `exe` against the CA in ca.crt: 0 when Windows would accept."""
    return subprocess.run(["osslsigncode", "verify", "-CAfile", "ca.crt", "-in", exe], cwd=folder,
                          capture_output=True).returncode


def make_code_signing_ca(folder):
    """A CA of our own and a code-signing certificate it issued, as PEM and as a PKCS#12 file
    under the password in password.txt."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)
    openssl("req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
            "-subj", "/CN=Garun2 Test Code Signing CA", "-keyout", "ca.key", "-out", "ca.crt",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Garun2 Test Publisher",
            "-keyout", "signer.key", "-out", "signer.csr")
    (folder / "signer.ext").write_text("basicConstraints=CA:FALSE\n"
                                       "keyUsage=critical,digitalSignature\n"
                                       "extendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "signer.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "30", "-sha256", "-extfile", "signer.ext",
            "-out", "signer.crt")
    (folder / "password.txt").write_text("geheim\n")
    openssl("pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.crt", "-certfile",
            "ca.crt", "-passout", "file:password.txt", "-out", "signer.p12")


@unittest.skipUnless(MINGW and shutil.which("osslsigncode"),
                     "needs a mingw compiler for a Windows program and osslsigncode")
class Authenticode(ReleaseToolCase):
    def setUp(self):
        super().setUp()
        self.operator()
        signed_patcher_setup(self.dir)

    def verify(self, exe):
        return authenticode_verifies(self.dir, exe)

    def test_sign_lint_and_publish_only_a_signed_patcher(self):
        exe = self.dir / "game/Velmor2Launcher.exe"
        lint = self.tool("lint", "exe", exe, expect=2).stdout
        self.assertIn("AUTHENTICODE: unsigned", lint)
        refused = self.publish("rel", "--counter", "1", "--require-signed-patcher", expect=1)
        self.assertIn("--require-signed-patcher: Velmor2Launcher.exe carries no Authenticode",
                      refused.stderr)
        self.assertFalse((self.dir / "rel").exists())
        noted = fields(self.publish("rel0", "--counter", "1").stdout)
        self.assertIn("carries no Authenticode signature", noted["NOTE"])
        self.assertNotEqual(self.verify(exe), 0)

        # Both kinds of credentials; a wrong password or an unreachable time-stamp authority
        # changes nothing.
        unsigned = exe.read_bytes()
        (self.dir / "wrong.txt").write_text("falsch\n")
        for failing in [["--pkcs12", "signer.p12", "--password-file", "wrong.txt"],
                        ["--pkcs12", "signer.p12", "--password-file", "password.txt",
                         "--timestamp-url", "http://127.0.0.1:1/tsa"]]:
            self.tool("sign-exe", exe, *failing, expect=1)
            self.assertEqual(exe.read_bytes(), unsigned, failing)
            self.assertEqual(sorted(p.name for p in exe.parent.iterdir()),
                             ["Velmor2.exe", "Velmor2Launcher.exe", "data"], failing)
        self.tool("sign-exe", exe, "--cert", "signer.crt", "--key", "signer.key",
                  "--out", "pem-signed.exe")
        self.assertEqual(self.verify("pem-signed.exe"), 0)
        self.assertEqual(exe.read_bytes(), unsigned)
        self.tool("sign-exe", exe, "--pkcs12", "signer.p12", "--password-file", "password.txt",
                  "--description", "Velmor2")
        self.assertEqual(self.verify(exe), 0)
        self.assertIn("AUTHENTICODE: signed", self.tool("lint", "exe", exe).stdout)

        # The manifest states the signed bytes, so a patcher installs exactly what Windows checks.
        self.publish("rel", "--counter", "1", "--require-signed-patcher")
        manifest = (self.dir / "rel/manifest.txt").read_text()
        digest = subprocess.run(["sha256sum", exe], capture_output=True, text=True,
                                check=True).stdout.split()[0]
        self.assertIn(f"file Velmor2Launcher.exe {exe.stat().st_size} {digest} ", manifest)

        # One byte changed after signing, far from the signature: Windows' check fails.
        tampered = bytearray(exe.read_bytes())
        tampered[0x200] ^= 0x01
        (self.dir / "tampered.exe").write_bytes(tampered)
        self.assertNotEqual(self.verify("tampered.exe"), 0)


    def test_lint_and_publish_refuse_a_signature_that_does_not_verify(self):
        exe = self.dir / "game/Velmor2Launcher.exe"
        unsigned = exe.read_bytes()
        self.tool("sign-exe", exe, "--pkcs12", "signer.p12", "--password-file", "password.txt")
        signed = exe.read_bytes()
        self.tool("sign-exe", exe, "--cert", "signer.crt", "--key", "signer.key",
                  "--out", "leaf-only.exe")  # carries no CA certificate
        other = self.dir / "other"
        other.mkdir()
        make_code_signing_ca(other)
        changed = bytearray(signed)
        changed[section_offset(signed, b".text") + 16] ^= 0x01
        leaf = (self.dir / "leaf-only.exe").read_bytes()
        both = (None, "ca.crt")
        # name, bytes, each --ca-file to try, the reason osslsigncode gives or None when it verifies
        cases = [("bare certificate header", with_bare_certificate_header(unsigned), both,
                  "Unable to extract existing signature"),
                 ("code changed after signing", bytes(changed), both, "MISMATCH"),
                 ("another CA", signed, ("other/ca.crt",),
                  "self-signed certificate in certificate chain"),
                 ("leaf only, no CA", leaf, (None,), "unable to get local issuer certificate"),
                 ("signed", signed, both, None), ("leaf only", leaf, ("ca.crt",), None)]
        tries = [(name, data, ca_file, reason)
                 for name, data, ca_files, reason in cases for ca_file in ca_files]
        for number, (name, data, ca_file, reason) in enumerate(tries):
            exe.write_bytes(data)
            ca = ["--ca-file", ca_file] if ca_file else []
            lint = fields(self.tool("lint", "exe", exe, *ca, expect=2 if reason else 0).stdout)
            publish = self.publish(f"rel{number}", "--counter", "1", "--require-signed-patcher",
                                   *ca, expect=1 if reason else 0)
            if reason is None:
                self.assertEqual(lint["AUTHENTICODE"], "signed", name)
                continue
            self.assertEqual(lint["AUTHENTICODE"], "invalid", name)
            self.assertIn("Authenticode signature does not verify", lint["MESSAGE"], name)
            self.assertIn(reason, lint["MESSAGE"], name)
            self.assertIn("--require-signed-patcher: Velmor2Launcher.exe: its Authenticode "
                          "signature does not verify", publish.stderr, name)
            self.assertIn(reason, publish.stderr, name)
            self.assertFalse((self.dir / f"rel{number}").exists(), name)


def section_offset(data, name):
    """Where the named section's bytes start in a PE file."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, = struct.unpack_from("<H", data, pe + 6)
    optional_size, = struct.unpack_from("<H", data, pe + 20)
    for entry in range(pe + 24 + optional_size, pe + 24 + optional_size + 40 * count, 40):
        if data[entry:entry + 8].rstrip(b"\0") == name:
            return struct.unpack_from("<I", data, entry + 20)[0]
    raise AssertionError(f"no {name} section")


def with_bare_certificate_header(data):
    """A PE32 file whose security directory points at a WIN_CERTIFICATE header with nothing in
    it: the table is present, yet no signature is."""
    data = bytearray(data) + bytes(-len(data) % 8)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<II", data, pe + 24 + 96 + 4 * 8, len(data), 8)
    return bytes(data) + struct.pack("<IHH", 8, 0x0200, 0x0002)


class ReadmeWalkthrough(ReleaseToolCase):
    def test_operator_section_commands_publish_a_release_the_core_validates(self):
        readme = (SOURCE_DIR / "README.md").read_text()
        section = readme.split("## Publishing a release (operators)", 1)[1].split("\n## ", 1)[0]
        blocks = re.findall(r"```sh\n(.*?)```", section, re.S)
        self.assertGreaterEqual(len(blocks), 5)
        self.write("game/Velmor2.exe", b"MZ")
        self.write("game/data/maps/a.bin", os.urandom(5000))
        self.write("announce.txt", "news 1\nitem\ntitle Duyuru\nbody Hos geldiniz\n")
        self.write("updates.txt", "Yama notlari\n")
        self.write("stage.jpg", b"\xff\xd8\xff\xe0" + os.urandom(1000))
        signed_patcher_setup(self.dir)
        (self.dir / "signer.p12").rename(self.dir / "codesign.p12")
        (self.dir / "password.txt").rename(self.dir / "codesign-password.txt")
        os.makedirs(self.dir / "releases")
        script = f"set -euo pipefail\ngarun2-release() {{ '{TOOL}' \"$@\"; }}\n" + "\n".join(blocks)
        result = subprocess.run(["bash", "-c", script], cwd=self.dir, capture_output=True,
                                text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        root = (self.dir / "root.pub").read_text().strip()
        for release in ["0001", "0002", "0003"]:
            report = fields(run("validate", "--manifest", f"releases/{release}/manifest.txt",
                                "--keys", f"releases/{release}/keys.txt", "--root-key", root,
                                "--objects", "objects", cwd=self.dir).stdout)
            self.assertEqual(report.get("CODE"), "0", release)
            manifest = (self.dir / f"releases/{release}/manifest.txt").read_text()
            exe = re.search(r"^file Velmor2Launcher\.exe \S+ \S+ \S+/objects/(\S+)$", manifest,
                            re.M).group(1)
            self.assertEqual(authenticode_verifies(self.dir, f"objects/{exe}"), 0, release)
        self.assertEqual(fields(run("lint", "manifest", "releases/0003/manifest.txt",
                                    cwd=self.dir).stdout)["COUNTER"], "3")


if __name__ == "__main__":
    unittest.main()
