#!/usr/bin/env python3
"""Times one download size from the loopback test server: DownloadFile under Wine against curl,
over HTTPS (and plain HTTP, which needs a checksum, to show what TLS costs), with and without a
checksum to verify, plus
WinHTTP reads without the disk. Prints the median of several rounds, the progress message count and
the memory growth."""
import argparse
import hashlib
import os
import statistics
import subprocess
import tempfile
import time

from testbed import ca, wine
from testbed.routes_download import pattern
from testbed.server import TestServer

MIB = 1024 * 1024


def pattern_digest(size):
    digest = hashlib.sha256()
    for offset in range(0, size, 251 * 1024):
        digest.update(pattern(offset, min(251 * 1024, size - offset)))
    return digest.hexdigest()


def run_bench(exe, mode, url, destination=None, extra=None):
    command = [wine.wine_binary(), exe, mode, url] + [a for a in (destination, extra) if a]
    result = subprocess.run(command, capture_output=True, text=True, timeout=900)
    if result.returncode != 0:
        raise RuntimeError(f"{mode} {url}: {result.stdout}{result.stderr}")
    figures = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
    return {k: float(v) for k, v in figures.items()}


def run_floor(exe, url, destination, warm_up=None, added=None):
    """The bare WinHTTP read-and-write loop (download_floor.exe): the platform's floor, or with one
    piece of the launcher's download added ("mark" or "post")."""
    command = [wine.wine_binary(), exe, url, destination] + ([warm_up] if warm_up else [])
    command += [added] if added else []
    result = subprocess.run(command, capture_output=True, text=True, timeout=900)
    if result.returncode != 0:
        raise RuntimeError(f"floor {url}: {result.stdout}{result.stderr}")
    return {k: float(v) for k, v in (line.split("=", 1) for line in result.stdout.split() if "=" in line)}


def run_curl(url, cafile, destination, extra=()):
    start = time.perf_counter()
    subprocess.run(["curl", "-sS", "--fail", "--cacert", cafile, *extra, "-o", destination, url],
                   check=True)
    seconds = time.perf_counter() - start
    return {"bytes": os.path.getsize(destination), "seconds": seconds}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--trust-exe", required=True)
    parser.add_argument("--ca-dir", required=True)
    parser.add_argument("--bytes", type=int, default=256 * MIB)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--floor-exe")
    args = parser.parse_args()

    certs = ca.ensure_ca(args.ca_dir)
    wine.ensure_trusted(args.trust_exe, certs)
    work = tempfile.mkdtemp(prefix="download-bench-", dir=os.path.dirname(os.path.abspath(args.exe)))
    target = os.path.join(work, "file.bin")
    route = f"/files/body/{args.bytes}"
    results = {}

    def record(name, figures):
        assert int(figures["bytes"]) == args.bytes, (name, figures)
        results.setdefault(name, []).append(figures)

    digest = pattern_digest(args.bytes)
    with TestServer(port=0, certfile=certs.server_pem, keyfile=certs.server_key) as tls, \
            TestServer(port=0) as plain:
        https, http = tls.base_url + route, plain.base_url + route
        warm_up = tls.base_url + "/files/body/1048576"
        for _ in range(args.rounds):
            record("DownloadFile https", run_bench(args.exe, "file", https, windows_path(target)))
            os.remove(target)
            record("DownloadFile https, checksum",
                   run_bench(args.exe, "checked", https, windows_path(target), digest))
            os.remove(target)
            record("DownloadFile https, warm", run_bench(args.exe, "file", https, windows_path(target),
                                                         warm_up))
            os.remove(target)
            if args.floor_exe:
                record("floor https", run_floor(args.floor_exe, https, windows_path(target)))
                os.remove(target)
                record("floor https, warm", run_floor(args.floor_exe, https, windows_path(target), warm_up))
                os.remove(target)
                for added in ("mark", "post"):
                    record("floor https, warm, " + added,
                           run_floor(args.floor_exe, https, windows_path(target), warm_up, added))
                    os.remove(target)
            record("curl https", run_curl(https, certs.ca_pem, target))
            os.remove(target)
            record("curl https TLS 1.2", run_curl(https, certs.ca_pem, target,
                                                  ("--tlsv1.2", "--tls-max", "1.2")))
            os.remove(target)
            record("WinHTTP reads only, https", run_bench(args.exe, "read", https))
            small = run_bench(args.exe, "file", warm_up, windows_path(target))
            os.remove(target)
            results.setdefault("small cold", []).append(small)
            # Plain http is downloaded only with a checksum.
            record("DownloadFile http, checksum",
                   run_bench(args.exe, "checked", http, windows_path(target), digest))
            os.remove(target)
            record("curl http", run_curl(http, certs.ca_pem, target))
            os.remove(target)
    os.rmdir(work)

    def throughput(name):
        return args.bytes / MIB / statistics.median(f["seconds"] for f in results[name])

    def paired(name, base):
        """The ratio of two figures taken in the same round, for each round: load that shifts between
        rounds moves both sides of a pair alike."""
        ratios = sorted(b["seconds"] / a["seconds"] for a, b in zip(results[name], results[base]))
        return "median %.3f, from %.3f to %.3f" % (statistics.median(ratios), ratios[0], ratios[-1])

    print(f"download of {args.bytes} bytes ({args.bytes / MIB:.0f} MiB), median of {args.rounds} rounds")
    for name in results:
        if name == "small cold":
            continue
        print(f"  {name:28s} {throughput(name):8.1f} MiB/s")
    ours, curl = throughput("DownloadFile https"), throughput("curl https")
    print(f"  ratio DownloadFile / curl (https): {ours / curl:.3f}")
    print(f"  ratio DownloadFile with checksum / without (https): "
          f"{throughput('DownloadFile https, checksum') / ours:.3f}")
    print(f"  ratio DownloadFile after warm-up / curl (https): {throughput('DownloadFile https, warm') / curl:.3f}")
    print(f"  ratio DownloadFile / curl (https, both TLS 1.2): {ours / throughput('curl https TLS 1.2'):.3f}")
    print(f"  ratio DownloadFile with checksum / curl (http): "
          f"{throughput('DownloadFile http, checksum') / throughput('curl http'):.3f}")
    checked = results["DownloadFile https, checksum"]
    print(f"  peak resident memory growth with a checksum: {max(f['peak_growth'] for f in checked) / MIB:.2f} MiB")
    if args.floor_exe:
        print(f"  ratio DownloadFile / floor (https): {ours / throughput('floor https'):.3f}")
        print(f"  ratio DownloadFile / floor (https, warm): "
              f"{throughput('DownloadFile https, warm') / throughput('floor https, warm'):.3f} (target: at least 0.9)"
              f"; round by round {paired('DownloadFile https, warm', 'floor https, warm')}")
        for added, what in (("mark", "the delete-on-close mark"), ("post", "a progress message per 64 KiB")):
            print(f"  floor with {what} / floor (https, warm): "
                  f"{throughput('floor https, warm, ' + added) / throughput('floor https, warm'):.3f}"
                  f"; round by round {paired('floor https, warm, ' + added, 'floor https, warm')}")
    runs = results["DownloadFile https"]
    print(f"  progress messages posted: {int(max(f['progress_messages'] for f in runs))}"
          f" (at most {args.bytes // 65536 + 1} allowed)")
    growth = max(f["peak_growth"] for f in runs)
    print(f"  peak resident memory growth during the download: {growth / MIB:.2f} MiB"
          f" (working set before {runs[0]['working_set_before'] / MIB:.1f} MiB; includes loading and"
          f" starting WinHTTP and TLS on first use)")
    small = max(f["peak_growth"] for f in results["small cold"])
    print(f"  the same for a 1 MiB download: {small / MIB:.2f} MiB")
    warm = max(f["peak_growth"] for f in results["DownloadFile https, warm"])
    print(f"  the same after a 1 MiB warm-up download in the process: {warm / MIB:.2f} MiB")


if __name__ == "__main__":
    main()
