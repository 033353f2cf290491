#!/usr/bin/env python3
"""Tests of the demo session's own pieces: what it expects on the wire, how it reads the server's
log, and its connection to the browser's driver (played here by a small fake)."""
import base64
import datetime
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import demo_session as ds  # noqa: E402


def entry(method, target, headers=(), body=b""):
    return {"method": method, "target": target, "version": "HTTP/1.1", "headers": [list(h) for h in headers],
            "body_b64": base64.b64encode(body).decode()}


class StringTableTest(unittest.TestCase):
    def test_reads_ids_and_texts_with_line_feeds_and_literal_backslashes(self):
        with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False) as f:
            f.write("# comment\n\n502\tSoftware\\Tavelle\\TavelleToolbar\n505\tA %s\\nB %s\n"
                    "2051\thttp://search.example/search/?query=%s\nnot-a-number\tx\n")
        try:
            table = ds.load_strings(f.name)
        finally:
            os.unlink(f.name)
        self.assertEqual(table[502], "Software\\Tavelle\\TavelleToolbar")
        self.assertEqual(table[505], "A %s\nB %s")
        self.assertEqual(table[2051], "http://search.example/search/?query=%s")
        self.assertEqual(sorted(table), [502, 505, 2051])

    def test_the_projects_web_search_template_has_its_fixed_path(self):
        table = ds.load_strings(os.path.join(ds.ROOT, "src", "resources", "strings.txt"))
        self.assertIn("%s", table[2051])
        self.assertTrue(table[2051].endswith("/search/?app=webSearch&pid=2&query=%s&enc=utf-8"))


class EscapeQueryTest(unittest.TestCase):
    def test_utf8_for_the_web_and_the_ansi_code_page_for_the_groupware(self):
        self.assertEqual(ds.escape_query("a b&c", "utf-8"), "a%20b%26c")
        self.assertEqual(ds.escape_query("100%", "utf-8"), "100%")
        self.assertEqual(ds.escape_query("あ", "utf-8"), "%e3%81%82")
        self.assertEqual(ds.escape_query("あ", "cp932"), "%82%a0")
        self.assertEqual(ds.escape_query("/:~!'()*-._", "utf-8"), "/:~!'()*-._")
        self.assertEqual(ds.escape_query("+=?#", "utf-8"), "%2b%3d%3f%23")
        self.assertEqual(ds.escape_query("議事録", "cp932"), "%8bc%8e%96%98%5e")


class ScheduleTest(unittest.TestCase):
    def test_the_next_appointment_lies_ahead_and_an_earlier_one_is_skipped(self):
        records, caption = ds.schedule_for(datetime.datetime(2026, 3, 5, 9, 7))
        self.assertEqual(records, [["0", "05", "朝会"], ["11", "07", "営業会議"]])
        self.assertEqual(caption, "11:07 営業会議")

    def test_late_evening_keeps_the_appointment_today(self):
        records, caption = ds.schedule_for(datetime.datetime(2026, 3, 5, 22, 30))
        self.assertEqual(records[-1], ["23", "59", "営業会議"])
        self.assertEqual(caption, "23:59 営業会議")

    def test_just_after_midnight_has_no_earlier_appointment(self):
        records, caption = ds.schedule_for(datetime.datetime(2026, 3, 5, 0, 3))
        self.assertEqual(records, [["2", "03", "営業会議"]])
        self.assertEqual(caption, "2:03 営業会議")


class RunStampTest(unittest.TestCase):
    def test_this_hour_or_the_one_before_across_midnight(self):
        now = datetime.datetime(2026, 3, 6, 0, 2)
        self.assertTrue(ds.stamp_is_recent(2026030600, now))
        self.assertTrue(ds.stamp_is_recent(2026030523, now))
        self.assertFalse(ds.stamp_is_recent(2026030522, now))
        self.assertFalse(ds.stamp_is_recent(2026030601, now))
        self.assertFalse(ds.stamp_is_recent(0, now))
        self.assertFalse(ds.stamp_is_recent(2026023000, now), "no 30 February")


class ServerLogTest(unittest.TestCase):
    LOG = [
        entry("GET", "http://groupware.tavelle.example:80/cgi-bin/ag.cgi?page=AGIndex",
              [("Host", "groupware.tavelle.example"), ("User-Agent", "X; TavelleToolbar/0.1.1)")]),
        entry("POST", "http://groupware.tavelle.example:80/cgi-bin/ag.cgi",
              [("Host", "groupware.tavelle.example")], b"_System=login&_Login=1&_Account=taro&Password=secret\0"),
        entry("POST", "http://groupware.tavelle.example:80/cgi-bin/ag.cgi?page=RMDigest",
              [("Pragma", "no-cache")], b"_System=login&_Login=1&_Account=taro&Password=secret&_notimecard=1"),
        entry("GET", "/tools/toolbar/ie-version.txt", [("host", "127.0.0.1:8080")]),
        entry("POST", "http://groupware.tavelle.example/cgi-bin/ag.cgi",
              [], b"_System=login&_Login=1&_Account=jiro&Password=secret"),
        entry("CONNECT", "search.tavelle.jp:443", [("Host", "search.tavelle.jp:443")]),
    ]

    def test_addresses_are_whole_without_the_default_port(self):
        urls = [ds.request_url(e) for e in self.LOG]
        self.assertEqual(urls[0], "http://groupware.tavelle.example/cgi-bin/ag.cgi?page=AGIndex")
        self.assertEqual(urls[3], "http://127.0.0.1:8080/tools/toolbar/ie-version.txt")
        # A tunnel names only its host and port.
        self.assertEqual(urls[5], "https://search.tavelle.jp:443/")

    def test_requests_are_found_by_address_method_or_path_and_query(self):
        base = "http://groupware.tavelle.example/cgi-bin/ag.cgi"
        self.assertEqual(len(ds.find_requests(self.LOG, url=base)), 2)
        self.assertEqual(len(ds.find_requests(self.LOG, url=base, method="GET")), 0)
        self.assertEqual(len(ds.find_requests(self.LOG, url=base + "?page=RMDigest", method="POST")), 1)
        self.assertEqual(len(ds.find_requests(self.LOG, path_query="/tools/toolbar/ie-version.txt")), 1)
        self.assertEqual(ds.find_requests(self.LOG, url=base + "?page=RMMySchedule"), [])
        self.assertEqual(ds.find_requests([], url=base), [])

    def test_log_in_posts_are_those_of_the_account(self):
        account = ("taro", "secret")
        self.assertEqual([ds.is_login_post(e, account) for e in self.LOG], [False, True, True, False, False, False])
        self.assertEqual(ds.header(self.LOG[0], "user-agent"), "X; TavelleToolbar/0.1.1)")
        self.assertIsNone(ds.header(self.LOG[0], "Cookie"))


class CropTest(unittest.TestCase):
    def test_the_box_holds_every_window_and_stays_on_the_screen(self):
        self.assertEqual(ds.crop_box([[0, 0, 1000, 700]], (1280, 1024)), (0, 0, 1006, 706))
        self.assertEqual(ds.crop_box([[10, 20, 300, 400], [250, 350, 1300, 500]], (1280, 1024), pad=0),
                         (10, 20, 1270, 480))


class BlankPictureTest(unittest.TestCase):
    def test_colours_of_the_picture_and_of_a_box_in_it(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "shot.png")
            # A black picture with a gradient in its right half.
            subprocess.run(["convert", "-size", "40x20", "xc:black", "(", "-size", "20x20", "gradient:white-blue",
                            ")", "-geometry", "+20+0", "-composite", path], check=True, timeout=60)
            self.assertGreaterEqual(ds.image_colours(path), ds.MIN_COLOURS)
            self.assertEqual(ds.image_colours(path, (0, 0, 20, 20)), 1, "the black half is blank")
            self.assertGreater(ds.image_colours(path, (20, 0, 20, 20)), 1)
            with self.assertRaises(ds.StepFailed):
                ds.image_colours(os.path.join(tmp, "missing.png"))


class ProgramFileTest(unittest.TestCase):
    @staticmethod
    def pe(machine, offset=0x80):
        head = bytearray(offset + 24)
        head[:2] = b"MZ"
        head[0x3C:0x40] = offset.to_bytes(4, "little")
        head[offset:offset + 4] = b"PE\0\0"
        head[offset + 4:offset + 6] = machine.to_bytes(2, "little")
        return bytes(head)

    def test_the_machine_comes_from_the_pe_header(self):
        with tempfile.TemporaryDirectory() as tmp:
            def machine(data):
                path = os.path.join(tmp, "x.dll")
                with open(path, "wb") as f:
                    f.write(data)
                return ds.pe_machine(path)
            self.assertEqual(machine(self.pe(0x14C)), "32-bit x86 (i386)")
            self.assertEqual(machine(self.pe(0x8664, offset=0x100)), "64-bit x86-64")
            self.assertEqual(machine(self.pe(0xAA64)), "machine 0xaa64")
            self.assertEqual(machine(b"MZ" + bytes(100)), "not a Windows program")
            self.assertEqual(machine(b"\x7fELF" + bytes(100)), "not a Windows program")
            self.assertEqual(machine(self.pe(0x14C, offset=5000)), "not a Windows program")
            self.assertEqual(ds.pe_machine(os.path.join(tmp, "none.dll")), "missing")

    def test_windows_paths_map_into_the_prefix(self):
        self.assertEqual(ds.windows_path_in_prefix(r"C:\Program Files\T\a.dll", "/p"), "/p/drive_c/Program Files/T/a.dll")
        self.assertEqual(ds.windows_path_in_prefix("/already/unix", "/p"), "/already/unix")


class FaultReportTest(unittest.TestCase):
    def test_only_the_programs_own_reports_count(self):
        output = ('0024:warn:seh:OutputDebugStringA "Exception code: c0000005\\n"\n'
                  '0024:warn:seh:dispatch_exception "Exception code: c0000005\\n"\n'
                  '0030:warn:seh:dispatch_exception code=c0000017 flags=1 addr=0000000000401234\n'
                  '0031:warn:seh:OutputDebugStringA "other text\\n"\n'
                  '0032:warn:seh:OutputDebugStringA "Exception code: c000001d\\n"\n')
        self.assertEqual(ds.fault_reports(output), ["Exception code: c0000005", "Exception code: c000001d"])
        self.assertEqual(ds.fault_reports(""), [])


class XWindowTest(unittest.TestCase):
    LISTING = """
xwininfo: Window id: 0x50d (the root window) (has no name)

     4 children:
     0xa00003 (has no name): ("exp.exe" "exp.exe")  92x40+61+51  +61+51
     0xa00001 "Tavelle test host": ("exp.exe" "exp.exe")  1000x700+0+0  +0+0
     0xa00004 (has no name): ("exp.exe" "exp.exe")  92x40+61+52  +61+52
     0x800010 (has no name): ()  1x1+-1+-1  +-1+-1
"""

    def test_the_window_with_exactly_that_place_and_size(self):
        self.assertEqual(ds.x_window_at(self.LISTING, [61, 51, 153, 91]), "0xa00003")
        self.assertEqual(ds.x_window_at(self.LISTING, [61, 52, 153, 92]), "0xa00004")
        self.assertEqual(ds.x_window_at(self.LISTING, [0, 0, 1000, 700]), "0xa00001")
        self.assertEqual(ds.x_window_at(self.LISTING, [-1, -1, 0, 0]), "0x800010")
        self.assertIsNone(ds.x_window_at(self.LISTING, [61, 51, 153, 92]))


class FakeDriver(threading.Thread):
    """The browser's end: connects, answers each command from a script, then hangs up."""

    def __init__(self, port, answers):
        super().__init__(daemon=True)
        self.port = port
        self.answers = answers
        self.received = []

    def run(self):
        sock = socket.create_connection(("127.0.0.1", self.port))
        reader = sock.makefile("rb")
        for answer in self.answers:
            line = reader.readline()
            if not line:
                break
            self.received.append(line.decode("utf-8").rstrip("\n").split("\t"))
            if answer is not None:
                sock.sendall(answer.encode("utf-8"))
        sock.close()


class DriverConnectionTest(unittest.TestCase):
    def connect(self, answers):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        fake = FakeDriver(listener.getsockname()[1], answers)
        fake.start()
        driver = ds.Driver(listener, timeout=10)
        listener.close()
        return driver, fake

    def test_commands_go_out_as_tab_separated_utf8_and_answers_come_back(self):
        answers = ['{"ok": true, "text": "会議"}\n{"ok": true, "n": 2}\n', None, '{"ok": false, "error": "no menu"}\n']
        driver, fake = self.connect(answers)
        self.assertEqual(driver.call("type", "会議 資料", "replace")["text"], "会議")
        # Two answers in one packet: the second waits for the next call.
        self.assertEqual(driver.call("hello")["n"], 2)
        with self.assertRaisesRegex(ds.DriverError, "no menu"):
            driver.call("menu", 219)
        fake.join(5)
        self.assertEqual(fake.received[0], ["type", "会議 資料", "replace"])
        self.assertEqual(fake.received[2], ["menu", "219"])
        with self.assertRaises(ds.DriverError):
            driver.call("hello")  # the browser has gone
        driver.close()

    def test_a_browser_that_never_connects_fails_the_step(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        with self.assertRaisesRegex(ds.StepFailed, "did not connect"):
            ds.Driver(listener, timeout=0.2)
        listener.close()


class WaitTest(unittest.TestCase):
    def test_waiting_returns_the_first_true_value_and_gives_up_with_what_it_waited_for(self):
        session = ds.Session.__new__(ds.Session)
        values = iter([None, ds.DriverError("busy"), {"x": 1}])

        def probe():
            v = next(values)
            if isinstance(v, Exception):
                raise v
            return v
        self.assertEqual(session.wait_for("x", probe, timeout=5, interval=0.01), {"x": 1})
        with self.assertRaisesRegex(ds.StepFailed, "waiting for the notice .*busy"):
            session.wait_for("the notice", lambda: (_ for _ in ()).throw(ds.DriverError("busy")),
                             timeout=0.05, interval=0.01)


if __name__ == "__main__":
    unittest.main()
