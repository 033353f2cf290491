#!/usr/bin/env python3
"""The soak: the toolbar in the test browser under Wine through hours of use in minutes.

The browser runs the registered DLL with its timers and its clock sped up (--time-scale of the
test browser), so that a simulated hour passes in 3600 / scale seconds and the periodic check
runs every 300 / scale seconds. Against a stand-in server that flips between up, down, slow,
dripping and answering garbage, the session opens and closes tabs (each with its own helper
object and band on a thread of its own; some closed while their options dialog is open),
applies the options dialog, searches, and answers the update notices. Meanwhile a thread of the
browser reads the settings from the registry over and over, as another browser process would.

At the end it prints, and writes to soak-report.txt: simulated hours, tab cycles, requests,
faults reported by the fault guards, handles, GDI and USER objects, private memory and threads
at the start, after warm-up and at the end, and whether the settings and the search history
stayed intact. It exits non-zero when anything failed or grew.

scripts/soak.sh HOURS prepares the Wine prefix and the display and runs this.
"""
import argparse
import os
import socket
import subprocess
import sys
import threading
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import demo_session as demo  # noqa: E402

UPDATE_TITLE = "Tavelle ツールバーの更新"
OPTIONS_TITLE = "Tavelle ツールバー設定"
TABS_PER_HOUR = 25
QUERIES = ["soak %02d" % n for n in range(40)]  # more than the history holds
MIB = 1024 * 1024


def growth_limits(cycles):
    """What may grow after warm-up over this many tab cycles: a little slack, and far less than
    one object (or 48 KiB) per cycle, which is what a leak of each tab would add."""
    return {"handles": 24 + cycles // 4, "gdi": 24 + cycles // 4, "user": 16 + cycles // 8,
            "private": 12 * MIB + cycles * 48 * 1024, "threads": 4}


def mode_counts(log_entries):
    counts = {}
    for entry in log_entries:
        mode = entry.get("flip", "before the flips")
        counts[mode] = counts.get(mode, 0) + 1
    return counts


class Soak(demo.Session):
    def __init__(self, args):
        super().__init__(args)
        self.cycles = 0
        self.closed_with_dialog = 0
        self.searches = 0
        self.options_applied = 0
        self.notices = 0
        self.manual_checks = 0
        self.stray_boxes = []
        self.samples = []
        self.hours = 0.0
        self.searched = []

    # -- the processes
    def start(self):
        now = demo.datetime.datetime.now()
        schedule, _ = demo.schedule_for(now)
        config = {
            "accounts": {demo.ACCOUNT[0]: demo.ACCOUNT[1]},
            "toolbar_txt": "AllowToolbar=yes\r\nAllowAutoLogin=yes\r\n",
            # A newer version: every automatic check of a new tab and every manual one brings a
            # notice to answer.
            "version_txt": "LatestVersion=%s\r\nDownloadPath=http://www.tavelle.example/download/\r\n" %
                           demo.NEW_VERSION,
            "digest": demo.DIGEST,
            "schedule": schedule,
            # Each answer ends its connection: WinINet keeps idle connections for a minute of
            # real time, two simulated hours here, which would pass for a leak of sockets.
            "keep_alive": False,
        }
        self.standin = demo.Standin(config, self.logdir)
        demo.set_wine_proxy(self.args.wine, self.standin.port, self.logdir)
        self.start_url = demo.GROUPWARE + "?page=AGIndex"
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        command = [self.args.wine, self.args.host, "--dll", self.args.dll, "--bho", self.args.bho,
                   "--band", self.args.band, "--system-proxy", "--time-scale", str(self.args.scale),
                   "--driver", str(self.listener.getsockname()[1]), self.start_url]
        self.marks["start"] = 0
        self.host_out = open(os.path.join(self.logdir, "browser-output.log"), "wb")
        env = demo.wine_environment()
        # The fault guards' reports; TT_SOAK_WINEDEBUG shows more when a run is to be debugged.
        env["WINEDEBUG"] = os.environ.get("TT_SOAK_WINEDEBUG", "-all,warn+seh")
        self.host = subprocess.Popen(command, stdout=self.host_out, stderr=subprocess.STDOUT, env=env)

    def request_count(self):
        with urllib.request.build_opener(urllib.request.ProxyHandler({})).open(
                self.standin.base + "/__log/count", timeout=10) as answer:
            return int(answer.read())

    # -- what a user does
    def answer_dialogs(self):
        """Answers the update notices (No) and any other box that is open; counts them."""
        for w in self.windows():
            if w["class"] != "#32770":
                continue
            if w["title"] == OPTIONS_TITLE:
                continue  # a tab's dialog, closed with its tab
            ids = {c["id"] for c in w.get("controls", []) if c["visible"] and c["class"].lower() == "button"}
            button = demo.IDNO if demo.IDNO in ids else demo.IDOK if demo.IDOK in ids else None
            if button is None:
                continue
            if w["title"] == UPDATE_TITLE:
                self.notices += 1
            else:
                texts = " ".join(c["text"] for c in w.get("controls", []) if c["class"].lower() == "static")
                self.stray_boxes.append("%s: %s" % (w["title"], texts.strip()))
            try:
                self.driver.call("press", w["hwnd"], button)
            except demo.DriverError:
                pass  # closed meanwhile

    def apply_options(self):
        self.driver.call("activate")
        self.choose_from_menu(2001, 219)
        dlg = self.wait_for("the options dialog", lambda: self.dialog(title=OPTIONS_TITLE), timeout=30)
        self.driver.call("set-text", dlg["hwnd"], 516, demo.ACCOUNT[0])
        self.driver.call("set-text", dlg["hwnd"], 517, demo.ACCOUNT[1])
        if not self.control(dlg, 519)["checked"]:
            self.driver.call("press", dlg["hwnd"], 519)
        self.driver.call("press", dlg["hwnd"], 528)  # search results in a new tab: on, off, on...
        self.driver.call("press", dlg["hwnd"], demo.IDOK)
        self.wait_for("the options dialog to close", lambda: self.gone(dlg["hwnd"]), timeout=60)
        self.options_applied += 1

    def search(self):
        query = QUERIES[self.searches % len(QUERIES)]
        self.driver.call("activate")
        self.driver.call("type", query, "replace")
        self.driver.call("click", 2005 if self.searches % 2 else 2004)
        self.searches += 1
        self.searched.append(query)

    def manual_update_check(self):
        self.driver.call("activate")
        self.choose_from_menu(2001, 257)
        self.manual_checks += 1

    def tab_cycle(self):
        """A tab opened (it becomes the active window, and its toolbar's start-up check runs),
        used for a simulated minute and closed; every seventh is closed while its options dialog
        is open. Then the main window is the active one again, and its periodic check goes on."""
        dwell = max(0.3, 60.0 / self.args.scale)
        tab = self.driver.call("tab-open", self.start_url)["tab"]
        if self.cycles % 7 == 6:
            self.driver.call("tab-command", tab, 219)
            self.wait_for("the tab's options dialog", lambda: self.dialog(title=OPTIONS_TITLE), timeout=30)
            self.closed_with_dialog += 1
        else:
            time.sleep(dwell)
        self.driver.call("tab-close", tab)
        self.driver.call("activate")
        time.sleep(dwell)
        self.cycles += 1

    def sample(self, label):
        stats = self.driver.call("stats")
        stats["label"] = label
        stats["cycles"] = self.cycles
        self.hours = stats["hours"] / 1000.0
        self.samples.append(stats)
        return stats

    # -- the run
    def run(self):
        self.say("Tavelle toolbar soak: %g simulated hours at %dx (a periodic check every %.1f s)" % (
            self.args.hours, self.args.scale, 300.0 / self.args.scale))
        self.step_first_run()
        self.step_offer_server_url()
        self.apply_options()
        self.answer_dialogs()
        self.driver.call("watch-start", demo.SETTINGS_KEY)
        self.sample("start")
        flip = {"modes": ["up", "down", "slow", "drip", "garbage"], "period": max(1.0, 480.0 / self.args.scale),
                "slow": 1.5, "drip": 1.5}
        self.standin.control({"flip": flip})
        self.say("  stand-in server flips every %.1f s: %s" % (flip["period"], " / ".join(flip["modes"])))
        min_cycles = int(round(self.args.hours * TABS_PER_HOUR))
        warm_up = max(3, min_cycles // 10)
        while self.hours < self.args.hours or self.cycles < min_cycles:
            self.tab_cycle()
            self.answer_dialogs()
            if self.cycles % 5 == 0:
                self.search()
            if self.cycles % 10 == 0:
                self.apply_options()
            if self.cycles % 15 == 0:
                self.manual_update_check()
            self.answer_dialogs()
            if self.cycles == warm_up:
                self.sample("after warm-up")
            elif self.cycles % 25 == 0:
                self.sample("")
            else:
                self.hours = self.driver.call("stats")["hours"] / 1000.0 if self.cycles % 5 == 0 else self.hours
        self.standin.control({"flip": None})
        # The notices of the last checks, then a quiet moment for threads to end.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            self.answer_dialogs()
            time.sleep(1)
            if not any(w["title"] == UPDATE_TITLE for w in self.windows()):
                break
        end = self.sample("end")
        watch = self.driver.call("watch-stop")
        return self.report(watch, end)

    def report(self, watch, end):
        failures = []
        start = self.samples[0]
        warm = next((s for s in self.samples if s["label"] == "after warm-up"), start)
        _, params = self.registry("Parameters")
        text = {n: v.get("text") for n, v in params.items()}
        settings_ok = (text.get("TavelleUrl") == demo.GROUPWARE and text.get("Username") == demo.ACCOUNT[0] and
                       text.get("AutoLogin") == "Yes" and text.get("AllowToolbar") == "Yes")
        if not settings_ok:
            failures.append("settings not intact: %r" % text)
        _, mru = self.registry("SearchMRU")
        history = [mru[k]["text"] for k in sorted((k for k in mru if k.isdigit()), key=int)]
        expected = []
        for q in reversed(self.searched):
            if q not in expected:
                expected.append(q)
        expected = expected[:32]
        if history != expected:
            failures.append("search history not intact: %d entries %r..., expected %d %r..." % (
                len(history), history[:3], len(expected), expected[:3]))
        if watch["keyMissing"] or watch["namesMissing"] or watch["historyShrunk"]:
            failures.append("a reader found the settings gone or incomplete: %s" % watch["example"])
        if self.stray_boxes:
            failures.append("unexpected message boxes: %s" % "; ".join(self.stray_boxes[:3]))

        requests = self.request_count()
        modes = mode_counts(self.standin.log())
        self.take_browser_record()
        self.driver.call("close")
        try:
            rc = self.host.wait(60)
        except subprocess.TimeoutExpired:
            rc = None
        if rc != 0:
            failures.append("the browser did not end cleanly (exit %r)" % rc)
        self.host_out.flush()
        with open(self.host_out.name, "rb") as f:
            faults = demo.fault_reports(f.read().decode("utf-8", errors="replace"))
        if faults:
            failures.append("the fault guards reported: %s" % "; ".join(faults[:5]))

        after = self.cycles - warm["cycles"]
        limits = growth_limits(after)
        rows = [("handles", "handles", 1, ""), ("GDI objects", "gdi", 1, ""), ("USER objects", "user", 1, ""),
                ("private memory", "private", MIB, " MiB"), ("threads", "threads", 1, "")]
        real = time.monotonic() - self.started
        self.say("")
        self.say("simulated hours:   %.1f (clock of the toolbar now %s; %.0f s of real time)" % (
            self.hours, end["clock"], real))
        self.say("tab cycles:        %d (%d closed while their options dialog was open)" % (
            self.cycles, self.closed_with_dialog))
        self.say("requests made:     %d to the stand-in (%s)" % (
            requests, ", ".join("%s %d" % kv for kv in sorted(modes.items()))))
        self.say("user actions:      %d searches, options applied %d times, %d manual update checks, "
                 "%d update notices answered" % (self.searches, self.options_applied, self.manual_checks, self.notices))
        self.say("faults reported:   %d by the fault guards" % len(faults))
        self.say("registry reads:    %d by another thread: Parameters missing %d times, a name missing %d times, "
                 "the history shorter %d times" % (watch["reads"], watch["keyMissing"], watch["namesMissing"],
                                                     watch["historyShrunk"]))
        self.say("settings:          %s (%d values in Parameters)" % ("intact" if settings_ok else "NOT intact",
                                                                      len(params)))
        self.say("search history:    %s (%d entries, newest %r)" % (
            "intact" if history == expected else "NOT intact", len(history), history[0] if history else None))
        self.say("")
        self.say("%-16s %12s %14s %12s %18s" % ("", "start", "after warm-up", "end", "growth (limit)"))
        for name, key, unit, suffix in rows:
            grew = end[key] - warm[key]
            self.say("%-16s %12s %14s %12s %18s" % (
                name, self.amount(start[key], unit, suffix), self.amount(warm[key], unit, suffix),
                self.amount(end[key], unit, suffix),
                "%s (%s)" % (self.amount(grew, unit, suffix), self.amount(limits[key], unit, suffix))))
            if grew > limits[key]:
                failures.append("%s grew by %s after warm-up over %d tab cycles" % (
                    name, self.amount(grew, unit, suffix), after))
        kinds = {k: end["handleTypes"].get(k, 0) - warm["handleTypes"].get(k, 0)
                 for k in set(end["handleTypes"]) | set(warm["handleTypes"])}
        self.say("handles by kind, change after warm-up: %s" % (
            ", ".join("%s %+d" % kv for kv in sorted(kinds.items()) if kv[1]) or "none"))
        self.say("samples: " + "; ".join("%d cycles: %d handles, %d GDI, %d USER, %.1f MiB" % (
            s["cycles"], s["handles"], s["gdi"], s["user"], s["private"] / MIB) for s in self.samples))
        if self.hours < self.args.hours:
            failures.append("only %.2f of %g simulated hours" % (self.hours, self.args.hours))
        self.say("")
        for f in failures:
            self.say("FAILED: " + f)
        self.say("soak %s: %.1f simulated hours, %d tab cycles, %d requests, %d faults" % (
            "failed" if failures else "passed", self.hours, self.cycles, requests, len(faults)))
        with open(os.path.join(self.out, "soak-report.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(self.transcript) + "\n")
        return 1 if failures else 0

    @staticmethod
    def amount(value, unit, suffix):
        return ("%.1f%s" % (value / unit, suffix)) if unit != 1 else "%d" % value


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wine", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--bho", required=True)
    parser.add_argument("--band", required=True)
    parser.add_argument("--hours", type=float, default=8.0, help="simulated hours of use")
    parser.add_argument("--scale", type=int, default=120, help="how many times faster the toolbar's time runs")
    parser.add_argument("--strings", default=os.path.join(demo.ROOT, "src", "resources", "strings.txt"))
    parser.add_argument("--out", default=os.path.join(demo.ROOT, "artifacts", "soak"))
    args = parser.parse_args(argv)
    args.interactive = False
    args.timeout = args.hours * 3600.0 / args.scale * 4 + args.hours * TABS_PER_HOUR * 20 + 300
    os.makedirs(args.out, exist_ok=True)
    soak = Soak(args)
    soak.started = time.monotonic()
    watchdog = threading.Timer(args.timeout, soak.abort)
    watchdog.daemon = True
    watchdog.start()
    try:
        soak.start()
        return soak.run()
    except (demo.StepFailed, demo.DriverError) as e:
        soak.say("FAILED: %s" % e)
        with open(os.path.join(args.out, "soak-report.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(soak.transcript) + "\n")
        return 1
    finally:
        soak.stop()


if __name__ == "__main__":
    sys.exit(main())
