#!/usr/bin/env python3
"""Checks the loopback test server itself, natively: TLS, routes, switches and the request log."""
import atexit
import http.client
import json
import os
import shutil
import ssl
import tempfile
import unittest

from testbed import ca
from testbed.server import TestServer

PATH = "/download/latest/filelist.json.php"
WORK = tempfile.mkdtemp(prefix="quorvel-test-server-")
atexit.register(shutil.rmtree, WORK, True)
CERTS = ca.ensure_ca(os.path.join(WORK, "ca"))


def client_context(tls_min=None):
    context = ssl.create_default_context(cafile=CERTS.ca_pem)
    if tls_min:
        context.minimum_version = tls_min
    return context


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.log_path = os.path.join(WORK, "requests.jsonl")
        self.srv = TestServer(0, CERTS.server_pem, CERTS.server_key, log_path=self.log_path).start()

    def tearDown(self):
        self.srv.stop()

    def request(self, method="GET", path=PATH, body=None, headers=None, host="127.0.0.1"):
        connection = http.client.HTTPSConnection(host, self.srv.port, context=client_context(), timeout=30)
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        data = response.read()
        connection.close()
        return response, data

    def control(self, key, value):
        response, _ = self.request("POST", f"/_control/{key}", json.dumps(value).encode())
        self.assertEqual(response.status, 200)

    def test_default_manifest_over_verified_tls_for_both_names(self):
        for host in ("127.0.0.1", "localhost"):
            response, data = self.request(host=host)
            self.assertEqual(response.status, 200)
            self.assertEqual(json.loads(data)["schema"], "quorvel.download.v1")

    def test_switches_change_the_reply(self):
        cases = [
            ({"status": 404, "body": "gone"}, 404, b"gone"),
            ({"body_hex": "efbbbf3c"}, 200, b"\xef\xbb\xbf<"),
            ({"body": "{}", "pad_to": 10}, 200, b"{}        "),
            ({"fill": 200000, "chunked": True}, 200, b"x" * 200000),
            ({"status": 201, "body": "caf\u00e9"}, 201, "caf\u00e9".encode()),
        ]
        for config, status, body in cases:
            with self.subTest(config=config):
                self.control("manifest", config)
                response, data = self.request()
                self.assertEqual((response.status, data), (status, body))
                chunked = response.getheader("Transfer-Encoding") == "chunked"
                self.assertEqual(chunked, bool(config.get("chunked")))

    def test_truncated_reply_is_cut_short(self):
        self.control("manifest", {"body": "0123456789", "truncate_at": 4})
        connection = http.client.HTTPSConnection("127.0.0.1", self.srv.port, context=client_context())
        connection.request("GET", PATH)
        response = connection.getresponse()
        with self.assertRaises(http.client.IncompleteRead) as raised:
            response.read()
        self.assertEqual(raised.exception.partial, b"0123")
        connection.close()

    def test_log_records_requests_but_not_control(self):
        self.control("manifest", {"body": "{}"})
        self.request(headers={"User-Agent": "probe/1", "Cache-Control": "no-cache"})
        self.request(path="/nowhere?x=1")
        seen = self.srv.requests()
        self.assertEqual([(r["method"], r["path"]) for r in seen], [("GET", PATH), ("GET", "/nowhere?x=1")])
        self.assertIn(["User-Agent", "probe/1"], seen[0]["headers"])
        with open(self.log_path, encoding="utf-8") as log:
            self.assertEqual([json.loads(line)["path"] for line in log], [PATH, "/nowhere?x=1"])
        self.srv.reset()
        self.assertEqual(self.srv.requests(), [])
        self.assertEqual(self.request()[0].status, 200)

    def test_unknown_path_is_404(self):
        response, data = self.request(path="/download/latest/other.php")
        self.assertEqual((response.status, data), (404, b"no route\n"))


class TlsBoundsTest(unittest.TestCase):
    def test_tls12_only_server_refuses_a_tls13_client(self):
        with TestServer(0, CERTS.server_pem, CERTS.server_key, tls_max="1.2") as srv:
            connection = http.client.HTTPSConnection(
                "127.0.0.1", srv.port, context=client_context(ssl.TLSVersion.TLSv1_3), timeout=30)
            with self.assertRaises(ssl.SSLError):
                connection.request("GET", PATH)
                connection.getresponse()
            connection.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
