#!/usr/bin/env python3
"""A stand-in for the servers the toolbar talks to, on a loopback port.

One program plays three parts:
  * the groupware: its CGI (any path ending in /ag.cgi or /ag.exe) with the log-in page, the
    log-in post, session cookies, ordinary pages and the two list pages RMDigest and
    RMMySchedule, plus the permission file /tv70/toolbar.txt;
  * the maker's update server: /tools/toolbar/ie-version.txt;
  * the maker's web search: /search/.
As a proxy it also takes CONNECT requests (HTTPS tunnels): they are logged and refused with 502.

Tests steer it through a small control API and read back exactly what was sent to it:
  POST /__control   JSON object; its keys replace those of the configuration (see DEFAULTS)
  POST /__routes    JSON object of routes (see "routes" below) added to those in force
  POST /__reset     configuration back to DEFAULTS, log and sessions emptied
  GET  /__config    the configuration in force
  GET  /__log       every request so far (control requests excluded) as a JSON list of
                    {method, target, version, headers: [[name, value], ...], body_b64, raw_b64}
                    (raw: the request's bytes exactly as they arrived, head and body)
  GET  /__log/raw?i=N  the raw bytes of request N alone (negative N counts from the end)
  GET  /__log/count the number of requests logged, as text
  POST /__log/clear empties the log
  POST /__shutdown  stops the server

For long runs the server can flip between ways of being unwell ("flip" below): each answer
other than the control API's and the proxy's tunnels is served in the mode of the moment,
"up" (as configured, routes included), "down" (the connection closes without an answer),
"slow" (the answer comes late), "drip" (it comes a few bytes at a time) or "garbage" (bytes
that are no answer, or a 200 whose body is noise). The mode is logged with each request.

Start: standin_server.py [--port N] [--port-file F] [--config F.json] [--idle-exit S]
                         [--max-lifetime S]
It binds 127.0.0.1 (port 0 picks a free one), prints "PORT <n>" on its standard output and
writes the number to --port-file when given. Only the standard library is used.
"""
import argparse
import base64
import copy
import json
import os
import random
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOGIN_TITLE = "ログイン - Tavelle(R) Office"
LOGIN_PREFIX = b"_System=login&_Login=1&"
COOKIE_NAME = "AGSESSID"

DEFAULTS = {
    # Accounts accepted by the log-in post: user name -> password.
    "accounts": {"taro": "secret"},
    # Declared character set of the text answers (list pages, permission and version files):
    # "Shift_JIS", "EUC-JP", "UTF-8", "none" (no charset parameter) or any other name, which
    # is declared as given and encoded as Shift_JIS (what a client falls back to).
    "charset": "Shift_JIS",
    # Content of /tv70/toolbar.txt; null answers 404.
    "toolbar_txt": None,
    # Content of /tools/toolbar/ie-version.txt; null answers 404.
    "version_txt": None,
    # The list pages: a list of records (lists of fields, written comma-separated with CRLF
    # and closed by a NOERROR line) or a string sent exactly as given.
    "digest": [["header"]],
    "schedule": [],
    # Scripted answers that take precedence over everything else. Key: the request target
    # exactly as sent (path and query), or the path alone. Value: {"status": 200,
    # "headers": [[name, value], ...], "body": text, "encoding": "utf-8", "body_b64": ...,
    # "delay": seconds before the answer, "location": a redirect target (status 302 unless
    # given), "size": pad the body by repeating it to this many bytes}. Hostile answers, also
    # per route: "drip": seconds before each byte of the body (and of the status line and
    # headers too with "drip_head": true); "content_length": the length announced instead of
    # the body's (a larger one cuts the answer short), or false for none; either way the
    # connection closes after the body.
    "routes": {},
    # Seconds to wait before every answer (slow-server scenarios).
    "delay": 0,
    # null, or {"modes": ["up", "down", "slow", "drip", "garbage"], "period": seconds each mode
    # lasts, "slow": seconds of delay, "drip": seconds a dripped answer takes}.
    "flip": None,
    # false: every answer says "Connection: close" and the connection ends with it, so that no
    # client keeps idle connections to this server.
    "keep_alive": True,
}

FLIP_MODES = ("up", "down", "slow", "drip", "garbage")

CODECS = {"shift_jis": "cp932", "euc-jp": "euc_jp", "utf-8": "utf-8", "none": "cp932"}


class State:
    def __init__(self, config=None):
        self.lock = threading.Lock()
        self.config = copy.deepcopy(DEFAULTS)
        if config:
            self.config.update(config)
        self.log = []
        self.sessions = set()
        self.last_request = time.monotonic()
        self.started = time.monotonic()
        self.random = random.Random(7)


def flip_mode(flip, started, now):
    """The mode of the moment: the modes in turn, each for `period` seconds."""
    modes = [m for m in flip.get("modes") or FLIP_MODES if m in FLIP_MODES] or ["up"]
    period = float(flip.get("period") or 1.0)
    return modes[int((now - started) / period) % len(modes)]


class DripWriter:
    """An answer's bytes a few at a time, so that it takes `seconds` whatever its length."""

    def __init__(self, raw, seconds):
        self._raw = raw
        self._seconds = seconds

    def write(self, data):
        data = bytes(data)
        pieces = max(1, min(len(data), 24))
        step = -(-len(data) // pieces)
        for i in range(0, len(data), step):
            self._raw.write(data[i:i + step])
            self._raw.flush()
            time.sleep(self._seconds / 2 / pieces)
        return len(data)

    def __getattr__(self, name):
        return getattr(self._raw, name)


def text_answer(state, text):
    """Bytes and Content-Type of a text answer in the configured character set."""
    charset = state.config.get("charset") or "none"
    codec = CODECS.get(charset.lower(), "cp932")
    body = text.encode(codec, errors="replace")
    if charset.lower() == "none":
        return body, "text/plain"
    return body, "text/plain; charset=" + charset


def list_page_text(records):
    if isinstance(records, str):
        return records
    lines = [",".join(str(f) for f in rec) for rec in records]
    return "".join(line + "\r\n" for line in lines) + "NOERROR\r\n"


def html_page(title, body_html):
    return ("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"
            "<title>%s</title></head><body>%s</body></html>" % (title, body_html)).encode("utf-8")


def login_page(action, message=""):
    form = ('<form name="LoginForm" method="post" action="%s">'
            '<input type="hidden" name="_System" value="login">'
            '<input type="hidden" name="_Login" value="1">'
            '<input type="text" name="_Account" value="">'
            '<input type="password" name="Password" value="">'
            '<input type="submit" value="ログイン"></form>' % action)
    if message:
        form = "<p>%s</p>" % message + form
    return html_page(LOGIN_TITLE, form)


def parse_form(body):
    """Form fields of a post body as bytes (percent escapes undone, '+' a space). A navigation's
    post data ends in a zero byte, which is not part of the form."""
    if body.endswith(b"\0"):
        body = body[:-1]
    fields = {}
    for part in body.split(b"&"):
        name, _, value = part.partition(b"=")
        name = urllib.parse.unquote_to_bytes(name.replace(b"+", b" "))
        value = urllib.parse.unquote_to_bytes(value.replace(b"+", b" "))
        fields.setdefault(name, value)
    return fields


def account_matches(accounts, user_bytes, password_bytes):
    for user, password in accounts.items():
        for codec in ("utf-8", "cp932"):
            try:
                if user.encode(codec) == user_bytes and password.encode(codec) == password_bytes:
                    return True
            except UnicodeEncodeError:
                continue
    return False


class RecordingReader:
    """The connection's input, keeping a copy of every byte read for the request log."""

    def __init__(self, raw):
        self._raw = raw
        self.record = bytearray()

    def readline(self, size=-1):
        data = self._raw.readline(size)
        self.record += data
        return data

    def read(self, size=-1):
        data = self._raw.read(size)
        self.record += data
        return data

    def __getattr__(self, name):
        return getattr(self._raw, name)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TavelleStandin/1.0"

    def setup(self):
        super().setup()
        self.rfile = RecordingReader(self.rfile)

    def handle_one_request(self):
        self.rfile.record = bytearray()
        super().handle_one_request()

    def log_message(self, fmt, *args):  # quiet
        pass

    def end_headers(self):
        if getattr(self, "closing", False):
            self.send_header("Connection", "close")
        super().end_headers()

    @property
    def state(self):
        return self.server.state

    # -- plumbing ---------------------------------------------------------------------------
    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def send(self, status, body=b"", content_type="text/html; charset=UTF-8", headers=()):
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD" and body:
            try:
                self.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                pass

    def send_json(self, obj, status=200):
        self.send(status, json.dumps(obj, ensure_ascii=False).encode("utf-8"), "application/json; charset=UTF-8")

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def do_HEAD(self):
        self.handle_any()

    def do_PUT(self):
        self.handle_any()

    def do_CONNECT(self):
        self.handle_any()

    def handle_any(self):
        body = self.read_body()
        split = urllib.parse.urlsplit(self.path)
        if split.path.startswith("/__"):
            self.control(split.path, body)
            return
        with self.state.lock:
            self.state.last_request = time.monotonic()
            entry = {
                "method": self.command,
                "target": self.path,
                "version": self.request_version,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body_b64": base64.b64encode(body).decode("ascii"),
                "raw_b64": base64.b64encode(bytes(self.rfile.record)).decode("ascii"),
            }
            config = copy.deepcopy(self.state.config)
            self.closing = config.get("keep_alive") is False
            flip = config.get("flip")
            mode = flip_mode(flip, self.state.started, self.state.last_request) if flip else None
            if mode and self.command != "CONNECT":
                entry["flip"] = mode
            self.state.log.append(entry)
        if mode and self.command != "CONNECT" and self.unwell(mode, flip):
            return
        if self.command == "CONNECT":
            # A tunnel for HTTPS through this server as a proxy: logged, then refused, since
            # the stand-in speaks plain HTTP only.
            self.close_connection = True
            self.send(502, html_page("502 Bad Gateway", "<p>The stand-in serves plain HTTP only.</p>"),
                      headers=[("Connection", "close")])
            return
        delay = float(config.get("delay") or 0)
        route = config["routes"].get(self.path)
        if route is None:
            route = config["routes"].get(split.path)
        if route is not None:
            self.scripted(route, delay)
            return
        if delay:
            time.sleep(delay)
        self.serve(split, body, config)

    def unwell(self, mode, flip):
        """Serves the request in a flipped mode; False when it is to be answered as usual."""
        if mode == "down":
            self.close_connection = True
            return True
        if mode == "garbage":
            with self.state.lock:
                noise = bytes(self.state.random.getrandbits(8) for _ in range(self.state.random.randint(1, 600)))
                framed = self.state.random.random() < 0.5
            self.close_connection = True
            try:
                if framed:
                    self.send_response(200)
                    self.send_header("Content-Type", "text/plain")
                    self.send_header("Content-Length", str(len(noise)))
                    self.end_headers()
                self.wfile.write(noise)
            except (BrokenPipeError, ConnectionResetError):
                pass
            return True
        if mode == "slow":
            time.sleep(float(flip.get("slow") or 1.0))
        elif mode == "drip":
            # For this answer only: the connection ends with it.
            self.close_connection = True
            self.wfile = DripWriter(self.wfile, float(flip.get("drip") or 1.0))
        return False

    def scripted(self, route, delay):
        delay += float(route.get("delay") or 0)
        if delay:
            time.sleep(delay)
        status = int(route.get("status") or (302 if route.get("location") else 200))
        headers = [tuple(h) for h in route.get("headers", [])]
        if route.get("location"):
            headers.append(("Location", route["location"]))
        if "body_b64" in route:
            body = base64.b64decode(route["body_b64"])
        else:
            body = route.get("body", "").encode(route.get("encoding", "utf-8"))
        size = int(route.get("size") or 0)
        if size and body:
            body = (body * (size // len(body) + 1))[:size]
        drip = float(route.get("drip") or 0)
        length = route.get("content_length", len(body))
        if length != len(body) or drip:
            self.close_connection = True
        if drip and route.get("drip_head"):
            self.drip_head(status, headers, length, drip)
        else:
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            if length is not False:
                self.send_header("Content-Length", str(length))
            if self.close_connection:
                self.send_header("Connection", "close")
            self.end_headers()
        try:
            if drip:
                self.wfile.flush()
                for i in range(len(body)):
                    time.sleep(drip)
                    self.wfile.write(body[i:i + 1])
                    self.wfile.flush()
                return
            # Large bodies go out in pieces so a client that gives up does not stall us long.
            for i in range(0, len(body), 65536):
                self.wfile.write(body[i:i + 65536])
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def drip_head(self, status, headers, length, drip):
        """The status line and headers one byte at a time."""
        head = "HTTP/1.1 %d %s\r\n" % (status, self.responses.get(status, ("",))[0])
        for name, value in headers:
            head += "%s: %s\r\n" % (name, value)
        if length is not False:
            head += "Content-Length: %s\r\n" % length
        head = (head + "Connection: close\r\n\r\n").encode("latin-1")
        try:
            for i in range(len(head)):
                time.sleep(drip)
                self.wfile.write(head[i:i + 1])
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass

    # -- the servers --------------------------------------------------------------------------
    def serve(self, split, body, config):
        path = split.path
        if path == "/tv70/toolbar.txt":
            self.serve_file(config.get("toolbar_txt"))
        elif path == "/tools/toolbar/ie-version.txt":
            self.serve_file(config.get("version_txt"))
        elif path.startswith("/search/"):
            query = urllib.parse.parse_qs(split.query).get("query", [""])[0]
            self.send(200, html_page("Web search", "<p>%s</p>" % query))
        elif path.endswith("/ag.cgi") or path.endswith("/ag.exe"):
            self.groupware(split, body, config)
        else:
            self.send(404, html_page("404 Not Found", "<p>Not Found</p>"))

    def serve_file(self, content):
        if content is None:
            self.send(404, html_page("404 Not Found", "<p>Not Found</p>"))
            return
        data, content_type = text_answer(self.state, content)
        self.send(200, data, content_type)

    def session_of_request(self):
        for header in self.headers.get_all("Cookie") or []:
            for part in header.split(";"):
                name, _, value = part.strip().partition("=")
                if name == COOKIE_NAME:
                    with self.state.lock:
                        if value in self.state.sessions:
                            return value
        return None

    def groupware(self, split, body, config):
        query = urllib.parse.parse_qs(split.query)
        page = query.get("page", [None])[0]
        extra_headers = []
        logged_in = self.session_of_request() is not None
        if self.command == "POST" and (body.startswith(LOGIN_PREFIX)):
            form = parse_form(body)
            if account_matches(config["accounts"], form.get(b"_Account", b""), form.get(b"Password", b"")):
                session = secrets.token_hex(16)
                with self.state.lock:
                    self.state.sessions.add(session)
                extra_headers.append(("Set-Cookie", "%s=%s; path=/" % (COOKIE_NAME, session)))
                logged_in = True
                if b"page" in form and not page:
                    page = form[b"page"].decode("utf-8", "replace")
            else:
                self.send(200, login_page(split.path, "ユーザー名またはパスワードが違います。"))
                return
        if not logged_in:
            self.send(200, login_page(split.path))
            return
        if page == "RMDigest" or page == "RMMySchedule":
            records = config["digest"] if page == "RMDigest" else config["schedule"]
            data, content_type = text_answer(self.state, list_page_text(records))
            self.send(200, data, content_type, extra_headers)
            return
        page = page or "AGIndex"
        self.send(200, html_page("%s - Tavelle(R) Office" % page, "<h1>%s</h1>" % page),
                  headers=extra_headers)

    # -- control ------------------------------------------------------------------------------
    def control(self, path, body):
        state = self.state
        if path in ("/__control", "/__routes") and self.command == "POST":
            try:
                update = json.loads(body.decode("utf-8") or "{}")
                if not isinstance(update, dict):
                    raise ValueError("expected an object")
            except ValueError as e:
                self.send_json({"error": str(e)}, 400)
                return
            with state.lock:
                if path == "/__routes":
                    state.config["routes"] = dict(state.config["routes"], **update)
                else:
                    state.config.update(update)
                config = copy.deepcopy(state.config)
            self.send_json(config)
        elif path == "/__reset" and self.command == "POST":
            with state.lock:
                state.config = copy.deepcopy(DEFAULTS)
                state.log = []
                state.sessions = set()
            self.send_json({"ok": True})
        elif path == "/__config":
            with state.lock:
                config = copy.deepcopy(state.config)
            self.send_json(config)
        elif path == "/__log" and self.command == "GET":
            with state.lock:
                log = list(state.log)
            self.send_json(log)
        elif path == "/__log/raw" and self.command == "GET":
            query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
            with state.lock:
                log = list(state.log)
            try:
                entry = log[int(query.get("i", ["-1"])[0])]
            except (IndexError, ValueError):
                self.send(404, b"no such request", "text/plain")
                return
            self.send(200, base64.b64decode(entry["raw_b64"]), "application/octet-stream")
        elif path == "/__log/count" and self.command == "GET":
            with state.lock:
                count = len(state.log)
            self.send(200, str(count).encode("ascii"), "text/plain")
        elif path == "/__log/clear" and self.command == "POST":
            with state.lock:
                state.log = []
            self.send_json({"ok": True})
        elif path == "/__shutdown" and self.command == "POST":
            self.send_json({"ok": True})
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        else:
            self.send_json({"error": "unknown control " + path}, 404)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def watchdog(server, idle_exit, max_lifetime):
    started = time.monotonic()
    while True:
        time.sleep(0.5)
        now = time.monotonic()
        with server.state.lock:
            idle = now - server.state.last_request
        if (idle_exit and idle > idle_exit) or (max_lifetime and now - started > max_lifetime):
            server.shutdown()
            return


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--config", help="JSON file merged into the defaults")
    parser.add_argument("--idle-exit", type=float, default=0, help="stop after this many idle seconds")
    parser.add_argument("--max-lifetime", type=float, default=0, help="stop after this many seconds")
    args = parser.parse_args(argv)

    config = None
    if args.config:
        with open(args.config, encoding="utf-8") as f:
            config = json.load(f)
    server = Server(("127.0.0.1", args.port), Handler)
    server.state = State(config)
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print("PORT %d" % port, flush=True)
    if args.idle_exit or args.max_lifetime:
        threading.Thread(target=watchdog, args=(server, args.idle_exit, args.max_lifetime), daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
