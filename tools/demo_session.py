#!/usr/bin/env python3
"""The demo: the toolbar in the test browser under Wine, against the stand-in servers.

Scripted (the default): plays one user's session step by step, checks every step against what
the stand-in server logged and what the registry holds, prints a transcript, saves it with
screenshots in the output folder and exits non-zero when a step fails.

Interactive (--interactive): the same browser and servers, left running for a person to use
until the browser window is closed or Ctrl+C is pressed.

scripts/demo.sh builds, prepares the Wine prefix and the display and registers the DLL; this
program starts the stand-in server (tools/standin_server.py), points the prefix's Internet
settings at it as a proxy, so that the example hosts of the string table (update server, home
page, web search, portal) and the demo's groupware host all reach it, and runs the browser
(tavelle_test_host.exe) with its driver connection (tests/host/demo_driver_win.h).
"""
import argparse
import base64
import datetime
import hashlib
import json
import os
import re
import select
import socket
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request

from gen_commands import read_commands

HERE = os.path.dirname(os.path.abspath(__file__))
# The stand-in server, as scripts/lib.sh names it for every script that starts one.
STANDIN_SERVER = os.environ.get("TT_STANDIN_SERVER") or os.path.join(HERE, "standin_server.py")
ROOT = os.path.dirname(HERE)

GROUPWARE = "http://groupware.tavelle.example/cgi-bin/ag.cgi"
ACCOUNT = ("taro", "secret")
NEW_VERSION = "0.2.0"
SETTINGS_KEY = r"Software\Tavelle\TavelleToolbar"
OPTIONS_TITLE = "Tavelle ツールバー設定"
PROXY_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings"

BTNS_DROPDOWN = 0x08
TBSTATE_ENABLED = 0x04
REG_BINARY, REG_DWORD, REG_SZ = 3, 4, 1
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7

# Left to right, as the toolbar resource places them (0: separator).
BUTTON_ORDER = read_commands(os.path.join(ROOT, "src", "resources", "commands.txt")).layout()

DIGEST = [
    ["RMDigest", "3"],
    ["掲示板", "?page=BulletinView&bid=12", "来期の予算について"],
    ["メール", "page=MailView&mid=345", "議事録を送付します"],
    ["スケジュール", "?page=ScheduleView&sid=7", "定例会議の時間変更"],
]

PORTAL_PAGE = ("<html><head><title>Tavelle</title></head>"
               "<body><h1>Tavelle</h1><p>Tavelle(R) ツールバー</p></body></html>")


# Every wait and time limit is this many times longer (--slow): the emulated 32-bit guest runs
# programs about twenty times slower than this machine.
SLOW = 1.0

# Every file a scripted session writes into its output folder.
SESSION_OUTPUTS = ("transcript.txt", "options-dialog.png", "top-page.png", "digest-menu.png", "update-notice.png",
                   "failure.png")


class StepFailed(Exception):
    pass


class DriverError(Exception):
    pass


# ---- pure helpers (tools/tests/test_demo_session.py) ---------------------------------------

def load_strings(path):
    """The string table: id -> text ("\\n" is a line feed, other backslashes are literal)."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#") or "\t" not in line:
                continue
            number, text = line.split("\t", 1)
            number = number.split(" ")[0]  # a name may follow the number
            if number.isdigit():
                table[int(number)] = text.replace("\\n", "\n")
    return table


def escape_query(text, codec):
    """A search query as the toolbar puts it into an address: the text's bytes in the code page,
    letters, digits, ! ' ( ) * - . / : _ ~ and % as they are, every other byte as %xx in lower
    case."""
    keep = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!'()*-./:_~%")
    return "".join(chr(b) if b in keep else "%%%02x" % b for b in text.encode(codec, errors="replace"))


def schedule_for(now):
    """The day's appointments for the stand-in and the caption the toolbar should show for them
    at `now`: one that is over (when the day allows) and the next one, about two hours ahead."""
    records = []
    if now.hour >= 1:
        records.append(["0", "05", "朝会"])
    later = min(now + datetime.timedelta(hours=2), now.replace(hour=23, minute=59))
    hour, minute = str(later.hour), "%02d" % later.minute
    records.append([hour, minute, "営業会議"])
    return records, "%s:%s %s" % (hour, minute, "営業会議")


def stamp_is_recent(stamp, now):
    """Whether a run stamp (the decimal number YYYYMMDDHH) names the hour of `now` or the one
    before it (a run that started just before the hour turned)."""
    try:
        when = datetime.datetime.strptime(str(stamp), "%Y%m%d%H")
    except ValueError:
        return False
    hour = now.replace(minute=0, second=0, microsecond=0)
    return hour - datetime.timedelta(hours=1) <= when <= hour


def request_url(entry):
    """The absolute address of a logged request: a proxy request carries it whole, a direct one
    has its host in the Host header."""
    target = entry["target"]
    if entry["method"] == "CONNECT":
        return "https://%s/" % target  # a tunnel: its host and port, nothing of the address sent inside
    if not (target.startswith("http://") or target.startswith("https://")):
        target = "http://%s%s" % (header(entry, "Host") or "127.0.0.1", target)
    # A proxy request may name the scheme's own port; the address the program used did not.
    split = urllib.parse.urlsplit(target)
    if (split.scheme, split.port) in (("http", 80), ("https", 443)):
        target = urllib.parse.urlunsplit((split.scheme, split.hostname, split.path, split.query, split.fragment))
    return target


def header(entry, name):
    for key, value in entry.get("headers", []):
        if key.lower() == name.lower():
            return value
    return None


def body_of(entry):
    return base64.b64decode(entry.get("body_b64") or "")


def is_login_post(entry, account):
    """A log-in form post of the account (a browser's form or the toolbar's own log-in body)."""
    body = body_of(entry).rstrip(b"\0")
    wanted = ("_System=login&_Login=1&_Account=%s&Password=%s" % account).encode()
    return entry["method"] == "POST" and body.startswith(wanted)


def find_requests(log, url=None, method=None, path_query=None):
    """The logged requests to an address (exact) or whose path and query equal path_query."""
    found = []
    for entry in log:
        full = request_url(entry)
        if url is not None and full != url:
            continue
        if path_query is not None:
            split = urllib.parse.urlsplit(full)
            if split.path + ("?" + split.query if split.query else "") != path_query:
                continue
        if method is not None and entry["method"] != method:
            continue
        found.append(entry)
    return found


def x_window_at(listing, rect):
    """The X window (from `xwininfo -root -children`) that covers a window rectangle exactly."""
    wanted = "%dx%d+%d+%d" % (rect[2] - rect[0], rect[3] - rect[1], rect[0], rect[1])
    for line in listing.splitlines():
        m = re.match(r"\s+(0x[0-9a-f]+)\s.*\s(\d+x\d+\+-?\d+\+-?\d+)\s", line)
        if m and m.group(2) == wanted:
            return m.group(1)
    return None


def fault_reports(wine_output):
    """The "Exception code: %x" lines the program wrote to the debugger output (Wine shows them
    on its seh channel as OutputDebugString calls)."""
    found = []
    for line in wine_output.splitlines():
        m = re.search(r"OutputDebugString[AW]? \"(Exception code: [0-9a-fA-F]+)", line)
        if m:
            found.append(m.group(1))
    return found


MIN_COLOURS = 4


def pe_machine(path):
    """The processor a Windows program or DLL is built for, read from its PE header."""
    names = {0x14C: "32-bit x86 (i386)", 0x8664: "64-bit x86-64"}
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return "missing"
    if len(head) < 0x40 or head[:2] != b"MZ":
        return "not a Windows program"
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if offset + 6 > len(head) or head[offset:offset + 4] != b"PE\0\0":
        return "not a Windows program"
    machine = int.from_bytes(head[offset + 4:offset + 6], "little")
    return names.get(machine, "machine 0x%x" % machine)


def file_digest(path):
    try:
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()
    except OSError:
        return None


def windows_path_in_prefix(path, prefix=None):
    """Where a C:\\ path of the Wine prefix lies on this machine."""
    prefix = prefix or os.environ.get("WINEPREFIX", "")
    if len(path) < 3 or path[1:3] != ":\\":
        return path
    return os.path.join(prefix, "drive_" + path[0].lower(), *path[3:].split("\\"))


def image_colours(path, box=None):
    """The number of distinct colours of a picture, or of the box (left, top, width, height) in it."""
    command = ["convert", path]
    if box is not None:
        command += ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1]), "+repage"]
    answer = subprocess.run(command + ["-format", "%k", "info:"], capture_output=True, text=True, timeout=60 * SLOW)
    if answer.returncode != 0:
        raise StepFailed("convert could not read %s: %s" % (path, answer.stderr.strip()))
    return int(answer.stdout.strip() or 0)


def crop_box(rects, screen, pad=6):
    """The smallest box holding every window rectangle, padded and kept on the screen."""
    left = max(0, min(r[0] for r in rects) - pad)
    top = max(0, min(r[1] for r in rects) - pad)
    right = min(screen[0], max(r[2] for r in rects) + pad)
    bottom = min(screen[1], max(r[3] for r in rects) + pad)
    return left, top, max(1, right - left), max(1, bottom - top)


# ---- the processes ----------------------------------------------------------------------------

class Standin:
    """The stand-in server: groupware, update server, web search and portal in one program."""

    def __init__(self, config, logdir):
        path = os.path.join(logdir, "standin-config.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(config, f, ensure_ascii=False)
        self.logdir = logdir
        self.stderr = open(os.path.join(logdir, "standin-output.log"), "wb")
        self.proc = subprocess.Popen(
            [sys.executable, STANDIN_SERVER, "--port", "0", "--config", path,
             "--max-lifetime", "7200"],
            stdout=subprocess.PIPE, stderr=self.stderr)
        line = b""
        deadline = time.monotonic() + 30 * SLOW
        while not line.endswith(b"\n"):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise StepFailed("the stand-in server did not start (see %s)" % self.stderr.name)
            ready, _, _ = select.select([self.proc.stdout], [], [], 0.5)
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 64)
                if not chunk:
                    raise StepFailed("the stand-in server ended at start")
                line += chunk
        self.port = int(line.decode().split()[1])
        self.base = "http://127.0.0.1:%d" % self.port

    def _call(self, method, path, obj=None):
        data = None if obj is None else json.dumps(obj).encode("utf-8")
        req = urllib.request.Request(self.base + path, data=data, method=method)
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        with opener.open(req, timeout=10) as answer:
            return json.loads(answer.read().decode("utf-8"))

    def control(self, obj):
        return self._call("POST", "/__control", obj)

    def log(self):
        return self._call("GET", "/__log")

    def write_request_log(self):
        """logs/standin.log: every request the server received, as it received it."""
        with open(os.path.join(self.logdir, "standin.log"), "w", encoding="utf-8") as f:
            try:
                log = self.log()
            except Exception as e:
                f.write("the stand-in server did not give its log: %s\n" % e)
                return
            f.write("%d requests to the stand-in server (groupware, update server, web search, proxy)\n" % len(log))
            for n, entry in enumerate(log):
                f.write("%4d %s %s (%d bytes)\n" % (n, entry["method"], request_url(entry), len(body_of(entry))))
                for name in ("Cookie", "Content-Type", "Pragma", "User-Agent"):
                    if header(entry, name):
                        f.write("       %s: %s\n" % (name, header(entry, name)))

    def stop(self):
        if self.proc.poll() is None:
            self.write_request_log()
            try:
                self._call("POST", "/__shutdown", {})
                self.proc.wait(5)
            except Exception:
                self.proc.kill()
                self.proc.wait(5)
        self.stderr.close()


class Driver:
    """The connection to the driver thread inside the test browser."""

    def __init__(self, listener, timeout):
        timeout *= SLOW
        listener.settimeout(timeout)
        try:
            self.sock, _ = listener.accept()
        except socket.timeout:
            raise StepFailed("the test browser did not connect within %d s" % timeout)
        self.sock.settimeout(60 * SLOW)
        self.pending = b""

    def call(self, *fields):
        line = "\t".join(str(f) for f in fields) + "\n"
        self.sock.sendall(line.encode("utf-8"))
        while b"\n" not in self.pending:
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                raise DriverError("no answer to %r within %d s" % (fields[0], 60 * SLOW))
            if not chunk:
                raise DriverError("the test browser closed the connection")
            self.pending += chunk
        answer, self.pending = self.pending.split(b"\n", 1)
        result = json.loads(answer.decode("utf-8"))
        if not result.get("ok"):
            raise DriverError(result.get("error", "failed"))
        return result

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


def set_wine_proxy(wine, port, logdir):
    """Points the prefix's Internet settings at the stand-in server, as a user would set a proxy."""
    prefix = os.environ["WINEPREFIX"]
    reg = os.path.join(prefix, "drive_c", "tavelle-demo-proxy.reg")
    with open(reg, "w", encoding="utf-16") as f:
        f.write("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n" % PROXY_KEY)
        f.write('"ProxyEnable"=dword:00000001\r\n"ProxyServer"="127.0.0.1:%d"\r\n' % port)
        f.write('"ProxyOverride"="<local>"\r\n')
    with open(os.path.join(logdir, "regedit.log"), "wb") as out:
        out.write(b"== regedit /S: the proxy of the prefix's Internet settings, 127.0.0.1:%d\n" % port)
        out.flush()
        rc = subprocess.run([wine, "regedit", "/S", r"C:\tavelle-demo-proxy.reg"], stdout=out, stderr=out,
                            timeout=120 * SLOW).returncode
        out.write(b"exit %d\n" % rc)
    if rc != 0:
        raise StepFailed("regedit could not set the proxy (exit %d)" % rc)


def export_settings(wine, path):
    """logs/regedit.log: the toolbar's registry settings as regedit exports them."""
    exported = os.path.join(os.environ["WINEPREFIX"], "drive_c", "tavelle-demo-export.reg")
    try:
        os.remove(exported)
    except FileNotFoundError:
        pass
    with open(path, "a", encoding="utf-8") as out:
        out.write("== regedit /E HKEY_CURRENT_USER\\Software\\Tavelle, after the session\n")
        try:
            rc = subprocess.run([wine, "regedit", "/E", r"C:\tavelle-demo-export.reg", r"HKEY_CURRENT_USER\Software\Tavelle"],
                                capture_output=True, timeout=120 * SLOW, env=wine_environment()).returncode
        except (OSError, subprocess.TimeoutExpired) as e:
            out.write("regedit did not run: %s\n" % e)
            return
        if rc != 0 or not os.path.exists(exported):
            out.write("regedit /E failed (exit %d)\n" % rc)
            return
        with open(exported, "rb") as f:
            data = f.read()
        out.write(data.decode("utf-16" if data[:2] in (b"\xff\xfe", b"\xfe\xff") else "utf-8", errors="replace")
                  .replace("\r\n", "\n"))


def browser_record_text(record):
    """logs/browser.log: what the test browser recorded: its navigations, form submissions and bands."""
    if not record:
        return "no record of the browser was taken\n"
    lines = ["location %s, title %r, %d band(s) docked" % (record["location"], record["title"], record["bands"])]
    for call in record.get("showBrowserBar", []):
        lines.append("ShowBrowserBar %s %s" % (call["clsid"], "show" if call["show"] else "hide"))
    for n in record.get("navigations", []):
        lines.append("%-10s %-4s %s -> %s %s%s" % (n["origin"], n["method"], n["url"], n["status"], n["finalUrl"],
                                                  " (cancelled)" if n["cancelled"] else ""))
        for h in n["headers"].splitlines():
            if h.strip():
                lines.append("           %s" % h.strip())
    for sub in record.get("submissions", []):
        lines.append("submitted form %s: %s %s" % (sub["form"], sub["method"], sub["action"]))
    return "\n".join(lines) + "\n"


def wine_environment():
    env = dict(os.environ)
    # The stand-in is the only proxy: a proxy of the machine would take the example hosts.
    for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "no_proxy", "NO_PROXY"):
        env.pop(name, None)
    return env


# ---- the scripted session ---------------------------------------------------------------------

class Session:
    def __init__(self, args):
        self.args = args
        self.account_stored = False
        self.out = args.out
        self.logdir = os.path.join(self.out, "logs")
        os.makedirs(self.logdir, exist_ok=True)
        self.strings = load_strings(args.strings)
        self.transcript = []
        self.standin = None
        self.host = None
        self.driver = None
        self.listener = None
        self.screen = (1280, 1024)
        self.marks = {}
        self.expected_caption = None
        self.version = None
        self.shots = []
        self.browser_record = None

    # -- output
    def say(self, text=""):
        print(text, flush=True)
        self.transcript.append(text)

    def verified(self, text):
        self.say("      - " + text)

    def check(self, condition, text, failure=None):
        if not condition:
            raise StepFailed(failure or ("not so: " + text))
        self.verified(text)

    # -- waiting
    def wait_for(self, what, probe, timeout=15.0, interval=0.25):
        timeout *= SLOW
        deadline = time.monotonic() + timeout
        last_error = None
        while True:
            try:
                value = probe()
                if value:
                    return value
            except DriverError as e:
                last_error = e
            if time.monotonic() > deadline:
                raise StepFailed("timed out after %g s waiting for %s%s" % (
                    timeout, what, " (%s)" % last_error if last_error else ""))
            time.sleep(interval)

    # -- reading the browser, the server and the registry
    def windows(self):
        return self.driver.call("windows")["windows"]

    def dialog(self, title=None, text=None):
        for w in self.windows():
            if w["class"] != "#32770":
                continue
            if title is not None and w["title"] != title:
                continue
            texts = [c["text"].replace("\r", "") for c in w.get("controls", [])]
            if text is not None and not any(text in t for t in texts):
                continue
            return w
        return None

    def popup_menu(self):
        for w in self.windows():
            if w["class"] == "#32768" and w.get("items"):
                return w
        return None

    def gone(self, hwnd):
        return all(w["hwnd"] != hwnd for w in self.windows())

    def toolbar(self):
        return self.driver.call("toolbar")

    def button(self, toolbar, command):
        for b in toolbar["buttons"]:
            if b["id"] == command:
                return b
        raise StepFailed("the toolbar has no button %d" % command)

    def browser(self):
        return self.driver.call("browser")["browser"]

    def registry(self, subkey=""):
        key = SETTINGS_KEY + ("\\" + subkey if subkey else "")
        answer = self.driver.call("reg", key)
        values = {}
        for v in answer.get("values", []):
            values[v["name"]] = v
        return answer["exists"], values

    def setting(self, name):
        exists, values = self.registry("Parameters")
        v = values.get(name)
        return v.get("text") if v else None

    def settings_seen(self):
        exists, values = self.registry("Parameters")
        if not exists:
            return "no Parameters key"
        return ", ".join("%s=%r" % (n, v.get("text")) for n, v in sorted(values.items())) or "an empty Parameters key"

    def expect_state(self, text, probe, seen, timeout=15.0):
        """A state the toolbar reaches on its own time (a registry write after a request, a timer's
        work): waited for with a limit, and on giving up reported with what was seen last."""
        timeout *= SLOW
        deadline = time.monotonic() + timeout
        while not probe():
            if time.monotonic() > deadline:
                raise StepFailed("not so within %g s: %s; saw %s" % (timeout, text, seen()))
            time.sleep(0.2)
        self.verified(text)

    def log(self):
        return self.standin.log()

    def mark(self, name):
        self.marks[name] = len(self.log())

    def since(self, name):
        return self.log()[self.marks[name]:]

    def control(self, hwnd_dialog, control_id):
        for c in hwnd_dialog.get("controls", []):
            if c["id"] == control_id:
                return c
        raise StepFailed("the dialog %r has no control %d" % (hwnd_dialog["title"], control_id))

    def refresh(self, window):
        for w in self.windows():
            if w["hwnd"] == window["hwnd"]:
                return w
        return None

    def take_browser_record(self):
        """Kept for logs/browser.log: the last record the browser gave before it closed."""
        if self.driver and self.host and self.host.poll() is None:
            try:
                self.browser_record = self.browser()
            except (DriverError, OSError):
                pass

    # -- screenshots
    def screenshot(self, name, caption, extra_windows=()):
        """The browser window (and the given pop-ups) from the X display, cropped to them."""
        display = os.environ.get("DISPLAY")
        frame = [w for w in self.windows() if w["class"] == "TavelleTestHostFrame"]
        rects = [w["rect"] for w in frame] + [w["rect"] for w in extra_windows]
        if not rects:
            raise StepFailed("no browser window to photograph")
        x, y, width, height = crop_box(rects, self.screen)
        path = os.path.join(self.out, name)
        layers = [self.grab(["-root"], "root")]
        # Pop-up menus keep their pixels off the root's image under Xvfb: grab their own
        # windows and lay them on top.
        listing = subprocess.run(["xwininfo", "-root", "-children", "-display", display], capture_output=True,
                                 text=True, timeout=30 * SLOW).stdout
        for n, w in enumerate(extra_windows):
            xid = x_window_at(listing, w["rect"])
            if xid:
                layers += [self.grab(["-id", xid], "layer%d" % n), "-geometry",
                           "+%d+%d" % (w["rect"][0], w["rect"][1]), "-composite"]
        png = subprocess.run(["convert"] + layers + ["-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage", path],
                             capture_output=True, timeout=60 * SLOW)
        if png.returncode != 0 or not os.path.exists(path):
            raise StepFailed("convert failed: %s" % png.stderr.decode(errors="replace").strip())
        # Not blank: the picture has more than a few colours, and inside its frame each pop-up's
        # part holds more than one (a window the display has not drawn comes out as one flat
        # colour; menu text may be drawn without smoothing, black on white).
        if image_colours(path) < MIN_COLOURS:
            raise StepFailed("screenshot %s has %d colour(s): it looks blank" % (name, image_colours(path)))
        for w in extra_windows:
            r = w["rect"]
            inside = (r[0] - x + 4, r[1] - y + 4, r[2] - r[0] - 8, r[3] - r[1] - 8)
            if inside[2] > 0 and inside[3] > 0 and image_colours(path, inside) < 2:
                raise StepFailed("screenshot %s: the %s window is one flat colour (not drawn)" % (name, w["class"]))
        self.shots.append((name, caption))
        shown = os.path.relpath(path, ROOT) if path.startswith(ROOT + os.sep) else path
        self.verified("screenshot %s: %s" % (shown, caption))

    def grab(self, which, name):
        path = os.path.join(self.logdir, "shot-%s.xwd" % name)
        with open(path, "wb") as f:
            rc = subprocess.run(["xwd", "-silent", "-display", os.environ.get("DISPLAY", "")] + which, stdout=f,
                                stderr=subprocess.PIPE, timeout=30 * SLOW).returncode
        if rc != 0:
            raise StepFailed("xwd %s failed" % " ".join(which))
        return "xwd:" + path

    # -- the pieces of a user's actions
    def choose_from_menu(self, opener, item, arrow=False):
        """Clicks a toolbar button (or its arrow), waits for its pop-up menu and chooses an item."""
        self.driver.call("click", opener, *(["arrow"] if arrow else []))
        menu = self.wait_for("the menu of button %d" % opener, self.popup_menu, timeout=10)
        if item is not None:
            self.driver.call("menu", item)
            self.wait_for("the menu to close", lambda: self.popup_menu() is None, timeout=10)
        return menu

    def answer_box(self, box, button):
        self.driver.call("press", box["hwnd"], button)
        self.wait_for("the message box to close", lambda: self.gone(box["hwnd"]), timeout=10)

    def wait_page(self, title, timeout=20):
        return self.wait_for("the page %r in the browser" % title,
                             lambda: self.browser()["title"] == title, timeout=timeout)

    def wait_request(self, mark, what, **match):
        return self.wait_for(what, lambda: find_requests(self.since(mark), **match), timeout=20)

    # -- the steps
    def step_first_run(self):
        self.driver = Driver(self.listener, timeout=180)
        hello = self.driver.call("hello")
        self.screen = tuple(hello["screen"])
        # The toolbar window exists once the band has its site; the browser counts the band as
        # docked only after it has placed it in the rebar and shown it.
        def docked():
            t = self.toolbar()
            b = self.browser()
            return (t, b) if t["visible"] and b["bands"] == 1 else None
        toolbar, b = self.wait_for("the toolbar band docked in the browser window", docked, timeout=60)
        band = self.args.band.upper()
        self.check(any(c["clsid"].upper() == band and c["show"] for c in b["showBrowserBar"]),
                   "the helper object asked the browser to show the band %s (first run; the browser "
                   "was not told to show it)" % self.args.band)
        self.check(b["bands"] == 1 and toolbar["visible"], "the band is docked and its toolbar window is visible")
        ids = [x["id"] for x in toolbar["buttons"]]
        self.check(ids == BUTTON_ORDER, "buttons in resource order: %s" % " ".join(str(i) for i in ids if i),
                   "buttons %s, expected %s" % (ids, BUTTON_ORDER))
        captions = {x["id"]: x["text"] for x in toolbar["buttons"]}
        self.check(captions[2009] == "新規:" and captions[2015] == "一覧:" and captions[2022] == "新着情報",
                   "text buttons read 新規: / 一覧: and the appointment button 新着情報",
                   "captions %r / %r / %r" % (captions[2009], captions[2015], captions[2022]))
        self.check(toolbar["search"] is not None, "the search box sits over button 2003")
        def initialized():
            exists, values = self.registry()
            init = values.get("Initialized", {})
            return exists and init.get("type") == REG_DWORD and init.get("number") == 1
        self.expect_state("registry: %s has Initialized = 1 (REG_DWORD)" % SETTINGS_KEY, initialized,
                          lambda: sorted(self.registry()[1].items()))
        _, values = self.registry()
        stamp = values.get("LastExecute", {}).get("number", 0)
        self.check(stamp_is_recent(stamp, datetime.datetime.now()), "registry: LastExecute = %d (this hour)" % stamp,
                   "registry: LastExecute = %d, not the hour of this run" % stamp)
        first = self.wait_request("start", "the first page request", url=self.start_url)[0]
        agent = header(first, "User-Agent") or ""
        token = re.search(r"TavelleToolbar/[0-9.]+", agent)
        self.check(token is not None, "the browser's requests carry the user-agent token %s" %
                   (token.group(0) if token else "?"), "User-Agent without the token: %r" % agent)
        self.version = token.group(0).split("/")[1]

    def step_offer_server_url(self):
        prompt = self.strings.get(545, "URLが設定されていません").split("\n")[0]
        box = self.wait_for("the offer to store the server address", lambda: self.dialog(text=prompt), timeout=30)
        buttons = sorted(c["id"] for c in box["controls"] if c["class"].lower() == "button" and c["visible"])
        self.check(box["title"] == self.strings.get(500, "Tavelle(R) ツールバー") and buttons == [IDYES, IDNO],
                   "message box %r with Yes and No: %s" % (box["title"], prompt))
        self.answer_box(box, IDYES)
        self.verified("answered Yes")
        follow = self.strings.get(546, "URLが設定されました").split("\n")[0]
        box = self.wait_for("the question about further settings", lambda: self.dialog(text=follow), timeout=15)
        self.verified("then: %s" % follow)
        self.answer_box(box, IDYES)
        dlg = self.wait_for("the options dialog", lambda: self.dialog(title=OPTIONS_TITLE), timeout=20)
        self.check(self.control(dlg, 518)["text"] == GROUPWARE,
                   "answered Yes: the options dialog opens with the address just stored",
                   "address field shows %r" % self.control(dlg, 518)["text"])
        self.driver.call("press", dlg["hwnd"], IDCANCEL)
        self.wait_for("the options dialog to close", lambda: self.gone(dlg["hwnd"]), timeout=15)
        self.verified("cancelled it (the options are filled in from the toolbar's menu next)")
        self.expect_state("registry: Parameters\\TavelleUrl = %s (the base address of the page shown)" % GROUPWARE,
                          lambda: self.setting("TavelleUrl") == GROUPWARE, self.settings_seen)

    def step_options(self):
        self.mark("options")
        self.account_stored = True  # from here on the closing check expects the log-in name
        menu = self.choose_from_menu(2001, None)
        items = [(i["id"], i["text"]) for i in menu["items"] if not i["separator"]]
        self.check([i for i, _ in items] == [219, 257, 220],
                   "main menu: %s" % " / ".join(t for _, t in items), "main menu items %r" % items)
        self.driver.call("menu", 219)
        dlg = self.wait_for("the options dialog", lambda: self.dialog(title=OPTIONS_TITLE), timeout=20)
        self.check(self.control(dlg, 518)["text"] == GROUPWARE, "the dialog shows the stored address %s" % GROUPWARE,
                   "address field shows %r" % self.control(dlg, 518)["text"])
        self.driver.call("set-text", dlg["hwnd"], 516, ACCOUNT[0])
        if not self.control(dlg, 519)["checked"]:
            self.driver.call("press", dlg["hwnd"], 519)
        dlg = self.wait_for("the log-in fields to be enabled",
                            lambda: (lambda d: d if d and self.control(d, 519)["checked"] and
                                     self.control(d, 517)["enabled"] else None)(self.refresh(dlg)), timeout=10)
        self.driver.call("set-text", dlg["hwnd"], 517, ACCOUNT[1])
        dlg = self.refresh(dlg)
        self.check(self.control(dlg, 516)["text"] == ACCOUNT[0] and self.control(dlg, 519)["checked"],
                   "entered the log-in name %s and a password, ticked automatic log-in" % ACCOUNT[0])
        self.screenshot("options-dialog.png", "the options dialog, filled in", [dlg])
        self.mark("options-ok")
        self.driver.call("press", dlg["hwnd"], IDOK)
        self.wait_for("the options dialog to close", lambda: self.gone(dlg["hwnd"]), timeout=15)
        # OK asks the server for its permission file first, then stores: the registry is read
        # once the toolbar has got there.
        self.expect_state("registry: Parameters\\Username = %s, AutoLogin = Yes" % ACCOUNT[0],
                          lambda: self.setting("Username") == ACCOUNT[0] and self.setting("AutoLogin") == "Yes",
                          self.settings_seen)
        def password():
            value = self.registry()[1].get("UserPassword", {})
            return value.get("type"), value.get("bytes", "").encode("latin-1")
        self.expect_state("registry: UserPassword stored as REG_BINARY", lambda: password()[0] == REG_BINARY,
                          lambda: "type %r" % (password()[0],))
        raw = password()[1]
        self.check(raw and ACCOUNT[1].encode() not in raw and ACCOUNT[1].encode("utf-16-le") not in raw,
                   "registry: UserPassword (%d bytes) does not hold the password in clear" % len(raw))
        permission = "http://groupware.tavelle.example/tv70/toolbar.txt"
        self.wait_request("options-ok", "the permission file to be read again after OK", url=permission)
        self.check(len(find_requests(self.since("options"), url=permission)) >= 1,
                   "the permission file %s was read (forced again on OK)" % permission)
        self.expect_state("registry: AllowToolbar = Yes, AllowAutoLogin = Yes (from the permission file)",
                          lambda: self.setting("AllowToolbar") == "Yes" and self.setting("AllowAutoLogin") == "Yes",
                          self.settings_seen)

    def step_new_arrivals(self):
        def ready():
            t = self.toolbar()
            top, appointment = self.button(t, 2002), self.button(t, 2022)
            if top["style"] & BTNS_DROPDOWN and appointment["text"] == self.expected_caption:
                return t
            return None
        toolbar = self.wait_for("the new-arrivals arrow and the next appointment", ready, timeout=25)
        self.verified("button 2002 has its drop-down arrow (new arrivals)")
        appointment = self.button(toolbar, 2022)
        self.check(appointment["state"] & TBSTATE_ENABLED,
                   "button 2022 shows the next appointment %r and is enabled" % appointment["text"])
        body = ("_System=login&_Login=1&_Account=%s&Password=%s&_notimecard=1" % ACCOUNT).encode()
        for query in ("?page=RMMySchedule", "?page=RMDigest"):
            posts = [e for e in find_requests(self.since("options-ok"), url=GROUPWARE + query, method="POST")
                     if body_of(e) == body]
            self.check(posts and (header(posts[0], "Pragma") or "") == "no-cache",
                       "POST %s with the log-in body + &_notimecard=1 and Pragma: no-cache" % query,
                       "no such POST of %s; log: %s" % (query, [request_url(e) for e in self.since("options-ok")]))

    def step_login_page(self):
        self.mark("login")
        self.driver.call("navigate", GROUPWARE + "?page=AGIndex")
        self.verified("entered the address %s?page=AGIndex" % GROUPWARE)
        self.wait_page("AGIndex - Tavelle(R) Office")
        log = self.since("login")
        first = find_requests(log, url=GROUPWARE + "?page=AGIndex", method="GET")
        self.check(first, "the server answered the page with its log-in page (not logged in yet)")
        time.sleep(1.0 * SLOW)  # a second submission would show by now
        b = self.browser()
        subs = b["submissions"]
        self.check(len(subs) == 1 and subs[0]["form"] == "LoginForm",
                   "the helper object filled the form LoginForm and submitted it once",
                   "form submissions: %r" % subs)
        form_posts = [e for e in find_requests(self.since("login"), method="POST")
                      if is_login_post(e, ACCOUNT) and b"_notimecard" not in body_of(e)]
        self.check(len(form_posts) == 1,
                   "server: exactly one log-in post (%s) to %s" % (body_of(form_posts[0]).decode(), request_url(form_posts[0]))
                   if len(form_posts) == 1 else "", "log-in posts: %d" % len(form_posts))
        self.verified("the browser shows the top page AGIndex, logged in")
        self.screenshot("top-page.png", "the top page, with the new-arrivals arrow and the next appointment")

    def step_digest_menu(self):
        menu = self.choose_from_menu(2002, None, arrow=True)
        entries = [(i["id"], i["text"]) for i in menu["items"]]
        expected = [(229 + n, "%s: %s" % (r[0], r[2])) for n, r in enumerate(DIGEST[1:], 1)]
        self.check(entries == expected, "the drop-down lists %s" % " / ".join(t for _, t in entries),
                   "drop-down entries %r, expected %r" % (entries, expected))
        self.screenshot("digest-menu.png", "the open new-arrivals drop-down", [menu])
        self.mark("digest")
        self.driver.call("menu", 231)
        self.wait_for("the menu to close", lambda: self.popup_menu() is None, timeout=10)
        target = GROUPWARE + "?page=MailView&mid=345"
        got = self.wait_request("digest", "the entry's page", url=target, method="GET")
        self.check((header(got[0], "Pragma") or "") == "no-cache", "chose %r: GET %s (Pragma: no-cache)" %
                   (expected[1][1], target))
        self.wait_page("MailView - Tavelle(R) Office")
        again = self.wait_for("the digest to be fetched again about 4 s later",
                              lambda: find_requests(self.since("digest"), url=GROUPWARE + "?page=RMDigest"), timeout=15)
        cookie = header(again[0], "Cookie") or ""
        self.check(cookie.startswith("AGSESSID="),
                   "the digest was fetched again %s with the page's cookie (%s...)" %
                   ("shortly after", cookie[:14]), "digest fetched again without the cookie: %r" % cookie)

    def step_commands(self):
        actions = [
            ("button 2016 (スケジュール(個人月表示))", lambda: self.driver.call("click", 2016), "?page=ScheduleUserMonth"),
            ("button 2017 (ToDoリスト)", lambda: self.driver.call("click", 2017), "?page=ToDoIndex"),
            ("button 2074 (リンク集)", lambda: self.driver.call("click", 2074), "?page=LinkIndex"),
            ("button 2010 (メールを送る)", lambda: self.driver.call("click", 2010), "?page=MailSend"),
            ("一覧: > アドレス帳(人名一覧)", lambda: self.choose_from_menu(2015, 244), "?page=AddressIndex&tab=person"),
            ("新規: > 予定を登録する", lambda: self.choose_from_menu(2009, 211), "?page=ScheduleEntry"),
            ("button 2022 (the appointment)", lambda: self.driver.call("click", 2022), "?page=ScheduleUserWeek"),
        ]
        for n, (what, act, query) in enumerate(actions):
            mark = "command%d" % n
            self.mark(mark)
            act()
            self.wait_request(mark, "the page of %s" % what, url=GROUPWARE + query, method="GET")
            page = urllib.parse.parse_qs(query[1:])["page"][0]
            self.wait_page("%s - Tavelle(R) Office" % page)
            self.verified("%s opened %s" % (what, query))
        self.choose_from_menu(2001, 220)
        about = self.wait_for("the about box", lambda: self.dialog(title="Tavelle ツールバーについて"), timeout=15)
        version = self.control(about, 524)["text"]
        self.check(version == "Version " + self.version, "the about box shows %r" % version,
                   "the about box shows %r, expected 'Version %s'" % (version, self.version))
        self.answer_box(about, IDOK)

    def step_searches(self):
        web = self.strings[2051]
        url = web.replace("%s", escape_query("会議 資料", "utf-8"))
        self.mark("web")
        before = len(self.browser()["navigations"])
        typed = self.driver.call("type", "会議 資料", "replace")["search"]
        self.check(typed["text"] == "会議 資料", "typed 会議 資料 into the search box",
                   "the search box holds %r after typing 会議 資料" % typed["text"])
        self.driver.call("click", 2004)
        split = urllib.parse.urlsplit(url)
        if split.scheme == "https":
            # The stand-in speaks plain HTTP: an HTTPS address reaches it only as a tunnel
            # request through the proxy, which it logs and refuses. The address itself is read
            # from the browser's record of what the toolbar asked it to open.
            nav = self.wait_for("the browser to be sent to the web search",
                                lambda: [n for n in self.browser()["navigations"][before:] if n["url"] == url],
                                timeout=20)[0]
            self.verified("button 2004 (Webを検索): the toolbar sent the browser to %s (%s)" % (url, nav["origin"]))
            tunnel = "%s:%d" % (split.hostname, split.port or 443)
            self.wait_for("the browser's tunnel request to %s" % tunnel,
                          lambda: [e for e in self.since("web") if e["method"] == "CONNECT" and e["target"] == tunnel],
                          timeout=20)
            self.verified("server: CONNECT %s, the browser's HTTPS tunnel through the proxy (refused: the "
                          "stand-in does not serve HTTPS, so the search page itself is not shown)" % tunnel)
        else:
            self.wait_request("web", "the web search", url=url, method="GET")
            self.verified("button 2004 (Webを検索): GET %s" % url)
            self.wait_page("Web search")
        self.mark("bulletin")
        self.driver.call("type", "議事録", "replace")
        self.driver.call("click", 2005)
        url = GROUPWARE + "?page=BulletinSimpleSearch&cp=bw&Text=" + escape_query("議事録", "cp932")
        self.wait_request("bulletin", "the bulletin search", url=url, method="GET")
        self.verified("button 2005 (掲示板を検索): GET %s (Shift_JIS bytes)" % url)
        self.wait_page("BulletinSimpleSearch - Tavelle(R) Office")
        def history():
            _, mru = self.registry("SearchMRU")
            return [mru[k]["text"] for k in sorted((k for k in mru if k.isdigit()), key=int)]
        self.expect_state("registry: SearchMRU holds 0 = 議事録, 1 = 会議 資料",
                          lambda: history()[:2] == ["議事録", "会議 資料"], lambda: "SearchMRU %r" % history())
        box = self.driver.call("type", "会", "replace")["search"]
        self.check(box["text"] == "会議 資料" and box["selection"] == [1, len("会議 資料")],
                   "typing 会 completes to 会議 資料 from the history, the added part selected",
                   "after typing 会 the box holds %r with selection %r" % (box["text"], box["selection"]))
        self.check(box["items"][:2] == ["議事録", "会議 資料"], "the drop-down list shows the history, newest first",
                   "list items %r" % box["items"])

    def step_update_check(self):
        # The new-arrival entry restarted the start-up timer, which also runs the automatic check;
        # publish the new version only after that, so that the notice comes from the menu's check.
        updates = self.strings[503]
        self.wait_for("the automatic update check of the restarted timer",
                      lambda: find_requests(self.since("digest"), url=updates), timeout=20)
        time.sleep(0.5 * SLOW)  # the answer (404) reaches the check; a notice would open by now
        self.check(self.dialog(title="Tavelle ツールバーの更新") is None,
                   "the automatic check read %s and stayed silent (no version published yet)" % updates,
                   "an update notice opened although no version was published")
        self.standin.control({"version_txt": "LatestVersion=%s\r\nDownloadPath=%s\r\n" % (
            NEW_VERSION, self.strings.get(504, "http://www.tavelle.example/") + "download/")})
        self.verified("published LatestVersion=%s on the stand-in update server" % NEW_VERSION)
        self.mark("update")
        self.choose_from_menu(2001, 257)
        title = "Tavelle ツールバーの更新"
        notice = self.wait_for("the update notice", lambda: self.dialog(title=title), timeout=20)
        text = self.control(notice, 514)["text"].replace("\r", "")
        expected = self.strings.get(505, "%s %s")
        expected = expected.replace("%s", NEW_VERSION, 1).replace("%s", self.strings.get(500, ""), 1)
        self.check(expected.split("\n")[0] in text, "the notice says: %s" % text.replace("\n", " "),
                   "notice text %r, expected %r" % (text, expected))
        self.check(self.control(notice, IDYES)["visible"] and self.control(notice, IDNO)["visible"] and
                   not self.control(notice, IDOK)["visible"] and notice["topmost"],
                   "it asks Yes / No and stays on top")
        self.check(find_requests(self.since("update"), url=updates, method="GET"),
                   "server: GET %s" % updates)
        self.screenshot("update-notice.png", "the update notice", [notice])
        self.driver.call("press", notice["hwnd"], IDNO)
        self.wait_for("the notice to close", lambda: self.gone(notice["hwnd"]), timeout=10)
        self.verified("answered No (Yes would start iexplore.exe with the download address)")

    def step_close(self):
        self.driver.call("close")
        try:
            rc = self.host.wait(30 * SLOW)
        except subprocess.TimeoutExpired:
            raise StepFailed("the browser did not end within %d s of closing its window" % (30 * SLOW))
        self.check(rc == 0, "the browser window closed and the program ended (exit code 0)",
                   "the browser ended with exit code %d" % rc)
        self.host_out.flush()
        with open(self.host_out.name, "rb") as f:
            faults = fault_reports(f.read().decode("utf-8", errors="replace"))
        self.check(not faults, "no fault guard reported a fault (debugger output)",
                   "the debugger output has fault reports: %s" % "; ".join(faults[:5]))
        query = subprocess.run([self.args.wine, "reg", "query", "HKCU\\" + SETTINGS_KEY + "\\Parameters"],
                               capture_output=True, timeout=120 * SLOW, env=wine_environment())
        text = query.stdout.decode("utf-8", errors="replace")
        self.check(query.returncode == 0 and GROUPWARE in text and (ACCOUNT[0] in text or not self.account_stored),
                   "reg query after the end: the settings stay in the registry",
                   "reg query: %s" % text.strip())
        for line in text.splitlines():
            if line.strip() and "REG_" in line:
                self.say("          " + line.strip())

    # -- the run
    def start(self):
        now = datetime.datetime.now()
        schedule, self.expected_caption = schedule_for(now)
        config = {
            "accounts": {ACCOUNT[0]: ACCOUNT[1]},
            "toolbar_txt": "AllowToolbar=yes\r\nAllowAutoLogin=yes\r\n",
            "version_txt": None,
            "digest": DIGEST,
            "schedule": schedule,
            "routes": {"/": {"body": PORTAL_PAGE, "headers": [["Content-Type", "text/html; charset=UTF-8"]]}},
        }
        self.standin = Standin(config, self.logdir)
        set_wine_proxy(self.args.wine, self.standin.port, self.logdir)
        self.start_url = GROUPWARE + "?page=AGIndex"
        command = [self.args.wine, self.args.host, "--dll", self.args.dll, "--bho", self.args.bho,
                   "--band", self.args.band, "--system-proxy"]
        if not self.args.interactive:
            self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self.listener.bind(("127.0.0.1", 0))
            self.listener.listen(1)
            command += ["--driver", str(self.listener.getsockname()[1])]
        command.append(self.start_url)
        self.marks["start"] = 0
        self.host_out = open(os.path.join(self.logdir, "browser-output.log"), "wb")
        env = wine_environment()
        # Wine writes the program's debugger output on this channel: the fault guards' reports.
        env["WINEDEBUG"] = "-all,warn+seh"
        self.host = subprocess.Popen(command, stdout=self.host_out, stderr=subprocess.STDOUT, env=env)

    def abort(self):
        """The whole session ran out of time: end the browser, so that every wait ends."""
        print("the session ran out of time (%g s); ending the browser" % (self.args.timeout * SLOW), file=sys.stderr)
        if self.host and self.host.poll() is None:
            self.host.kill()

    def stop(self):
        if self.driver:
            self.driver.close()
        if self.host and self.host.poll() is None:
            self.host.terminate()
            try:
                self.host.wait(10)
            except subprocess.TimeoutExpired:
                self.host.kill()
        if self.listener:
            self.listener.close()
        if self.standin:
            self.standin.stop()
        # The logs a failure is read from: the server's requests (written above), the browser's
        # record and the registry as the session left it.
        if not self.args.interactive:
            with open(os.path.join(self.logdir, "browser.log"), "w", encoding="utf-8") as f:
                f.write(browser_record_text(self.browser_record))
        if os.environ.get("WINEPREFIX"):
            export_settings(self.args.wine, os.path.join(self.logdir, "regedit.log"))

    def run_scripted(self):
        # What an earlier run left here (a failure picture above all) would pass for this run's.
        for name in SESSION_OUTPUTS:
            try:
                os.remove(os.path.join(self.out, name))
            except FileNotFoundError:
                pass
        steps = [
            ("The browser starts; the toolbar appears on the first run", self.step_first_run),
            ("Visiting a groupware page offers its address", self.step_offer_server_url),
            ("The options dialog: log-in name, password, automatic log-in", self.step_options),
            ("New arrivals and the next appointment appear", self.step_new_arrivals),
            ("The log-in page is filled in and submitted once", self.step_login_page),
            ("The new-arrivals drop-down opens an entry", self.step_digest_menu),
            ("Buttons and menu items open their pages", self.step_commands),
            ("A web search and a bulletin search, kept in the history", self.step_searches),
            ("A manual update check finds the newer version", self.step_update_check),
            ("Closing the browser", self.step_close),
        ]
        if self.args.steps and self.args.steps < len(steps) - 1:
            steps = steps[:self.args.steps] + steps[-1:]
        self.say("Tavelle toolbar demo: a scripted session")
        shipped32 = os.path.join(ROOT, "dist", "x86", "TavelleToolbarIE.dll")
        run = windows_path_in_prefix(self.args.dll)
        if self.args.guest:
            # The shipped DLL itself runs here: say where, and that it is the same file.
            same = os.path.exists(shipped32) and file_digest(shipped32) == file_digest(run)
            self.say("  machine:  %s" % self.args.guest)
            self.say("  shipped:  dist/x86/TavelleToolbarIE.dll, %s, %d bytes: the DLL that runs here" % (
                pe_machine(shipped32), os.path.getsize(shipped32)) if os.path.exists(shipped32) else
                "  shipped:  dist/x86/TavelleToolbarIE.dll is missing")
            self.say("  browser:  %s, %s, under 32-bit Wine" % (os.path.basename(self.args.host),
                                                               pe_machine(self.args.host)))
            self.say("  toolbar:  %s, %s: %s, registered by %s" % (
                self.args.dll, pe_machine(run),
                "the shipped DLL, byte for byte" if same else "NOT the same file as dist/x86/TavelleToolbarIE.dll",
                self.args.registered_by))
        else:
            for folder, note in (("x86", "not run here (bash scripts/demo.sh --32 runs it in an emulated "
                                         "32-bit guest)"),
                                 ("x64", "the 64-bit tabs' module, built as the toolbar below")):
                shipped = os.path.join(ROOT, "dist", folder, "TavelleToolbarIE.dll")
                if os.path.exists(shipped):
                    self.say("  shipped:  dist/%s/TavelleToolbarIE.dll, %s, %d bytes; %s"
                             % (folder, pe_machine(shipped), os.path.getsize(shipped), note))
                else:
                    self.say("  shipped:  dist/%s/TavelleToolbarIE.dll was not built in this run" % folder)
            self.say("  browser:  %s, %s, under 64-bit Wine" % (os.path.basename(self.args.host),
                                                               pe_machine(self.args.host)))
            self.say("  toolbar:  %s, %s: the same sources built for x86-64, registered by %s" % (
                self.args.dll, pe_machine(run), self.args.registered_by))
        self.say("  servers:  stand-in groupware %s, update server %s, web search and portal, all on "
                 "127.0.0.1:%d (the prefix's proxy)" % (GROUPWARE, self.strings.get(503, "?"), self.standin.port))
        self.say("  account:  %s / %s" % ACCOUNT)
        if len(steps) < 10:
            self.say("  steps:    the first %d and the closing one" % (len(steps) - 1))
        self.say("")
        failed = None
        started = time.monotonic()
        for n, (title, fn) in enumerate(steps, 1):
            self.say("%2d. %s" % (n, title))
            t0 = time.monotonic()
            try:
                fn()
                self.take_browser_record()
            except (StepFailed, DriverError) as e:
                self.take_browser_record()
                self.say("    FAILED: %s" % e)
                failed = n
                try:
                    self.screenshot("failure.png", "the screen when step %d failed" % n)
                except Exception:
                    pass
                break
            self.say("    ok (%.1f s)" % (time.monotonic() - t0))
        self.say("")
        if failed:
            self.say("%d of %d steps passed; step %d failed. Logs: %s" % (failed - 1, len(steps), failed, self.logdir))
        else:
            self.say("All %d steps passed in %.0f s." % (len(steps), time.monotonic() - started))
        if self.shots:
            self.say("Screenshots in %s:" % self.out)
            for name, caption in self.shots:
                self.say("  %-20s %s" % (name, caption))
        with open(os.path.join(self.out, "transcript.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(self.transcript) + "\n")
        return 1 if failed else 0

    def run_interactive(self):
        print("The test browser is open with the toolbar (x86-64 build under 64-bit Wine).")
        print("  groupware: %s   account: %s / %s" % (GROUPWARE, ACCOUNT[0], ACCOUNT[1]))
        print("  The stand-in server answers every address through the prefix's proxy (127.0.0.1:%d);" %
              self.standin.port)
        print("  its log: curl http://127.0.0.1:%d/__log" % self.standin.port)
        print("  Try: answer Yes to the address offer, set the account in the options (logo button),")
        print("  then the buttons, the search box, the new-arrivals arrow and 更新をチェックする.")
        print("Close the browser window or press Ctrl+C to stop.")
        self.standin.control({"version_txt": "LatestVersion=%s\r\nDownloadPath=%s\r\n" % (
            NEW_VERSION, self.strings.get(504, "http://www.tavelle.example/") + "download/")})
        try:
            self.host.wait()
        except KeyboardInterrupt:
            print("\nstopping")
        return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wine", required=True, help="the Wine loader")
    parser.add_argument("--host", required=True, help="tavelle_test_host.exe")
    parser.add_argument("--dll", required=True, help="the registered DLL as Windows sees it")
    parser.add_argument("--bho", required=True, help="class id of the browser helper object")
    parser.add_argument("--band", required=True, help="class id of the toolbar band")
    parser.add_argument("--strings", default=os.path.join(ROOT, "src", "resources", "strings.txt"))
    parser.add_argument("--out", default=os.path.join(ROOT, "artifacts", "demo"))
    parser.add_argument("--interactive", action="store_true")
    parser.add_argument("--timeout", type=float, default=600, help="the whole session's limit in seconds")
    parser.add_argument("--steps", type=int, default=0, help="only the first N steps, then the closing one")
    parser.add_argument("--registered-by", default="regsvr32", help="how the toolbar was registered")
    parser.add_argument("--slow", type=float, default=1.0, help="every wait and limit this many times longer")
    parser.add_argument("--guest", default="", help="the emulated machine the shipped 32-bit DLL runs in")
    args = parser.parse_args(argv)
    global SLOW
    SLOW = max(1.0, args.slow)
    os.makedirs(args.out, exist_ok=True)
    session = Session(args)
    if not args.interactive:
        watchdog = threading.Timer(args.timeout * SLOW, session.abort)
        watchdog.daemon = True
        watchdog.start()
    try:
        session.start()
        if args.interactive:
            return session.run_interactive()
        return session.run_scripted()
    except StepFailed as e:
        print("FAILED: %s" % e, file=sys.stderr)
        return 1
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
