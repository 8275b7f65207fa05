"""Processes for the end-to-end tests of the desktop program: an X server or the off-screen
platform, the web service on a free loopback port, a Windows directory with a fresh assessment,
and the program itself with its debugging port, its test log and a stand-in for the user's
browser. Every wait is bounded, and everything started is stopped again."""

import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

import cdp

WAIT = float(os.environ.get("TALLYHIVE_E2E_WAIT", "45"))


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def stop(process, grace=5.0):
    if process is None or process.poll() is not None:
        return
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(grace)


class Xvfb:
    """An X server of its own, display number chosen by the server (-displayfd)."""

    def __init__(self, width=1600, height=1200):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + WAIT
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            stop(self.process)
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def close(self):
        stop(self.process)


class Service:
    """The web service on a free port with its own data folder; `command` gets --port and --data."""

    def __init__(self, command, data_dir):
        self.process = subprocess.Popen(command + ["--port", "0", "--data", data_dir],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self._first_line()
        self.port = int(line.split()[0])
        self.root = f"http://127.0.0.1:{self.port}/"
        self.software = self.root + "software/tallyhive/"

    def _first_line(self):
        import selectors
        selector = selectors.DefaultSelector()
        selector.register(self.process.stdout, selectors.EVENT_READ)
        if not selector.select(WAIT):
            stop(self.process)
            raise RuntimeError("the service printed no port")
        line = self.process.stdout.readline()
        if not line.strip():
            stop(self.process)
            raise RuntimeError("the service ended: " + self.process.stderr.read())
        return line

    def close(self):
        stop(self.process)


def make_windows_dir(make_assessment, folder, extra=()):
    """A Windows directory whose datastore holds one formal assessment made this moment."""
    os.makedirs(folder, exist_ok=True)
    subprocess.run([make_assessment, "--windows-dir", folder, *extra], check=True,
                   stdout=subprocess.DEVNULL, timeout=WAIT)
    return folder


class Program:
    """One run of the desktop program."""

    def __init__(self, binary, workdir, service_root, windows_dir, display=None, offscreen_config=None,
                 language="en_US.UTF-8", extra_env=None, args=(), runtime_dir=None, debug=True):
        self.workdir = workdir
        self.log_path = os.path.join(workdir, f"events-{time.monotonic_ns()}.jsonl")
        self.url_log = os.path.join(workdir, "opened-urls.txt")
        bin_dir = os.path.join(workdir, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        # The user's browser: every URL the program hands over lands in a file instead.
        opener = os.path.join(bin_dir, "xdg-open")
        with open(opener, "w") as script:
            script.write('#!/bin/sh\nprintf "%s\\n" "$1" >> "$TALLYHIVE_URL_LOG"\n')
        os.chmod(opener, 0o755)
        self.runtime_dir = runtime_dir or os.path.join(workdir, "runtime")
        os.makedirs(self.runtime_dir, mode=0o700, exist_ok=True)
        home = os.path.join(workdir, "home")
        os.makedirs(home, exist_ok=True)

        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("LC_", "QT_", "DISPLAY", "WAYLAND", "XDG_", "TALLYHIVE_"))}
        env.update({
            "LANG": language, "LANGUAGE": "", "HOME": home, "XDG_RUNTIME_DIR": self.runtime_dir,
            "PATH": bin_dir + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            "TALLYHIVE_E2E_LOG": self.log_path, "TALLYHIVE_URL_LOG": self.url_log,
            "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu --disable-dev-shm-usage",
        })
        self.debug_port = free_port() if debug else None
        if debug:
            env["QTWEBENGINE_REMOTE_DEBUGGING"] = f"127.0.0.1:{self.debug_port}"
        if display:
            env["DISPLAY"] = display
            env["QT_QPA_PLATFORM"] = "xcb"
        elif offscreen_config:
            env["QT_QPA_PLATFORM"] = "offscreen:configfile=" + offscreen_config
        else:
            env["QT_QPA_PLATFORM"] = "offscreen"
        env.update(extra_env or {})
        self.env = env
        self.started = time.time()
        self.stderr = open(os.path.join(workdir, f"program-{os.getpid()}-{time.monotonic_ns()}.stderr"), "w")
        command = [binary, "--service-root", service_root]
        if windows_dir:
            command += ["--windows-dir", windows_dir]
        self.process = subprocess.Popen(command + list(args), env=env, stdout=self.stderr, stderr=self.stderr)
        self.page = None
        self.main_window = None

    # --- the test log -------------------------------------------------------------------------
    def events(self):
        try:
            with open(self.log_path) as log:
                return [json.loads(line) for line in log if line.strip()]
        except FileNotFoundError:
            return []

    def wait_event(self, kind, where=lambda e: True, after=0, timeout=WAIT):
        """The first event of `kind` with index >= `after` that satisfies `where`: (index, event)."""
        deadline = time.monotonic() + timeout
        while True:
            for index, event in enumerate(self.events()):
                if index >= after and event.get("event") == kind and where(event):
                    return index, event
            if self.process.poll() is not None:
                raise AssertionError(f"the program ended (exit {self.process.returncode}) "
                                     f"while waiting for {kind}; events: {self.events()[-5:]}")
            if time.monotonic() > deadline:
                raise AssertionError(f"no {kind} event within {timeout}s; last: {self.events()[-5:]}")
            time.sleep(0.05)

    def wait_page(self, url_part, after=0):
        """Waits until a page whose address contains `url_part` has arrived, been handled and been
        painted (two animation frames): (index of the paint, handled event)."""
        index, handled = self.wait_event("handled", lambda e: url_part in e["url"], after)
        token_index, _ = self.wait_event("painted", lambda e: e["token"].endswith(" " + handled["url"]), index)
        return token_index, handled

    def mark(self):
        return len(self.events())

    def opened_urls(self):
        try:
            with open(self.url_log) as log:
                return [line.rstrip("\n") for line in log]
        except FileNotFoundError:
            return []

    # --- the page ----------------------------------------------------------------------------
    def devtools(self):
        if self.page is None:
            self.page = cdp.Page(self.debug_port, deadline=WAIT)
        return self.page

    def dom(self, expression):
        return self.devtools().evaluate(expression)

    def settle(self):
        """Two animation frames: synthesised clicks right after a load are otherwise sometimes lost."""
        self.devtools().evaluate(
            "new Promise(r => requestAnimationFrame(() => requestAnimationFrame(() => r(true))))",
            await_promise=True)

    def element_center(self, selector):
        rect = self.dom(f"(function () {{ var e = document.querySelector({json.dumps(selector)});"
                        " if (!e) return null; e.scrollIntoView({block: 'center'});"
                        " var r = e.getBoundingClientRect();"
                        " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
        if rect is None:
            raise AssertionError(f"no element {selector} on {self.dom('location.href')}")
        return rect

    def click(self, selector, closes=False):
        """Clicks the element; with `closes`, the click may end the program before it is answered."""
        self.settle()
        x, y = self.element_center(selector)
        try:
            self.devtools().click_at(x, y)
        except cdp.CdpError:
            if not closes:
                raise

    def screenshot(self, path):
        self.settle()
        self.devtools().screenshot(path)

    # --- X11 input (Xvfb only) ------------------------------------------------------------------
    def xdotool(self, *args, check=True):
        return subprocess.run(["xdotool", *args], env=self.env, check=check, timeout=WAIT,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True).stdout

    def windows(self):
        out = self.xdotool("search", "--onlyvisible", "--pid", str(self.process.pid), check=False)
        return [w for w in out.split() if w]

    def find_main_window(self):
        deadline = time.monotonic() + WAIT
        while not self.main_window:
            for window in self.windows():
                if self.xdotool("getwindowname", window, check=False).strip() == "TALLYHIVE":
                    self.main_window = window
            if time.monotonic() > deadline:
                raise AssertionError("the main window never appeared")
            time.sleep(0.1)
        return self.main_window

    def answer_message(self, key):
        """Answers the open message box with a key: Return (OK, Yes) or Escape (No)."""
        main = self.find_main_window()
        deadline = time.monotonic() + WAIT
        while True:
            boxes = [w for w in self.windows() if w != main]
            if boxes:
                break
            if time.monotonic() > deadline:
                raise AssertionError("no message box appeared")
            time.sleep(0.1)
        self.xdotool("windowfocus", "--sync", boxes[0])
        self.xdotool("key", key)

    def wait_exit(self, timeout=WAIT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end")

    def close(self):
        if self.page:
            self.page.close()
        stop(self.process)
        self.stderr.close()


class Workdir:
    def __init__(self, prefix="tallyhive-e2e-"):
        self.path = tempfile.mkdtemp(prefix=prefix)

    def sub(self, name):
        path = os.path.join(self.path, name)
        os.makedirs(path, exist_ok=True)
        return path

    def close(self):
        shutil.rmtree(self.path, ignore_errors=True)
