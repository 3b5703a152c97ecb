"""nginx serving a folder over HTTPS on loopback, with a configuration of ours: how an operator
would serve a published release. Used by the demo and the patcher benchmark."""
import os
import signal
import ssl
import stat
import subprocess
import sys
import time
import urllib.error
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import ca_setup  # noqa: E402  (the test CA that the host, and so Wine, trusts)

NGINX_CONF = """\
# A static web server: the published release, exactly as stored, over HTTPS on loopback.
# No "user" line: started by root, the workers run as nginx's own unprivileged default user, as a
# production server's do, so a release that only its owner may read fails here as it would there.
worker_processes 1;
pid {run}/nginx.pid;
error_log {run}/error.log;
events {{ worker_connections 64; }}
http {{
{log_format}    access_log {run}/access.log{log_name};
    client_body_temp_path {run}/body;
    proxy_temp_path {run}/proxy;
    types {{ }}
    default_type application/octet-stream;
    gzip off;
    server {{
        listen 127.0.0.1:{port} ssl;
        ssl_certificate {ca}/server.crt;
        ssl_certificate_key {ca}/server.key;
        ssl_protocols TLSv1.2 TLSv1.3;
        root {site};
{limit_rate}{cache_rules}    }}
{plain_server}}}
"""

# What a CDN in front of this server may keep: an object never changes, so for a year; everything
# else (keys.txt, manifest.txt, news, their signatures, and files/ of a release published without
# objects) changes with the next release, so for a minute, which a rollout waits out.
CACHE_RULES = """\
        location /objects/ {{
            add_header Cache-Control "public, max-age=31536000, immutable";
            try_files $uri =404;
        }}
        location / {{
            add_header Cache-Control "public, max-age={metadata_age}";
            try_files $uri =404;
        }}
"""

# The same folder over plain HTTP, for clients that have no TLS (zsync).
PLAIN_SERVER = """\
    server {{
        listen 127.0.0.1:{port};
        root {site};
{limit_rate}{cache_rules}    }}
"""


def closed_folder(site):
    """The first folder from / down to `site` that other users may not enter, or None."""
    site = Path(site).resolve()
    for folder in [*reversed(site.parents), site]:
        if not folder.stat().st_mode & stat.S_IXOTH:
            return folder
    return None


class StaticServer:
    """nginx serving `site` on 127.0.0.1:`port` for as long as the `with` block runs; `probe` is a
    URL under it that answers once the server is up. Its configuration and logs live in `run`.
    With `plain_port` the same folder is served over plain HTTP there too; with `log_format` (an
    nginx log_format string) access.log is written in it instead of nginx's "combined". With `rate`
    (nginx's limit_rate syntax: bytes a second, 20m for 20 MiB) each response is sent no faster,
    on both ports: on loopback bytes cost next to nothing, on a real line they cost time.
    `metadata_age` is the Cache-Control lifetime, in seconds, of every name outside /objects/."""

    def __init__(self, site, run, port, probe, plain_port=None, log_format=None, rate=None,
                 metadata_age=60):
        self.site, self.run, self.port, self.probe = site and Path(site), Path(run), port, probe
        self.plain_port, self.log_format, self.rate = plain_port, log_format, rate
        self.cache_rules = CACHE_RULES.format(metadata_age=metadata_age)
        self.process = None

    def configuration(self):
        """The text of nginx.conf."""
        log_format = log_name = plain_server = limit_rate = ""
        if self.rate:
            limit_rate = f"        limit_rate {self.rate};\n"
        if self.log_format:
            log_format, log_name = f"    log_format ours '{self.log_format}';\n", " ours"
        if self.plain_port:
            plain_server = PLAIN_SERVER.format(port=self.plain_port, site=self.site,
                                               limit_rate=limit_rate, cache_rules=self.cache_rules)
        return NGINX_CONF.format(run=self.run, port=self.port, ca=ca_setup.ensure(),
                                 site=self.site, log_format=log_format, log_name=log_name,
                                 plain_server=plain_server, limit_rate=limit_rate,
                                 cache_rules=self.cache_rules)

    def __enter__(self):
        self.run.mkdir(parents=True, exist_ok=True)
        self.stop_leftover()
        conf = self.run / "nginx.conf"
        if os.geteuid() == 0 and self.site:
            private = closed_folder(self.site)
            if private:
                sys.exit(f"nginx's workers run unprivileged and cannot enter {private} "
                         f"(mode {stat.S_IMODE(private.stat().st_mode):o}): serve {self.site} "
                         f"from a folder every user may enter")
        conf.write_text(self.configuration())
        self.process = subprocess.Popen(["nginx", "-c", str(conf), "-p", str(self.run),
                                         "-g", "daemon off;"])
        context = ssl.create_default_context(cafile=str(ca_setup.ensure() / "ca.crt"))
        for _ in range(100):
            try:
                urllib.request.urlopen(self.probe, context=context, timeout=2)
                return self
            except urllib.error.HTTPError as error:
                self.__exit__()
                sys.exit(f"nginx answers {self.probe} with HTTP {error.code}; see "
                         f"{self.run / 'error.log'}")
            except OSError:
                if self.process.poll() is not None:
                    sys.exit(f"nginx did not start; see {self.run / 'error.log'}")
                time.sleep(0.1)
        self.__exit__()
        sys.exit(f"nginx does not answer at {self.probe}")

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=30)

    def stop_leftover(self):
        """An nginx of an interrupted run would still hold the port."""
        try:
            os.kill(int((self.run / "nginx.pid").read_text()), signal.SIGTERM)
            time.sleep(0.5)
        except (OSError, ValueError):
            pass
