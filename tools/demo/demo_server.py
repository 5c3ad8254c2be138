#!/usr/bin/env python3
"""The demo's download server: the loopback HTTPS test server on the launcher's port, serving the
demo catalogue (a wixl-built package, a small program, a text file and a newer copy of the launcher)
through a signed list, at a pace slow enough to watch the progress bar.

    demo_server.py --ca-dir DIR --catalogue DIR --launcher EXE --tool EXE
                   --list-checker quorvel-manifest-check --list-key KEY.pem --passphrase-file F [--rate BYTES]

The list is made and signed as a vendor makes it: quorvel-manifest-check --make over the catalogue
folder, with the demo's throwaway signing key (run-demo.sh makes it under build/).

The catalogue folder is filled from the given files and tools/demo/catalogue/ (the package is
built there with wixl). Prints "serving https://..." once it answers.
"""
import argparse
import calendar
import os
import shutil
import subprocess
import time

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
    """Copies the demo files into the served folder, dated as the list shows them; returns the
    entries."""
    os.makedirs(folder, exist_ok=True)
    sources = {"launcher": launcher, "tool": tool,
               "package": build_package(os.path.join(folder, ".package")),
               "text": os.path.join(HERE, "catalogue", "readme.txt")}
    entries = []
    for name, kind, modified_at, ext in CATALOGUE:
        target = os.path.join(folder, name)
        shutil.copyfile(sources[kind], target)
        stamp = calendar.timegm(time.strptime(modified_at, "%Y-%m-%dT%H:%M:%SZ"))
        os.utime(target, (stamp, stamp))
        entries.append({"name": name, "url": BASE_URL + FILES_PREFIX + name,
                        "size": os.path.getsize(target), "modified_at": modified_at, "ext": ext})
    return entries


def signed_list(folder, checker, key, passphrase_file):
    """The catalogue's list, made and signed by the vendor's tool (hidden files, such as the package's
    build folder, are left out as on a real server)."""
    made = subprocess.run([checker, "--make", folder, "--base-url", BASE_URL + FILES_PREFIX, "--sign", key,
                           "--passphrase-file", passphrase_file], capture_output=True, check=True)
    return made.stdout


def make_server(ca_dir, folder, body, rate, log_path=None):
    certs = ca.ensure_ca(ca_dir)
    server = TestServer(port=PORT, certfile=certs.server_pem, keyfile=certs.server_key,
                        log_path=log_path)
    routes_folder.register_folder(server, FILES_PREFIX, folder)
    server.configure("manifest", {"body_hex": body.hex()})
    server.configure(routes_folder.KEY, {"rate": rate, "step": 16384})
    return server


def add_list_arguments(parser):
    parser.add_argument("--list-checker", required=True, help="the vendor's tool, which signs the list")
    parser.add_argument("--list-key", required=True, help="the signing key (encrypted PKCS#8 PEM)")
    parser.add_argument("--passphrase-file", required=True)


def parse_args(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--ca-dir", required=True)
    p.add_argument("--catalogue", required=True, help="folder the served files are copied into")
    p.add_argument("--launcher", required=True)
    p.add_argument("--tool", required=True)
    add_list_arguments(p)
    p.add_argument("--rate", type=int, default=256 * 1024, help="bytes a second per download")
    p.add_argument("--log")
    return p.parse_args(argv)


def main():
    args = parse_args()
    fill_catalogue(args.catalogue, args.launcher, args.tool)
    body = signed_list(args.catalogue, args.list_checker, args.list_key, args.passphrase_file)
    with port_lock(PORT):
        server = make_server(args.ca_dir, args.catalogue, body, args.rate, args.log)
        print("serving %s%s" % (server.base_url, "/download/latest/filelist.json.php"), flush=True)
        server.serve_until_interrupted()


if __name__ == "__main__":
    main()
