#!/usr/bin/env python3
"""The real service on a free loopback port, driven over HTTP: every page, the share endpoint with
good and hostile forms, languages, duplicates, and a clean stop with nothing lost. With
TALLYHIVE_PG_URL set (with_postgres.sh) the service keeps its shares in that PostgreSQL database.

usage: service_http_test.py PATH-TO-tallyhive-service
"""
import hashlib
import http.client
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

PROGRAM = None
SALT = "3kq52xb8m4"
KEYS = ["system_score", "cpu_score", "memory_score", "gpu_score", "game_score", "disk_score",
        "system_information", "machine_information", "cpu_information", "memory_information",
        "gpu_information", "game_information", "disk_information", "pass_code", "captcha"]


def encode(text):
    """Every byte escaped, as the program does."""
    return "".join("%%%02X" % b for b in text.encode("utf-8"))


def pass_code(stamp):
    return hashlib.md5((stamp + SALT).encode()).hexdigest()


def local_stamp():
    return time.strftime("%Y%m%d%H%M", time.localtime())


# Every test shares a processor name of its own, so counting its shares works on a store that other
# tests use too.
CPU = "Intel(R) Core(TM) i7-2600"


def form(**overrides):
    values = {"system_score": "5.9", "cpu_score": "7.4", "memory_score": "7.5", "gpu_score": "5.9",
              "game_score": "6.1", "disk_score": "5.9", "system_information": "Windows 7 Ultimate",
              "machine_information": "Demo Workstation", "cpu_information": CPU,
              "memory_information": "8.0GB", "gpu_information": "GeForce GTX 560",
              "game_information": "1.0GB, DirectX 11", "disk_information": "ST1000DM003",
              "pass_code": pass_code(local_stamp()), "captcha": ""}
    values.update(overrides)
    return "&".join(k + "=" + (values[k] if k == "pass_code" else encode(values[k]))
                    for k in KEYS if values.get(k) is not None)


def store_args():
    url = os.environ.get("TALLYHIVE_PG_URL")
    return ["--store", url] if url else []


class Service:
    def __init__(self, data, *extra):
        # The log goes to a file: a pipe nobody reads would fill up and hold the service still.
        self.log_path = os.path.join(data, "service.log")
        self.log = open(self.log_path, "a")
        self.process = subprocess.Popen([PROGRAM, "--port", "0", "--data", data, *store_args(), *extra],
                                        stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.process.stdout.readline()
        if not line:
            self.process.wait()
            self.log.close()
            with open(self.log_path) as log:
                raise RuntimeError("no port: " + log.read())
        self.port = int(line.split()[0])

    def request(self, method, path, body=None, headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        data = response.read().decode("utf-8")
        connection.close()
        return response.status, dict(response.getheaders()), data

    def get(self, path, **headers):
        return self.request("GET", path, headers=headers)

    def post(self, body, **headers):
        headers.setdefault("Content-Type", "application/x-www-form-urlencoded")
        return self.request("POST", "/as/responses/add/tallyhive", body, headers)

    def count(self):
        status, _, body = self.get("/software/tallyhive/api/shares?limit=200&cpu=" + urllib.parse.quote(CPU))
        assert status == 200
        return len(json.loads(body))

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=15)
        finally:
            self.process.stdout.close()
            self.log.close()


class ServiceTest(unittest.TestCase):
    def setUp(self):
        global CPU
        CPU = "Intel(R) Core(TM) i7-2600 %d %s" % (os.getpid(), self.id().split(".")[-1])
        self.data = tempfile.mkdtemp(prefix="tallyhive-service-")
        self.service = Service(self.data)

    def tearDown(self):
        if self.service.process.poll() is None:
            self.service.stop()
        shutil.rmtree(self.data, ignore_errors=True)

    def test_pages_the_program_reads(self):
        base = "/software/tallyhive/"
        status, _, page = self.service.get(base + "start.php?lang=en")
        self.assertEqual(status, 200)
        self.assertIn('id="version" value="2.00"', page)
        self.assertIn('id="load_lastest_result"', page)
        for name in ("result_20.php", "result_profile_20.php"):
            status, headers, page = self.service.get(base + name)
            self.assertEqual(status, 200)
            self.assertRegex(page, r'id="server_datetime" value="\d{12}"')
            self.assertIn("setBarValue", page)
            self.assertEqual(headers.get("Cache-Control"), "no-store")
        status, _, page = self.service.get(base)
        self.assertEqual(status, 200)
        self.assertIn("Agreement", page)
        status, _, _ = self.service.get(base + "nothing.php")
        self.assertEqual(status, 404)

    def test_downloads_offered_are_the_ones_there(self):
        base = "/software/tallyhive/"
        _, _, page = self.service.get(base)
        self.assertNotIn("downloads/", page, "no build has been put in place yet")
        with open(os.path.join(self.data, "downloads", "tallyhive-linux.tar.gz"), "wb") as f:
            f.write(b"linux build")
        _, _, page = self.service.get(base + "?lang=ja")
        self.assertIn('href="downloads/tallyhive-linux.tar.gz"', page)
        self.assertNotIn("tallyhive-windows.zip", page)
        connection = http.client.HTTPConnection("127.0.0.1", self.service.port, timeout=10)
        connection.request("GET", base + "downloads/tallyhive-linux.tar.gz")
        response = connection.getresponse()
        self.assertEqual((response.status, response.read()), (200, b"linux build"))
        connection.close()

    def test_connections_arriving_together_are_queued(self):
        # The kernel drops connections beyond the listening socket's queue; a queue of a handful would
        # stall or lose clients that open their connections together.
        out = subprocess.run(["ss", "-ltnH", "sport = :%d" % self.service.port], capture_output=True,
                             text=True, check=True).stdout.split()
        self.assertEqual(out[0], "LISTEN")
        self.assertGreaterEqual(int(out[2]), 128, "listen queue length")

    def test_command_line(self):
        for args, why in [(["--latest-version", "2.0.0.1"], "release form"), (["--latest-version", "abc"], "release form"),
                          (["--port", "70000"], "not a port"), (["--bogus", "1"], "unknown option"),
                          (["--port"], "missing value")]:
            with self.subTest(args=args):
                out = subprocess.run([PROGRAM, "--port", "0", "--data", self.data, *args], capture_output=True, text=True,
                                     timeout=30)
                self.assertEqual(out.returncode, 2)
                self.assertIn(why, out.stderr)
        newer = Service(self.data, "--latest-version", "2.10")
        try:
            _, _, page = newer.get("/software/tallyhive/start.php")
            self.assertIn('id="version" value="2.10"', page)
        finally:
            newer.stop()

    def test_language_is_remembered(self):
        status, headers, page = self.service.get("/software/tallyhive/start.php?lang=ja")
        self.assertIn('lang="ja"', page)
        cookie = headers["Set-Cookie"].split(";")[0]
        _, _, page = self.service.get("/software/tallyhive/start.php", Cookie=cookie)
        self.assertIn('lang="ja"', page, "home has no language in its address")
        _, _, page = self.service.get("/software/tallyhive/start.php")
        self.assertIn('lang="en"', page)

    def test_share_round_trip(self):
        hostile = '<script>alert("x")</script> & 日本'
        status, headers, _ = self.service.post(form(machine_information=hostile))
        self.assertEqual(status, 303)
        location = headers["Location"]
        self.assertIn("result_profile_20.php", location)
        share_id = urllib.parse.parse_qs(urllib.parse.urlparse(location).query)["id"][0]
        status, _, page = self.service.get(location)
        self.assertEqual(status, 200)
        self.assertIn('id="open_page" name="%s"' % share_id, page)
        self.assertRegex(page, r'id="server_datetime" value="\d{12}"')

        for path in ("share.php?id=%s&lang=ja" % share_id, "share.php?id=%s%%26lang=ja" % share_id):
            status, headers, page = self.service.get("/software/tallyhive/" + path)
            self.assertEqual(status, 200, path)
            self.assertIn('lang="ja"', page)
            self.assertNotIn("<script>alert", page)
            self.assertIn("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; 日本", page)
            self.assertIn("default-src 'none'", headers.get("Content-Security-Policy", ""))
            self.assertEqual(len(re.findall(r"全 \d+ 件中 \d+ 位", page)), 6, "a rank for each score")
        status, _, body = self.service.get("/software/tallyhive/api/shares/" + share_id)
        self.assertEqual(json.loads(body)["machine_information"], hostile)
        status, _, page = self.service.get("/software/tallyhive/shares.php?cpu=" + urllib.parse.quote(CPU))
        self.assertIn("share.php?id=" + share_id, page)

        # The same post again within the minute is the same share; a server stamp works too.
        status, headers2, _ = self.service.post(form(machine_information=hostile))
        self.assertEqual(headers2["Location"], location)
        _, _, page = self.service.get("/software/tallyhive/result_20.php")
        stamp = page.split('id="server_datetime" value="')[1][:12]
        status, _, _ = self.service.post(form(disk_score="6.0", pass_code=pass_code(stamp)))
        self.assertEqual(status, 303)
        self.assertEqual(self.service.count(), 2)

    def test_hostile_forms_store_nothing(self):
        cases = {
            "a wrong pass code": form(pass_code="0" * 32),
            "a pass code of yesterday": form(pass_code=pass_code(
                time.strftime("%Y%m%d%H%M", time.gmtime(time.time() - 2 * 86400)))),
            "a missing key": form(captcha=None),
            "a score out of range": form(cpu_score="10.0"),
            "a score with markup": form(cpu_score="7.9<img src=x onerror=alert(1)>"),
            "an over-long text": form(disk_information="x" * 5000),
            "an invalid percent escape": form() + "&x=%G1",
            "invalid UTF-8": form().replace("disk_information=" + encode("ST1000DM003"),
                                            "disk_information=%C3%28"),
            "nothing at all": "",
        }
        for why, body in cases.items():
            status, headers, page = self.service.post(body)
            self.assertIn(status, (400, 403, 413), why)
            self.assertIn("not shared", page, why)
        status, _, page = self.service.post(form(cpu_score="99"), Cookie="tallyhive_lang=ja")
        self.assertIn("共有されませんでした", page)
        self.assertIn("スコア「cpu_score」が 1.0 から 9.9 までの数値ではありません", page, "the reason in Japanese too")
        big = form(disk_information="x" * 200000)
        status, _, _ = self.service.post(big)
        self.assertGreaterEqual(status, 400)
        self.assertEqual(self.service.count(), 0)

    def test_stop_keeps_every_share(self):
        ids = set()
        for n in range(20):
            status, headers, _ = self.service.post(form(machine_information="PC %d" % n))
            self.assertEqual(status, 303)
            ids.add(headers["Location"])
        self.assertEqual(self.service.stop(), 0)
        self.service = Service(self.data)
        self.assertEqual(self.service.count(), 20)

    def test_stop_right_after_start(self):
        for _ in range(10):
            quick = Service(self.data)
            self.assertEqual(quick.stop(), 0, "a stop the moment the port is known ends the service")

    def test_stop_under_load_keeps_every_answered_share(self):
        answered, attempts, lock = [], [0], threading.Lock()
        stop = threading.Event()

        def client(number):
            n = 0
            while not stop.is_set() and n < 400:
                n += 1
                with lock:
                    attempts[0] += 1
                try:
                    status, headers, _ = self.service.post(form(machine_information="PC %d-%d" % (number, n)))
                except OSError:
                    return  # the service has stopped listening
                if status == 303:
                    with lock:
                        answered.append(headers["Location"])
        threads = [threading.Thread(target=client, args=(c,)) for c in range(6)]
        for t in threads:
            t.start()
        time.sleep(0.5)
        self.assertEqual(self.service.stop(), 0)
        stop.set()
        for t in threads:
            t.join()
        self.assertGreater(len(answered), 0)
        self.service = Service(self.data)
        for location in answered:
            share_id = urllib.parse.parse_qs(urllib.parse.urlparse(location).query)["id"][0]
            status, _, _ = self.service.get("/software/tallyhive/api/shares/" + share_id)
            self.assertEqual(status, 200, "an answered share was lost")
        self.assertGreaterEqual(self.service.count(), min(len(answered), 200))
        self.assertLessEqual(len(answered), attempts[0])


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main(verbosity=2)
