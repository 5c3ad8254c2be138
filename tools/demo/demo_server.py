#!/usr/bin/env python3
"""The demo's download server: the loopback HTTPS test server on the launcher's port, serving the
demo catalogue (a wixl-built package, a small program, a text file and a newer copy of the launcher)
through a manifest, at a pace slow enough to watch the progress bar.

    demo_server.py --ca-dir DIR --catalogue DIR --launcher EXE --tool EXE [--rate BYTES]

The catalogue folder is filled from the given files and tools/demo/catalogue/ (the package is
built there with wixl). Prints "serving https://..." once it answers.
"""
import argparse
import json
import os
import shutil
import subprocess

from testbed import ca, routes_folder, test_port
from testbed.server import TestServer, port_lock

HERE = os.path.dirname(os.path.abspath(__file__))
PORT = test_port()
BASE_URL = "https://127.0.0.1:%d" % PORT
FILES_PREFIX = "/download/latest/files/"

# name in the list, where it comes from, modified_at, ext. Newest first is the window's order, so
# the second row is the small program.
CATALOGUE = [
    ("QuorvelLauncher.exe", "launcher", "2026-06-02T09:00:00Z", "exe"),
    ("Quorvel-Demo-Tool-1.0.exe", "tool", "2026-05-28T14:30:00Z", "exe"),
    ("Quorvel-Demo-Package-1.0.msi", "package", "2026-05-20T10:00:00Z", "msi"),
    ("Quorvel-Readme.txt", "text", "2026-04-11T08:15:00Z", "txt"),
]


def build_package(work_dir):
    """Builds the demo's Windows Installer package with wixl; returns its path."""
    os.makedirs(work_dir, exist_ok=True)
    shutil.copyfile(os.path.join(HERE, "catalogue", "demo-package.wxs"),
                    os.path.join(work_dir, "demo-package.wxs"))
    with open(os.path.join(work_dir, "installed-by-msi.txt"), "w") as f:
        f.write("Installed by the Quorvel demo package through msiexec.\r\n")
    subprocess.run(["wixl", "-o", "demo-package.msi", "demo-package.wxs"], cwd=work_dir, check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(work_dir, "demo-package.msi")


def fill_catalogue(folder, launcher, tool):
    """Copies the demo files into the served folder; returns the manifest entries."""
    os.makedirs(folder, exist_ok=True)
    sources = {"launcher": launcher, "tool": tool,
               "package": build_package(os.path.join(folder, ".package")),
               "text": os.path.join(HERE, "catalogue", "readme.txt")}
    entries = []
    for name, kind, modified_at, ext in CATALOGUE:
        target = os.path.join(folder, name)
        shutil.copyfile(sources[kind], target)
        entries.append({"name": name, "url": BASE_URL + FILES_PREFIX + name,
                        "size": os.path.getsize(target), "modified_at": modified_at, "ext": ext})
    return entries


def make_server(ca_dir, folder, entries, rate, log_path=None):
    certs = ca.ensure_ca(ca_dir)
    server = TestServer(port=PORT, certfile=certs.server_pem, keyfile=certs.server_key,
                        log_path=log_path)
    routes_folder.register_folder(server, FILES_PREFIX, folder)
    server.configure("manifest", {"body": json.dumps({"schema": "quorvel.download.v1",
                                                      "files": entries}, indent=1)})
    server.configure(routes_folder.KEY, {"rate": rate, "step": 16384})
    return server


def parse_args(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--ca-dir", required=True)
    p.add_argument("--catalogue", required=True, help="folder the served files are copied into")
    p.add_argument("--launcher", required=True)
    p.add_argument("--tool", required=True)
    p.add_argument("--rate", type=int, default=256 * 1024, help="bytes a second per download")
    p.add_argument("--log")
    return p.parse_args(argv)


def main():
    args = parse_args()
    entries = fill_catalogue(args.catalogue, args.launcher, args.tool)
    with port_lock(PORT):
        server = make_server(args.ca_dir, args.catalogue, entries, args.rate, args.log)
        print("serving %s%s" % (server.base_url, "/download/latest/filelist.json.php"), flush=True)
        server.serve_until_interrupted()


if __name__ == "__main__":
    main()
