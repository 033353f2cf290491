#!/usr/bin/env python3
"""Checks that the stand-in server keeps the contracts the toolbar's tests rely on."""
import base64
import http.client
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.environ.get("TT_STANDIN_SERVER") or os.path.join(HERE, "..", "standin_server.py")
LOGIN_TITLE = "ログイン - Tavelle(R) Office".encode("utf-8")


class StandinServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        port_file = os.path.join(cls.tmp.name, "port")
        cls.proc = subprocess.Popen([sys.executable, SERVER, "--port-file", port_file, "--max-lifetime", "300"],
                                    stdout=subprocess.PIPE, text=True)
        line = cls.proc.stdout.readline()
        assert line.startswith("PORT "), line
        cls.port = int(line.split()[1])
        with open(port_file) as f:
            assert int(f.read()) == cls.port

    @classmethod
    def tearDownClass(cls):
        try:
            cls.request("POST", "/__shutdown")
        finally:
            cls.proc.wait(timeout=10)
            cls.proc.stdout.close()
            cls.tmp.cleanup()

    @classmethod
    def request(cls, method, target, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", cls.port, timeout=10)
        conn.request(method, target, body=body, headers=headers or {})
        resp = conn.getresponse()
        data = resp.read()
        conn.close()
        return resp, data

    def control(self, **config):
        resp, _ = self.request("POST", "/__control", json.dumps(config).encode("utf-8"))
        self.assertEqual(resp.status, 200)

    def log(self):
        _, data = self.request("GET", "/__log")
        return json.loads(data)

    def setUp(self):
        self.request("POST", "/__reset")

    def log_in(self, extra=b"&_notimecard=1", user=b"taro", password=b"secret", target="/cgi-bin/ag.cgi?page=RMDigest"):
        body = b"_System=login&_Login=1&_Account=" + user + b"&Password=" + password + extra
        return self.request("POST", target, body, {"Content-Type": "application/x-www-form-urlencoded"})

    def test_login_page_without_session(self):
        for target in ("/cgi-bin/ag.cgi", "/ag.exe?page=ScheduleIndex", "/x/ag.cgi?page=RMDigest"):
            resp, data = self.request("GET", target)
            self.assertEqual(resp.status, 200, target)
            self.assertIn(b"<title>" + LOGIN_TITLE + b"</title>", data)
            self.assertIn(b'<form name="LoginForm"', data)
            self.assertIn(b'name="_Account"', data)
            self.assertIn(b'name="Password"', data)
            self.assertIsNone(resp.getheader("Set-Cookie"))

    def test_login_post_gives_cookie_and_the_requested_page(self):
        resp, data = self.log_in(b"&page=ToDoIndex", target="/cgi-bin/ag.cgi?page=ToDoIndex")
        cookie = resp.getheader("Set-Cookie")
        self.assertTrue(cookie.startswith("AGSESSID="))
        self.assertIn(b"<title>ToDoIndex - Tavelle(R) Office</title>", data)
        session = cookie.split(";")[0]
        resp, data = self.request("GET", "/cgi-bin/ag.cgi?page=ScheduleUserMonth", headers={"Cookie": session})
        self.assertIn(b"<title>ScheduleUserMonth - Tavelle(R) Office</title>", data)
        # A cookie the server never issued is no session.
        resp, data = self.request("GET", "/cgi-bin/ag.cgi?page=ScheduleUserMonth", headers={"Cookie": "AGSESSID=forged"})
        self.assertIn(LOGIN_TITLE, data)

    def test_navigation_post_with_trailing_zero_byte_logs_in(self):
        resp, data = self.log_in(b"&page=ToDoIndex\0", target="/ag.cgi?page=ToDoIndex")
        self.assertIsNotNone(resp.getheader("Set-Cookie"))
        self.assertIn(b"ToDoIndex - Tavelle(R) Office", data)

    def test_wrong_password_and_unknown_user_get_the_login_page(self):
        for user, password in ((b"taro", b"wrong"), (b"jiro", b"secret"), (b"taro", b"")):
            resp, data = self.log_in(user=user, password=password)
            self.assertIsNone(resp.getheader("Set-Cookie"))
            self.assertIn(LOGIN_TITLE, data)

    def test_reserved_characters_and_japanese_in_credentials(self):
        # Percent-encoded reserved characters come out as typed; Japanese may come as UTF-8
        # (navigations) or Shift_JIS (background requests).
        self.control(accounts={"山田": "a&b=c+d%e"})
        for codec in ("utf-8", "cp932"):
            resp, _ = self.log_in(user="山田".encode(codec), password=b"a%26b%3Dc%2Bd%25e")
            self.assertIsNotNone(resp.getheader("Set-Cookie"), codec)
        # Unencoded, the '&' splits the password and the log-in fails.
        resp, _ = self.log_in(user="山田".encode("utf-8"), password=b"a&b=c+d%e")
        self.assertIsNone(resp.getheader("Set-Cookie"))

    def test_list_pages_in_each_charset(self):
        self.control(digest=[["ヘッダ"], ["新着", "?page=X", "題名"]], schedule=[["9", "05", "会議"]])
        expected_digest = "ヘッダ\r\n新着,?page=X,題名\r\nNOERROR\r\n"
        for charset, codec, content_type in (("Shift_JIS", "cp932", "text/plain; charset=Shift_JIS"),
                                             ("EUC-JP", "euc_jp", "text/plain; charset=EUC-JP"),
                                             ("UTF-8", "utf-8", "text/plain; charset=UTF-8"),
                                             ("none", "cp932", "text/plain"),
                                             ("x-unknown", "cp932", "text/plain; charset=x-unknown")):
            self.control(charset=charset)
            resp, data = self.log_in()
            self.assertEqual(resp.getheader("Content-Type"), content_type)
            self.assertEqual(data, expected_digest.encode(codec), charset)
            session = resp.getheader("Set-Cookie").split(";")[0]
            resp, data = self.request("GET", "/cgi-bin/ag.cgi?page=RMMySchedule", headers={"Cookie": session})
            self.assertEqual(data, "9,05,会議\r\nNOERROR\r\n".encode(codec))

    def test_list_page_as_raw_text(self):
        self.control(digest="h\nA,?page=X,T\nNOERROR\nB,?page=Y,U\n")
        _, data = self.log_in()
        self.assertEqual(data, b"h\nA,?page=X,T\nNOERROR\nB,?page=Y,U\n")

    def test_permission_and_version_files(self):
        resp, _ = self.request("GET", "/tv70/toolbar.txt")
        self.assertEqual(resp.status, 404)
        resp, _ = self.request("GET", "/tools/toolbar/ie-version.txt")
        self.assertEqual(resp.status, 404)
        self.control(toolbar_txt="AllowToolbar=no\r\n", version_txt="LatestVersion=0.1.2\nDownloadPath=http://x/\n")
        resp, data = self.request("GET", "/tv70/toolbar.txt")
        self.assertEqual((resp.status, data), (200, b"AllowToolbar=no\r\n"))
        resp, data = self.request("GET", "/tools/toolbar/ie-version.txt")
        self.assertEqual((resp.status, data), (200, b"LatestVersion=0.1.2\nDownloadPath=http://x/\n"))

    def test_search_page(self):
        resp, data = self.request("GET", "/search/?app=webSearch&pid=2&query=%E6%A4%9C%E7%B4%A2&enc=utf-8")
        self.assertEqual(resp.status, 200)
        self.assertIn("検索".encode("utf-8"), data)

    def test_https_tunnel_is_logged_and_refused(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.putrequest("CONNECT", "search.tavelle.jp:443", skip_host=True, skip_accept_encoding=True)
        conn.putheader("Host", "search.tavelle.jp:443")
        conn.endheaders()
        resp = conn.getresponse()
        resp.read()
        conn.close()
        self.assertEqual(resp.status, 502)
        self.assertEqual(resp.getheader("Connection"), "close")
        entry = self.log()[-1]
        self.assertEqual((entry["method"], entry["target"]), ("CONNECT", "search.tavelle.jp:443"))

    def test_routes_status_redirect_delay_size(self):
        self.control(routes={
            "/a?x=1": {"status": 500, "body": "broken"},
            "/old": {"location": "/new"},
            "/new": {"headers": [["Content-Type", "text/plain; charset=EUC-JP"]], "body": "日本", "encoding": "euc_jp"},
            "/slow": {"delay": 0.3, "body": "late"},
            "/big": {"body": "ab", "size": 5},
            "/raw": {"body_b64": base64.b64encode(b"\x00\xff").decode()},
        })
        resp, data = self.request("GET", "/a?x=1")
        self.assertEqual((resp.status, data), (500, b"broken"))
        resp, data = self.request("GET", "/a?x=2")
        self.assertEqual(resp.status, 404)
        resp, _ = self.request("GET", "/old")
        self.assertEqual((resp.status, resp.getheader("Location")), (302, "/new"))
        resp, data = self.request("GET", "/new")
        self.assertEqual(data, "日本".encode("euc_jp"))
        self.assertEqual(resp.getheader("Content-Type"), "text/plain; charset=EUC-JP")
        started = time.monotonic()
        _, data = self.request("GET", "/slow")
        self.assertGreaterEqual(time.monotonic() - started, 0.3)
        self.assertEqual(data, b"late")
        _, data = self.request("GET", "/big")
        self.assertEqual(data, b"ababa")
        resp, data = self.request("GET", "/raw")
        self.assertEqual(data, b"\x00\xff")
        self.assertIsNone(resp.getheader("Content-Type"))

    def test_routes_add_up(self):
        for path in ("/r1", "/r2"):
            resp, _ = self.request("POST", "/__routes", json.dumps({path: {"body": path}}).encode())
            self.assertEqual(resp.status, 200)
        for path in ("/r1", "/r2"):
            self.assertEqual(self.request("GET", path)[1], path.encode())
        self.control(routes={})
        self.assertEqual(self.request("GET", "/r1")[0].status, 404)

    def test_log_records_method_target_headers_and_body(self):
        self.request("POST", "/ag.cgi?page=RMDigest#frag", b"a=b\x83\x65", {"X-One": "1", "Cookie": "k=v"})
        self.request("POST", "/__control", b"{}")
        entries = self.log()
        self.assertEqual(len(entries), 1)  # control requests are not logged
        e = entries[0]
        self.assertEqual(e["method"], "POST")
        self.assertEqual(e["target"], "/ag.cgi?page=RMDigest#frag")
        self.assertIn(["X-One", "1"], e["headers"])
        self.assertIn(["Cookie", "k=v"], e["headers"])
        self.assertEqual(base64.b64decode(e["body_b64"]), b"a=b\x83\x65")
        raw = base64.b64decode(e["raw_b64"])
        self.assertTrue(raw.startswith(b"POST /ag.cgi?page=RMDigest#frag HTTP/1.1\r\n"), raw)
        self.assertIn(b"\r\nX-One: 1\r\n", raw)
        self.assertTrue(raw.endswith(b"\r\n\r\na=b\x83\x65"), raw)
        resp, data = self.request("GET", "/__log/raw?i=0")
        self.assertEqual(data, raw)
        _, data = self.request("GET", "/__log/count")
        self.assertEqual(data, b"1")
        resp, _ = self.request("GET", "/__log/raw?i=5")
        self.assertEqual(resp.status, 404)
        self.request("POST", "/__log/clear")
        self.assertEqual(self.log(), [])

    def test_hostile_routes_drip_cut_short_and_unannounced(self):
        self.control(routes={"/drip": {"body": "abc", "drip": 0.2},
                             "/cut": {"body": "AllowToolbar=no\n", "content_length": 40},
                             "/open": {"body": "x" * 5, "content_length": False}})
        started = time.monotonic()
        resp, data = self.request("GET", "/drip")
        self.assertEqual(data, b"abc")
        self.assertGreaterEqual(time.monotonic() - started, 0.55)
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request("GET", "/cut")
        resp = conn.getresponse()
        self.assertEqual(resp.getheader("Content-Length"), "40")
        with self.assertRaises(http.client.IncompleteRead) as cut:
            resp.read()
        self.assertEqual(cut.exception.partial, b"AllowToolbar=no\n")
        conn.close()
        resp, data = self.request("GET", "/open")
        self.assertIsNone(resp.getheader("Content-Length"))
        self.assertEqual(data, b"xxxxx")

    def test_flipped_modes_answer_unwell_and_are_logged(self):
        self.control(toolbar_txt="AllowToolbar=yes")
        outcomes = {}
        for mode in ("down", "garbage", "slow", "drip", "up"):
            self.control(flip={"modes": [mode], "period": 60, "slow": 0.4, "drip": 0.4})
            started = time.monotonic()
            try:
                resp, data = self.request("GET", "/tv70/toolbar.txt")
                outcomes[mode] = (resp.status, data, time.monotonic() - started)
            except (http.client.HTTPException, OSError):
                outcomes[mode] = (None, b"", time.monotonic() - started)
        self.assertIsNone(outcomes["down"][0])
        self.assertNotEqual(outcomes["garbage"][1], b"AllowToolbar=yes")
        for mode in ("slow", "drip", "up"):
            self.assertEqual(outcomes[mode][:2], (200, b"AllowToolbar=yes"), mode)
        self.assertGreater(outcomes["slow"][2], 0.35)
        self.assertGreater(outcomes["drip"][2], 0.15)
        self.assertEqual([e.get("flip") for e in self.log()], ["down", "garbage", "slow", "drip", "up"])
        self.control(flip=None, keep_alive=False)
        resp, _ = self.request("GET", "/tv70/toolbar.txt")
        self.assertEqual(resp.getheader("Connection"), "close")

    def test_bad_control_request(self):
        resp, _ = self.request("POST", "/__control", b"[1]")
        self.assertEqual(resp.status, 400)
        resp, _ = self.request("POST", "/__nothing")
        self.assertEqual(resp.status, 404)


class StandinServerLifetimeTest(unittest.TestCase):
    def test_idle_exit(self):
        proc = subprocess.Popen([sys.executable, SERVER, "--idle-exit", "0.5"], stdout=subprocess.PIPE, text=True)
        try:
            self.assertTrue(proc.stdout.readline().startswith("PORT "))
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            if proc.poll() is None:
                proc.kill()
            proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
