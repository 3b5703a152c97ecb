"""Releases published by the real release tool into the objects folder that all releases share,
served by nginx as an operator serves them: a rollout through a caching CDN edge, and a patcher of
an older build that installs from such a release and replaces itself with the patcher it holds."""
import collections
import contextlib
import os
import random
import re
import socket
import ssl
import subprocess
import sys
import time
import urllib.parse
import urllib.request
from pathlib import Path

import ca_setup
import release_builder as rb
import update_scenario
from patcher_run import EXE, Sandbox, kept_patcher
from update_scenario import KEYS, NOW, UpdateScenario

SOURCE_DIR = Path(os.environ.get("GARUN2_SOURCE_DIR", Path(__file__).resolve().parents[2]))
sys.path.insert(0, str(SOURCE_DIR / "scripts"))
from static_server import StaticServer  # noqa: E402

TOOL = SOURCE_DIR / "build" / "native" / "tools" / "release" / "garun2-release"
EXPIRES = "2030-01-01T00:00:00Z"
# The origin's lifetime for everything outside /objects/: the minute of production, shortened so
# the scenario waits it out twice in about a minute, and still long enough that a publish and an
# update under a loaded machine's Wine end well within it.
METADATA_AGE = 30

# A CDN edge: keeps whatever the origin's Cache-Control allows, for as long as it allows, and
# fetches each name from the origin once however many players ask for it at the same moment.
EDGE_CONF = """\
worker_processes 1;
pid {run}/nginx.pid;
error_log {run}/error.log;
events {{ worker_connections 64; }}
http {{
    log_format edge '$request_uri $upstream_cache_status';
    access_log {run}/access.log edge;
    client_body_temp_path {run}/body;
    proxy_temp_path {run}/proxy;
    proxy_cache_path {run}/cache keys_zone=edge:1m;
    server {{
        listen 127.0.0.1:{port} ssl;
        ssl_certificate {ca}/server.crt;
        ssl_certificate_key {ca}/server.key;
        location = /up {{ return 204; }}
        location / {{
            proxy_pass https://127.0.0.1:{origin};
            proxy_http_version 1.1;
            proxy_cache edge;
            proxy_cache_lock on;
            add_header X-Cache-Status $upstream_cache_status always;
        }}
    }}
}}
"""


class Edge(StaticServer):
    def __init__(self, run, port, origin_port):
        super().__init__(None, run, port, f"https://127.0.0.1:{port}/up")
        self.origin_port = origin_port

    def configuration(self):
        return EDGE_CONF.format(run=self.run, port=self.port, origin=self.origin_port,
                                ca=ca_setup.ensure())


def tool(*args):
    done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True,
                          timeout=120)
    if done.returncode != 0:
        raise AssertionError(f"garun2-release {args}\n{done.stdout}{done.stderr}")
    return dict(re.findall(r"^([A-Z_]+): (.*)$", done.stdout, re.M))


def setUpModule():
    if not TOOL.is_file():
        raise AssertionError(f"{TOOL} is missing: build it with `bash scripts/build.sh native`")
    update_scenario.make_keys()
    tool("registry", KEYS["folder"] / "keys.txt", "--key", KEYS["root"].pem,
         "--root-key", KEYS["root"].public_b64, "--expires", EXPIRES, "--now", NOW,
         "--add", f"release-1={KEYS['release'].public_b64}")


def free_ports(count):
    probes = [socket.create_server(("127.0.0.1", 0)) for _ in range(count)]
    with contextlib.ExitStack() as held:
        return [held.enter_context(probe).getsockname()[1] for probe in probes]


def access_log(run):
    return (Path(run) / "access.log").read_text().splitlines()


class PublishedWithObjects(UpdateScenario):
    """The operator's web root: site/objects, site/releases/NNNN and site/live, a link to one."""

    def setUp(self):
        self.box = Sandbox(self.exe)
        self.box.root.chmod(0o755)  # nginx's workers enter it for the site and the edge's cache
        self.site, self.data, self.game = (self.box.root / name
                                           for name in ("site", "data", "game"))
        self.origin_port, self.edge_port = free_ports(2)
        self.origin = f"https://127.0.0.1:{self.origin_port}"
        self.edge = f"https://127.0.0.1:{self.edge_port}"

    def tearDown(self):
        self.box.cleanup()

    def serve_origin(self):
        return StaticServer(self.site, self.box.root / "origin", self.origin_port,
                            f"{self.origin}/live/keys.txt", log_format="$request_uri",
                            metadata_age=METADATA_AGE)

    def publish_with_objects(self, number, files, host):
        """Release `number` of `files` with its objects served by `host`, then the switch of live:
        publish has already stored the objects, so the link is the whole rollout."""
        game = self.box.root / f"game-{number}"
        rb.install_files(game, files)
        releases = self.site / "releases"
        releases.mkdir(parents=True, exist_ok=True)
        order = ["--previous", releases / f"{number - 1:04}"] if number > 1 else ["--counter", 1]
        report = tool("publish", "--out", releases / f"{number:04}", "--game", game,
                      "--keys", KEYS["folder"] / "keys.txt", "--key", KEYS["release"].pem,
                      "--root-key", KEYS["root"].public_b64, "--base-url", f"{host}/live",
                      "--version", f"1.0.{number}", "--channel", "live", "--expires", EXPIRES,
                      "--now", NOW, "--objects", self.site / "objects",
                      "--objects-url", f"{host}/objects", *order)
        link = self.site / "live.new"
        link.symlink_to(f"releases/{number:04}")
        link.replace(self.site / "live")
        return report

    def object_paths(self):
        manifest = (self.site / "live" / "manifest.txt").read_text()
        return [urllib.parse.urlsplit(url).path
                for url in re.findall(r"^file \S+ \S+ \S+ (\S+)$", manifest, re.M)]


class RolloutBehindAnEdge(PublishedWithObjects):
    def test_players_stay_on_the_cached_release_until_it_expires_then_move_on_whole(self):
        rng = random.Random(1)
        world = bytearray(rng.randbytes(3 << 19))  # with a chunk index: 1 MiB or more
        first = {"Velmor2.exe": b"MZ game 1", "data/common.bin": rng.randbytes(100000),
                 "data/world.pak": bytes(world)}
        world[700000:704096] = rng.randbytes(4096)
        second = dict(first, **{"Velmor2.exe": b"MZ game 2", "data/world.pak": bytes(world)})
        live = f"{self.edge}/live"
        self.publish_with_objects(1, first, self.edge)
        edge_run = self.box.root / "edge"
        with self.serve_origin(), Edge(edge_run, self.edge_port, self.origin_port):
            self.assertUpdated(self.update(base_url=live), first)

            # The longest an edge can hold release 1 back: its copies of the metadata expire and
            # are fetched again the moment before live switches.
            time.sleep(METADATA_AGE + 1)
            context = ssl.create_default_context(cafile=str(ca_setup.ensure() / "ca.crt"))
            primed = time.monotonic()
            for name in ("keys.txt", "keys.txt.sig", "manifest.txt", "manifest.txt.sig"):
                with urllib.request.urlopen(f"{live}/{name}", context=context) as answer:
                    self.assertEqual(answer.headers["X-Cache-Status"], "EXPIRED", name)
            report = self.publish_with_objects(2, second, self.edge)
            self.assertEqual((report["OBJECTS_ADDED"], report["OBJECTS_REUSED"]), ("2", "1"))

            # The edge answers with what it holds: release 1, whose objects are all still there.
            stale = self.update(base_url=live)
            seconds = time.monotonic() - primed
            self.assertEqual((stale["_code"], stale["VERSION"], stale["DOWNLOAD_COUNT"]),
                             (0, "1.0.1", "0"), f"{seconds:.1f} s after the edge fetched it")
            self.assertInstalled(first)

            time.sleep(max(0.0, primed + METADATA_AGE + 2 - time.monotonic()))
            fresh = self.update(base_url=live)
            self.assertEqual((fresh["_code"], fresh["VERSION"], fresh["DOWNLOAD_CODE"]),
                             (0, "1.0.2", "0"), fresh)
            self.assertInstalled(second)

            # A newcomer takes every object from the edge's copy.
            self.data, self.game = self.box.root / "data-2", self.box.root / "game-new"
            self.assertUpdated(self.update(base_url=live), second)
        # The player of release 1 took the new world.pak as its delta, so the newcomer is the
        # first to ask for the whole object.
        objects = self.object_paths()
        world = rb.sha(second["data/world.pak"])
        delta = f"/objects/{world[:2]}/{world}.from-{rb.sha(first['data/world.pak'])}"
        newcomer_log = access_log(edge_run)[-len(objects):]
        self.assertEqual(sorted(newcomer_log), sorted(
            f"{path} {'MISS' if world in path else 'HIT'}" for path in objects))
        fetched = collections.Counter(access_log(self.box.root / "origin"))
        self.assertEqual({path: fetched[path] for path in [*objects, delta]},
                         dict.fromkeys([*objects, delta], 1))


class OlderPatcher(PublishedWithObjects):
    """A patcher in players' hands: the one from before shards kept as test data (built from
    ab90b8e), or the build GARUN2_OLD_EXE names."""
    exe = os.environ.get("GARUN2_OLD_EXE") or kept_patcher("old-patcher")

    def test_installs_and_replaces_itself_with_the_patcher_of_the_release(self):
        # The second release has deltas from the first, which such a patcher never asks for.
        world = random.Random(3).randbytes(300000)
        self.publish_with_objects(1, {"Velmor2Launcher.exe": self.box.exe.read_bytes(),
                                      "Velmor2.exe": b"MZ game", "data/world.pak": world},
                                  self.origin)
        new_patcher = EXE.read_bytes() + b"\r\nnext build\r\n"
        files = {"Velmor2Launcher.exe": new_patcher, "Velmor2.exe": b"MZ game",
                 "data/world.pak": world[:1000] + b"rebuilt" + world[1000:]}
        live = f"{self.origin}/live"
        with self.serve_origin():
            self.assertEqual(self.update(base_url=live)["_code"], 0)
            published = self.publish_with_objects(2, files, self.origin)
            self.assertEqual(published["DELTAS_ADDED"], "2", published)
            fields = self.update(base_url=live)
            self.assertEqual((fields["_code"], fields.get("SELF_UPDATE_READY")), (0, "yes"), fields)
            self.assertInstalled({p: files[p] for p in ("Velmor2.exe", "data/world.pak")})
            self.apply_self_update(new_patcher)
            after = self.update(base_url=live)
            self.assertEqual((after["_code"], after["SELF_UPDATE"]), (0, "no"), after)
