#!/usr/bin/env python3
"""plotvane serve as the public internet meets it: signed URLs, the rate
limit and /metrics, through the real command and real HTTP.

Usage: PublicServerTest.py PLOTVANE EXAMPLES_DIR
"""
import hashlib
import hmac
import http.client
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse as up

from prometheus_client.parser import text_string_to_metric_families

PLOTVANE, EXAMPLES = sys.argv[1], sys.argv[2]


class Server:
    """plotvane serve on a free port, stopped with SIGTERM at the end."""

    def __init__(self, form, *options):
        self.proc = subprocess.Popen([PLOTVANE, "serve", form, "--port", "0", "--threads", "2", *options],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        match = re.search(r":(\d+)/$", line.strip())
        if not match:
            self.proc.kill()
            raise RuntimeError("plotvane serve did not start: " + line + self.proc.stderr.read())
        self.port = int(match.group(1))

    def get(self, target, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=20)
        conn.request("GET", target, headers=headers or {})
        reply = conn.getresponse()
        body = reply.read()
        conn.close()
        return reply.status, dict(reply.getheaders()), body

    def metrics(self):
        status, _, body = self.get("/metrics")
        assert status == 200, status
        samples = {}
        for family in text_string_to_metric_families(body.decode()):
            for s in family.samples:
                samples[(s.name, tuple(sorted(s.labels.items())))] = s.value
        return samples

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=20)
        self.proc.stdout.close()
        self.proc.stderr.close()


def python_sign(key, path, params):
    """The README's Python recipe, word for word."""
    query = "&".join(sorted(up.quote(k, safe="") + "=" + up.quote(str(v), safe="") for k, v in params.items()))
    sig = hmac.new(key, (up.quote(path) + "?" + query).encode(), hashlib.sha256).hexdigest()
    return path + "?" + (query + "&" if query else "") + "sig=" + sig


class PublicServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="plotvane-public-")
        for name in ("sales.form", "sales.db"):
            shutil.copy(os.path.join(EXAMPLES, name), cls.dir)
        cls.form = os.path.join(cls.dir, "sales.form")
        cls.keyfile = os.path.join(cls.dir, "sign.key")
        with open(cls.keyfile, "w") as f:
            f.write(hashlib.sha256(b"test key").hexdigest() + "\n")
        with open(cls.keyfile, "rb") as f:
            cls.key = f.read().rstrip(b"\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def sign(self, url, *options):
        return subprocess.run([PLOTVANE, "sign", "--key", self.keyfile, *options, url], check=True,
                              capture_output=True, text=True).stdout.strip()

    def test_signed_urls_and_their_metrics(self):
        s = Server(self.form, "--sign-key", self.keyfile)
        try:
            signed = self.sign("/RevenueChart.gif?width=300&region=EU")
            status, headers, body = s.get(signed)
            self.assertEqual(status, 200)
            self.assertEqual(headers["Content-Type"], "image/gif")
            self.assertEqual(s.get(signed)[0], 200)  # from the cache
            etag = headers["ETag"]
            self.assertEqual(s.get(signed, {"If-None-Match": etag})[0], 304)
            # The parameters in another order and spelling: the same URL.
            path, query = signed.split("?")
            fields = query.split("&")
            self.assertEqual(s.get(path + "?" + "&".join(reversed(fields)))[0], 200)
            # The README's recipes sign alike.
            self.assertEqual(python_sign(self.key, "/RevenueChart.gif", {"width": 300, "region": "EU"}), signed)
            shell = subprocess.run(
                ["sh", "-c", 'key=$(cat "$1"); path=/RevenueChart.gif; query="region=EU&width=300"; '
                 'sig=$(printf "%s?%s" "$path" "$query" | openssl dgst -sha256 -mac HMAC -macopt key:"$key" '
                 '| sed "s/^.*= //"); echo "$path?$query&sig=$sig"', "sh", self.keyfile],
                check=True, capture_output=True, text=True).stdout.strip()
            self.assertEqual(shell, signed)
            refused = [
                "/RevenueChart.gif?width=300&region=EU",                    # no signature
                signed.replace("region=EU", "region=US"),                   # changed
                signed + "&height=100",                                     # added after signing
                signed[:-1] + ("0" if signed[-1] != "0" else "1"),          # wrong
                python_sign(self.key, "/RevenueChart.gif", {"exp": int(time.time()) - 5}),  # expired
                python_sign(self.key, "/RevenueChart.gif", {"exp": "soon"}),
                self.sign("/RevenueChart.png?region=EU").replace(".png", ".gif"),  # another picture
            ]
            for url in refused:
                status, _, body = s.get(url)
                self.assertEqual(status, 403, url)
                self.assertTrue(body.startswith(b"Forbidden: "), body)
            status, _, _ = s.get(self.sign("/RevenueChart.svg?region=EU", "--expires", "60"))
            self.assertEqual(status, 200)
            self.assertEqual(s.get("/")[0], 404)  # no index of unsigned links
            self.assertEqual(s.get("/healthz")[0], 200)
            self.assertEqual(s.get("/readyz")[0], 200)

            m = s.metrics()
            req = lambda fmt, status: m.get(("plotvane_requests_total", (("format", fmt), ("status", str(status)))), 0)
            self.assertEqual(req("gif", 200), 3)
            self.assertEqual(req("gif", 304), 1)
            self.assertEqual(req("gif", 403), len(refused))
            self.assertEqual(req("svg", 200), 1)
            self.assertEqual(req("none", 200), 2)
            self.assertEqual(req("none", 404), 1)
            self.assertEqual(m[("plotvane_signature_refused_total", ())], len(refused))
            self.assertEqual(m[("plotvane_cache_misses_total", ())], 2)
            self.assertEqual(m[("plotvane_cache_hits_total", ())], 3)
            self.assertEqual(m[("plotvane_cache_entries", ())], 2)
            self.assertGreater(m[("plotvane_cache_bytes", ())], 1000)
            self.assertEqual(m[("plotvane_render_duration_seconds_count", ())], 2)
            self.assertEqual(m[("plotvane_request_duration_seconds_count", ())], 8 + len(refused))
            # This one, and the one before while the server finishes with it.
            self.assertIn(m[("plotvane_requests_in_flight", ())], (1, 2))
            self.assertEqual(m[("plotvane_rate_limited_total", ())], 0)
            self.assertEqual(m[("plotvane_database_errors_total", ())], 0)
        finally:
            s.stop()

    def test_rate_limit_per_client_and_behind_a_trusted_proxy(self):
        # Slow enough that no token comes back while the test runs, however
        # busy the machine.
        s = Server(self.form, "--rate", "0.25/s", "--burst", "3", "--trusted-proxy", "127.0.0.1",
                   "--metrics-from", "127.0.0.2")
        try:
            def burst(headers):
                return [s.get("/RevenueChart.gif", headers)[0] for _ in range(4)]
            a = {"X-Forwarded-For": "203.0.113.9, 198.51.100.7"}
            self.assertEqual(burst(a), [200, 200, 200, 429])
            status, headers, _ = s.get("/RevenueChart.gif", a)
            self.assertEqual(status, 429)
            self.assertIn(headers["Retry-After"], ("3", "4"))
            # Another client behind the proxy has a bucket of its own; a
            # forged first entry does not make one.
            self.assertEqual(s.get("/RevenueChart.gif", {"X-Forwarded-For": "198.51.100.8"})[0], 200)
            self.assertEqual(s.get("/RevenueChart.gif", {"X-Forwarded-For": "1.2.3.4, 198.51.100.7"})[0], 429)
            self.assertEqual(s.get("/healthz", a)[0], 200)  # probes are never limited
            time.sleep(4.2)
            self.assertEqual(s.get("/RevenueChart.gif", a)[0], 200)
            # /metrics only to the address given.
            self.assertEqual(s.get("/metrics")[0], 403)
        finally:
            s.stop()
        self.assertEqual(s.proc.returncode, 0)

    def test_bad_options_are_named(self):
        for options, says in ((["--rate", "fast"], "--rate fast is not a number"),
                              (["--sign-key", os.path.join(self.dir, "none")], "none cannot be read"),
                              (["--trusted-proxy", "proxy.local"], "proxy.local is not a numeric"),
                              (["--burst", "3"], "--burst needs --rate")):
            r = subprocess.run([PLOTVANE, "serve", self.form, "--port", "0", *options], capture_output=True,
                               text=True, timeout=20)
            self.assertNotEqual(r.returncode, 0)
            self.assertIn(says, r.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
