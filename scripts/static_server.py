"""nginx serving a folder over HTTPS on loopback, with a configuration of ours: how an operator
would serve a published release. Used by the demo and the patcher benchmark."""
import os
import pwd
import signal
import ssl
import subprocess
import sys
import time
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import ca_setup  # noqa: E402  (the test CA that the host, and so Wine, trusts)

NGINX_CONF = """\
# A static web server: the published release, exactly as stored, over HTTPS on loopback.
{user}worker_processes 1;
pid {run}/nginx.pid;
error_log {run}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log {run}/access.log;
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
        location / {{ try_files $uri =404; }}
    }}
}}
"""


class StaticServer:
    """nginx serving `site` on 127.0.0.1:`port` for as long as the `with` block runs; `probe` is a
    URL under it that answers once the server is up. Its configuration and logs live in `run`."""

    def __init__(self, site, run, port, probe):
        self.site, self.run, self.port, self.probe = Path(site), Path(run), port, probe
        self.process = None

    def __enter__(self):
        self.run.mkdir(parents=True, exist_ok=True)
        self.stop_leftover()
        conf = self.run / "nginx.conf"
        # Started by root, nginx would serve as "nobody", who may not read the published release
        # (the release tool publishes private folders): serve as the user who owns it.
        user = f"user {pwd.getpwuid(os.getuid()).pw_name};\n" if os.geteuid() == 0 else ""
        conf.write_text(NGINX_CONF.format(user=user, run=self.run, port=self.port,
                                          ca=ca_setup.ensure(), site=self.site))
        self.process = subprocess.Popen(["nginx", "-c", str(conf), "-p", str(self.run),
                                         "-g", "daemon off;"])
        context = ssl.create_default_context(cafile=str(ca_setup.ensure() / "ca.crt"))
        for _ in range(100):
            try:
                urllib.request.urlopen(self.probe, context=context, timeout=2)
                return self
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
