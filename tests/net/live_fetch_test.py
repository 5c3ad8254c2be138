#!/usr/bin/env python3
"""Live manifest-fetch tests: the real WinHTTP of Wine against the loopback test server.

    live_fetch_test.py --probe fetch_probe.exe --trust-ca trust_ca.exe --ca-dir DIR --case NAME

The launcher under test is built for https://127.0.0.1:N, N the test port (QUORVEL_TEST_PORT),
so every case that needs the server binds that port (ctest serialises them with a resource lock).
The test CA is trusted in the Wine prefix that WINEPREFIX names before the first request; an
"untrusted" second CA never is.
"""
import argparse
import json
import os
import subprocess
import sys

from testbed import ca, test_port, wine
from testbed.checks import Checks, Failure
from testbed.server import TestServer, port_lock, wait_port_free

PORT = test_port()
HOST = "127.0.0.1"
CHECKS = Checks(quiet=True)
expect, expect_eq = CHECKS.check, CHECKS.check_eq


def manifest_url():
    return f"https://{HOST}:{PORT}/download/latest/filelist.json.php"


PREFIX = "Could not reach 127.0.0.1 \u2014 "
LIMIT = 16777216
TOO_LARGE = "Manifest is unreasonably large; refusing to read more."
HTML_TEXT = ("Server returned HTML instead of JSON. Upload filelist.json.php to /download/latest/ "
             "on the server.")
NOT_OBJECT = "JSON root is not an object."
# What follows the prefix for each way a server can't be reached: first Wine's text (its WinHTTP has
# no message for these codes, so the hexadecimal form), then the text Windows gives.
CANNOT_CONNECT = ("WinHTTP error 0x00002EFD", "A connection with the server could not be established")
HANDSHAKE_FAILED = ("WinHTTP error 0x00002F7D", "An error occurred in the secure channel support",
                    "A security error occurred")
UNTRUSTED = ("WinHTTP error 0x00002F7D", "A security error occurred")

GOOD = {
    "schema": "quorvel.download.v1",
    "files": [
        {"name": "old.txt", "url": f"https://127.0.0.1:{PORT}/f/old.txt", "size": 10,
         "modified_at": "2024-01-01T00:00:00Z", "ext": "txt"},
        {"name": "Caf\u00e9 Setup \u2014 1.msi", "url": f"https://127.0.0.1:{PORT}/f/a.msi?x=1", "size": 123456789,
         "modified_at": "2026-06-01T12:00:00Z", "ext": "msi"},
        {"name": "mid.exe", "url": f"https://127.0.0.1:{PORT}/f/mid.exe", "size": -1,
         "modified_at": "2025-06-01", "ext": "exe"},
    ],
}


class Live:
    def __init__(self, args):
        self.args = args
        self.certs = ca.ensure_ca(args.ca_dir)
        wine.ensure_trusted(args.trust_ca, self.certs)

    def probe(self, *probe_args):
        command = [wine.wine_binary(), self.args.probe, *probe_args]
        result = subprocess.run(command, capture_output=True, timeout=240)
        for line in result.stdout.decode("ascii", "replace").splitlines():
            if line.startswith("RESULT "):
                return json.loads(line[len("RESULT "):])
        raise Failure(f"probe {probe_args} gave no result (exit {result.returncode}):\n"
                      f"{result.stdout!r}\n{result.stderr[-2000:]!r}")

    def server(self, certs=None, **options):
        certs = certs or self.certs
        # Test runs of other work trees may hold the port for a while; wait for it.
        return TestServer(PORT, certs.server_pem, certs.server_key, host=HOST, bind_wait=300, **options)

    def fetch_fails_with(self, srv, config, text):
        srv.configure("manifest", config)
        result = self.probe("fetch")
        expect(not result["ok"], f"fetch succeeded for {config}")
        expect_eq(result["error"], text, f"error text for {json.dumps(config)[:120]}")

    def expect_unreachable(self, result, texts):
        expect(not result["ok"], "fetch succeeded")
        expect(result["error"] in [PREFIX + text for text in texts],
               f"error text {result['error']!r} is none of {[PREFIX + text for text in texts]!r}")


def case_good_manifest(live):
    with live.server() as srv:
        srv.configure("manifest", {"body": json.dumps(GOOD)})
        result = live.probe("fetch")
        expect(result["ok"], f"fetch failed: {result['error']}")
        expect_eq(result["schema"], "quorvel.download.v1", "schema")
        expect_eq([f["name"] for f in result["files"]], ["Caf\u00e9 Setup \u2014 1.msi", "mid.exe", "old.txt"],
                  "rows newest first")
        first = result["files"][0]
        expect_eq((first["url"], first["size"], first["modified_at"], first["ext"]),
                  (f"https://127.0.0.1:{PORT}/f/a.msi?x=1", 123456789, "2026-06-01T12:00:00Z", "msi"), "first row")
        expect_eq(result["files"][1]["size"], -1, "negative size kept")
        # The worker hands the same document to the window.
        worker = live.probe("worker")
        expect_eq(worker["message"], "ready", "worker message")
        expect_eq(len(worker["files"]), 3, "worker rows")


def case_request_headers(live):
    with live.server() as srv:
        live.probe("fetch")
        requests = srv.requests()
        expect_eq(len(requests), 1, "one request, no retry")
        request = requests[0]
        expect_eq((request["method"], request["path"]), ("GET", "/download/latest/filelist.json.php"),
                  "request line")
        headers = {}
        for name, value in request["headers"]:
            headers.setdefault(name.lower(), []).append(value)
        expect_eq(headers.get("user-agent"), ["QuorvelLauncher/1.0"], "user agent")
        expect("application/json" in ",".join(headers.get("accept", [])), f"Accept: {headers.get('accept')}")
        expect_eq(headers.get("cache-control"), ["no-cache"], "Cache-Control")
        expect_eq(headers.get("host"), [f"127.0.0.1:{PORT}"], "Host")


def case_empty_files(live):
    with live.server() as srv:
        srv.configure("manifest", {"body": '{"schema": "quorvel.download.v1", "files": []}'})
        result = live.probe("fetch")
        expect(result["ok"], f"fetch failed: {result['error']}")
        expect_eq(result["files"], [], "no rows")


def case_status(live):
    with live.server() as srv:
        # The whole 404 body is read before the status is judged.
        srv.configure("manifest", {"status": 404, "fill": 1000000})
        got = live.probe("get", manifest_url())
        expect_eq((got["status"], got["body_length"], got["error"]), (404, 1000000, ""), "404 read whole")
        live.fetch_fails_with(srv, {"status": 404, "body": "<html>not here</html>"}, "Server returned HTTP 404.")
        live.fetch_fails_with(srv, {"status": 500, "body": "oops"}, "Server returned HTTP 500.")
        live.fetch_fails_with(srv, {"status": 201, "body": json.dumps(GOOD)}, "Server returned HTTP 201.")
        worker = live.probe("worker")
        expect_eq((worker["message"], worker["null_payload"], worker["error"]),
                  ("failed", False, "Server returned HTTP 201."), "worker failure message")


def case_too_large(live):
    with live.server() as srv:
        for chunked in (False, True):
            live.fetch_fails_with(srv, {"status": 404, "fill": LIMIT + 5000000, "chunked": chunked}, TOO_LARGE)
            live.fetch_fails_with(srv, {"status": 200, "fill": LIMIT + 1, "chunked": chunked}, TOO_LARGE)
        got = live.probe("get", manifest_url())
        expect_eq((got["status"], got["error"]), (0, TOO_LARGE), "ReadStatusAndBody over the limit")


def case_exact_limit_read(live):
    with live.server() as srv:
        for chunked in (False, True):
            srv.configure("manifest", {"fill": LIMIT, "chunked": chunked})
            got = live.probe("get", manifest_url())
            expect_eq((got["status"], got["body_length"], got["error"]), (200, LIMIT, ""),
                      f"exactly the limit, chunked={chunked}")


def case_exact_limit_parse(live):
    with live.server() as srv:
        srv.configure("manifest", {"body": json.dumps(GOOD), "pad_to": LIMIT})
        result = live.probe("fetch")
        expect(result["ok"], f"fetch of exactly {LIMIT} bytes failed: {result['error']}")
        expect_eq(len(result["files"]), 3, "rows")
        live.fetch_fails_with(srv, {"body": json.dumps(GOOD), "pad_to": LIMIT + 1}, TOO_LARGE)


def case_html_and_bom(live):
    with live.server() as srv:
        live.fetch_fails_with(srv, {"body": "\r\n  \r\n\t<!DOCTYPE html><html><body>Index</body></html>",
                                    "content_type": "text/html"}, HTML_TEXT)
        live.fetch_fails_with(srv, {"body_hex": "efbbbf3c68746d6c3e"}, NOT_OBJECT)
        live.fetch_fails_with(srv, {"body_hex": "efbbbf" + json.dumps(GOOD).encode().hex()}, NOT_OBJECT)
        live.fetch_fails_with(srv, {"body": ""}, NOT_OBJECT)
        live.fetch_fails_with(srv, {"body": " \r\n\t "}, NOT_OBJECT)


def case_truncated(live):
    # Windows fails the read of a body cut short (a WinHTTP text, no prefix); Wine's WinHttpReadData
    # reports a plain end of data instead, so the cut body reaches the parser. Either way the fetch
    # fails, and never as an unreachable server.
    with live.server() as srv:
        for chunked in (False, True):
            srv.configure("manifest", {"body": json.dumps(GOOD), "truncate_at": 40, "chunked": chunked})
            got = live.probe("get", manifest_url())
            print(f"observed read (chunked={chunked}): {got}")
            expect(got["status"] == 0 or got["body_length"] == 40, f"read of a cut body: {got}")
            result = live.probe("fetch")
            print(f"observed fetch: {result['error']!r}")
            expect(not result["ok"], "a cut manifest was taken")
            expect(not result["error"].startswith("Could not reach"), f"prefix on a read: {result['error']!r}")


def case_not_listening(live):
    expect(wait_port_free(PORT, HOST), f"port {PORT} stays taken")
    result = live.probe("fetch")
    live.expect_unreachable(result, CANNOT_CONNECT)
    worker = live.probe("worker")
    expect_eq(worker["error"], result["error"], "worker posts the same text")


def case_tls13_only(live):
    with live.server(tls_min="1.3", tls_max="1.3") as srv:
        live.expect_unreachable(live.probe("fetch"), HANDSHAKE_FAILED)
        expect_eq(srv.requests(), [], "no request got through")


def case_tls11_only(live):
    with live.server(tls_min="1.1", tls_max="1.1") as srv:
        live.expect_unreachable(live.probe("fetch"), HANDSHAKE_FAILED)
        expect_eq(srv.requests(), [], "no request got through")


def case_untrusted(live):
    stranger = ca.ensure_ca(os.path.join(live.args.ca_dir, "untrusted"), "Quorvel Untrusted CA")
    with live.server(certs=stranger) as srv:
        live.expect_unreachable(live.probe("fetch"), UNTRUSTED)
        expect_eq(srv.requests(), [], "no request got through")


def case_plain_http(live):
    # Not on the launcher's port: the http scheme is taken as not secure, on the port it names.
    with TestServer(0, host=HOST) as srv:
        got = live.probe("get", f"http://{HOST}:{srv.port}/download/latest/filelist.json.php")
        expect_eq((got["split"], got["secure"], got["port"], got["status"]), (True, False, srv.port, 200),
                  "plain http request")
        expect_eq(len(srv.requests()), 1, "request reached the plain server")
    got = live.probe("get", "not a url")
    expect_eq((got["split"], got["status"]), (False, 0), "rejected URL opens nothing")


CASES = {name[len("case_"):]: function for name, function in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--trust-ca", required=True)
    parser.add_argument("--ca-dir", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    args = parser.parse_args()
    try:
        if args.case == "plain_http":
            CASES[args.case](Live(args))
        else:
            with port_lock(PORT):
                CASES[args.case](Live(args))
    except Failure as failure:
        print(f"FAIL {args.case}: {failure}")
        return 1
    print(f"PASS {args.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
