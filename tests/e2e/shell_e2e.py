#!/usr/bin/env python3
"""The real show program under its own X server, driven like a viewer would.

    shell_e2e.py PROGRAM WORKDIR SCENARIO [ARTIFACT_DIR]

Each scenario starts an Xvfb of the screen size it needs (on a display
number Xvfb picks itself), or an Xorg server with the dummy video driver,
which switches display modes for real (RandR, read back with xrandr), and
runs PROGRAM from WORKDIR with the null sound
output, answers the boxes with xdotool, checks the windows with xwininfo and
Xlib (through ctypes), and checks the exit status. Xvfb and the program are
ended on every way out. Waiting is done by polling with a deadline; to know
that the program has handled everything sent so far, the test pings the window
(_NET_WM_PING, which SDL answers from its event pump) and waits for the answer.
"""

import ctypes
import os
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HELPER_DIR = os.environ.get("QUENDALOOP_E2E_HELPERS", "")
DEADLINE = 20.0  # seconds for anything to show up; generous for a loaded 2-core machine
FIRST_TITLE = "Quendaloop Brakkelgrusk"
TOGGLED_TITLE = "Quendaloop Brakkelgrusk!"
FALLBACK_TEXT = "Zirn GL"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def poll(what, condition, deadline=DEADLINE):
    """Calls condition() until it returns something true; fails after the deadline."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.05)


# ---- Xlib through ctypes ----------------------------------------------------

class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("l", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


class XFixesCursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


CLIENT_MESSAGE = 33
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class X:
    def __init__(self, display):
        self.xlib = ctypes.CDLL("libX11.so.6")
        self.xfixes = ctypes.CDLL("libXfixes.so.3")
        self.xlib.XOpenDisplay.restype = ctypes.c_void_p
        self.xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.xlib.XDefaultRootWindow.restype = ctypes.c_ulong
        self.xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.xlib.XInternAtom.restype = ctypes.c_ulong
        self.xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                         ctypes.POINTER(XEvent)]
        self.xlib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        self.xlib.XPending.argtypes = [ctypes.c_void_p]
        self.xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
        self.xlib.XFlush.argtypes = [ctypes.c_void_p]
        self.xlib.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xlib.XFree.argtypes = [ctypes.c_void_p]
        self.xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(XFixesCursorImage)
        self.xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        self.xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                                     ctypes.POINTER(ctypes.c_int)]
        self.dpy = self.xlib.XOpenDisplay(display.encode())
        check(self.dpy, "cannot open display " + display)
        self.root = self.xlib.XDefaultRootWindow(self.dpy)
        base, error = ctypes.c_int(), ctypes.c_int()
        check(self.xfixes.XFixesQueryExtension(self.dpy, ctypes.byref(base), ctypes.byref(error)),
              "no XFIXES extension")
        self.xlib.XSelectInput(self.dpy, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.ping_serial = 1000

    def atom(self, name):
        return self.xlib.XInternAtom(self.dpy, name.encode(), 0)

    def client_message(self, window, message_type, data):
        event = XEvent()
        event.xclient.type = CLIENT_MESSAGE
        event.xclient.window = window
        event.xclient.message_type = self.atom(message_type)
        event.xclient.format = 32
        for i, value in enumerate(data):
            event.xclient.l[i] = value
        self.xlib.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(event))
        self.xlib.XFlush(self.dpy)

    def request_close(self, window):
        """The window manager's close request (the close box, Alt+F4)."""
        self.client_message(window, "WM_PROTOCOLS", [self.atom("WM_DELETE_WINDOW"), 0])

    def sync_with(self, window, rounds=3):
        """Pings the window `rounds` times in a row and waits for each answer.

        SDL answers a ping from its event pump, which the show runs at the
        start of every loop pass; after three answers, everything sent before
        the first ping has been dispatched and at least one idle pass has run.
        """
        fd = self.xlib.XConnectionNumber(self.dpy)
        for _ in range(rounds):
            self.ping_serial += 1
            serial = self.ping_serial
            self.client_message(window, "WM_PROTOCOLS", [self.atom("_NET_WM_PING"), serial, window])
            end = time.monotonic() + DEADLINE
            answered = False
            while not answered:
                while self.xlib.XPending(self.dpy):
                    event = XEvent()
                    self.xlib.XNextEvent(self.dpy, ctypes.byref(event))
                    if event.type == CLIENT_MESSAGE and event.xclient.l[1] == serial:
                        answered = True
                if answered:
                    break
                left = end - time.monotonic()
                check(left > 0, "the show did not answer a ping")
                select.select([fd], [], [], left)

    def cursor_hidden(self):
        """True when the cursor now on screen has no visible pixel."""
        image = self.xfixes.XFixesGetCursorImage(self.dpy)
        check(image, "no cursor image")
        pixels = image.contents.width * image.contents.height
        visible = any(image.contents.pixels[i] >> 24 for i in range(pixels))
        self.xlib.XFree(image)
        return not visible

    def close(self):
        self.xlib.XCloseDisplay(self.dpy)


# ---- Screen, windows and the program -----------------------------------------

class Session:
    def __init__(self, program, workdir, artifacts):
        self.program = program
        self.workdir = workdir
        self.artifacts = artifacts
        self.scratch = tempfile.mkdtemp(prefix="quendaloop-e2e-")
        self.xvfb = None
        self.show = None
        self.shows = []
        self.x = None

    def open_screen(self, screen):
        """An Xvfb of `screen` (WxH), or with "xorg" (modes down to 640x480),
        "xorg-no640" (none of 640x480) or "xorg@HZ" (1024x768 and 640x480, both
        at HZ; the server at a real-time priority, for timed scenarios) an Xorg
        with the dummy driver at 1024x768."""
        read_end, write_end = os.pipe()
        if screen.startswith("xorg"):
            config = self.path("xorg.conf")
            with open(config, "w") as f:
                if "@" in screen:
                    f.write(xorg_config(True, refresh=int(screen.split("@")[1])))
                else:
                    f.write(xorg_config(with_640=(screen == "xorg")))
            command = ["Xorg", "-config", config, "-logfile", self.path("xorg.log"), "-displayfd",
                       str(write_end), "-noreset", "-nolisten", "tcp", "-novtswitch", "-sharevts", "vt8"]
            if "@" in screen:
                command = realtime_prefix() + command
        else:
            command = ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen + "x24", "-nolisten", "tcp"]
        self.xvfb = subprocess.Popen(command, pass_fds=[write_end], stdout=subprocess.DEVNULL,
                                     stderr=open(self.path("server.log"), "w"))
        os.close(write_end)
        number = b""
        end = time.monotonic() + DEADLINE
        while not number.endswith(b"\n"):
            left = end - time.monotonic()
            check(left > 0 and select.select([read_end], [], [], left)[0], "Xvfb did not start")
            chunk = os.read(read_end, 16)
            check(chunk, "Xvfb ended at start")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display, QUENDALOOP_SOUND="null",
                        LIBGL_ALWAYS_SOFTWARE="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.x = X(self.display)

    def path(self, name):
        return os.path.join(self.scratch, name)

    def start(self, program=None, workdir=None, stdout=subprocess.DEVNULL, env=None, stderr="show.err",
              prefix=()):
        """Starts a show; its standard error goes to the scratch file named `stderr`, or is
        "closed", or a "pipe without reader"."""
        self.stderr_name = stderr
        errors = subprocess.DEVNULL
        if stderr == "pipe without reader":
            reader, errors = os.pipe()
            os.close(reader)
        elif stderr != "closed":
            errors = open(self.path(stderr), "w")

        def set_up():
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # the ends by crash signals leave no core
            if stderr == "closed":
                os.close(2)
        self.show = subprocess.Popen(list(prefix) + [program or self.program], cwd=workdir or self.workdir,
                                     env=env or self.env, stdin=subprocess.DEVNULL, stdout=stdout,
                                     stderr=errors, preexec_fn=set_up)
        if stderr == "pipe without reader":
            os.close(errors)
        elif stderr != "closed":
            errors.close()
        self.shows.append(self.show)

    def data_copy(self, name="data"):
        """A copy of the show's pictures and module, for scenarios that spoil one."""
        copy = self.path(name)
        os.makedirs(os.path.join(copy, "Data"))
        for name in os.listdir(os.path.join(self.workdir, "Data")):
            os.symlink(os.path.join(self.workdir, "Data", name), os.path.join(copy, "Data", name))
        os.symlink(os.path.join(self.workdir, "pelvorgrind.xm"), os.path.join(copy, "pelvorgrind.xm"))
        return copy

    def mode(self):
        """The screen's current mode as xrandr reads it, e.g. "1024x768"."""
        out = subprocess.run(["xrandr", "--current"], env=self.env, capture_output=True, text=True).stdout
        m = re.search(r" connected (?:primary )?(\d+x\d+)\+", out)
        check(m, "no connected output in xrandr's answer: %r" % out)
        return m.group(1)

    def refresh(self):
        """The refresh rate of the screen's current mode, in Hz, as xrandr reads it."""
        out = subprocess.run(["xrandr", "--current"], env=self.env, capture_output=True, text=True).stdout
        m = re.search(r"(\d+\.\d+)\*", out)
        check(m, "no current mode in xrandr's answer: %r" % out)
        return float(m.group(1))

    def wait_mode(self, mode):
        poll("the screen's mode to be " + mode, lambda: self.mode() == mode)

    def ends_by_signal_within(self, number, seconds):
        """Sends the signal, and checks that the show ends by it within `seconds`."""
        sent = time.monotonic()
        self.show.send_signal(number)
        try:
            status = self.show.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure("still running %.1f s after signal %d" % (seconds, number))
        check(status == -number, "status %d, not ended by signal %d" % (status, number))
        return time.monotonic() - sent

    def stderr(self):
        if not os.path.exists(self.path(self.stderr_name)):
            return "(%s)" % self.stderr_name
        with open(self.path(self.stderr_name)) as f:
            return f.read()

    def windows(self):
        """(id, title, width, height, x, y) of every top-level window with a title."""
        out = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                             text=True).stdout
        found = []
        for line in out.splitlines():
            m = re.match(r'\s*(0x[0-9a-f]+) "(.*)":.*?\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)', line)
            if m:
                found.append((int(m.group(1), 16), m.group(2), int(m.group(3)), int(m.group(4)),
                              int(m.group(5)), int(m.group(6))))
        return found

    def window(self, title, other_than=None):
        for w in self.windows():
            if w[1] == title and w[0] != other_than:
                return w
        return None

    def wait_window(self, title, gone_id=None):
        """The window titled `title`, other than `gone_id`, once it is viewable."""
        def ready():
            self.expect_running()
            w = self.window(title, other_than=gone_id)
            if not w:
                return None
            state = subprocess.run(["xwininfo", "-id", str(w[0])], env=self.env,
                                   capture_output=True, text=True).stdout
            return w if "IsViewable" in state else None
        return poll('window "%s"' % title, ready)

    def answer(self, caption, key):
        """Answers the box titled `caption` with a key (Return: Yes or OK; Escape: No)."""
        box = self.wait_window(caption)
        self.xdotool("key", "--window", str(box[0]), key)
        poll('box "%s" to close' % caption, lambda: self.window(caption) is None)

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def client_geometry(self, window_id):
        out = subprocess.run(["xwininfo", "-id", str(window_id)], env=self.env, capture_output=True,
                             text=True).stdout
        value = lambda label: int(re.search(label + r":\s+(-?\d+)", out).group(1))
        return (value("Width"), value("Height"), value("Absolute upper-left X"),
                value("Absolute upper-left Y"))

    def expect_running(self):
        if self.show and self.show.poll() is not None:
            raise Failure("the show ended early with status %d: %s" % (self.show.returncode, self.stderr()))

    def wait_exit(self):
        poll("the show to end", lambda: self.show.poll() is not None)
        return self.show.returncode

    def screenshot(self, name):
        if self.artifacts:
            subprocess.run(["import", "-silent", "-window", "root", os.path.join(self.artifacts, name)],
                           env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def helper(self, name):
        """A helper program built beside the show's tests."""
        return os.path.join(HELPER_DIR, name)

    def finish(self):
        for show in self.shows:
            if show.poll() is None:
                show.kill()
                show.wait()
        if self.x:
            self.x.close()
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
        subprocess.run(["rm", "-rf", self.scratch])


def expect_show_window(s, title, gone_id=None):
    w = s.wait_window(title, gone_id)
    width, height, x, y = s.client_geometry(w[0])
    check((width, height, x, y) == (640, 480, 0, 0),
          "%s: client %dx%d at %d,%d, not 640x480 at 0,0" % (title, width, height, x, y))
    return w[0]


def expect_cursor(s, window, hidden):
    s.xdotool("mousemove", "200", "200")
    s.x.sync_with(window)
    check(s.x.cursor_hidden() == hidden, "the cursor is %s" % ("shown" if hidden else "hidden"))


# Timings for modes at any refresh rate: the totals (1400 x 800, 800 x 525)
# make the pixel clock a whole number of kHz at a whole rate, so the rate read
# back from clock and totals is exact.
RATED_TIMINGS = {"1024x768": "1024 1048 1184 1400 768 771 777 800 -hsync -vsync",
                 "640x480": "640 656 752 800 480 490 492 525 -hsync -vsync"}


def rated_modelines(refresh):
    lines = []
    for size, timing in RATED_TIMINGS.items():
        numbers = timing.split()
        clock = int(numbers[3]) * int(numbers[7]) * refresh / 1e6
        lines.append('  Modeline "%s@%d" %.3f %s' % (size, refresh, clock, timing))
    return "\n".join(lines)


def xorg_config(with_640, refresh=None):
    """With `refresh`, the desktop's mode and the 640x480 mode the show takes (the
    fastest of that size) refresh at that rate."""
    modes = ["1024x768", "800x600"] + (["640x480"] if with_640 else [])
    if refresh:
        modes = ["%s@%d" % (size, refresh) for size in RATED_TIMINGS]
    # The horizontal sync range leaves out every built-in 640x480 mode when
    # none is wanted (their line rates are 31.5 to 43.3 kHz).
    sync = "5.0-1000.0" if with_640 else "45.0-1000.0"
    return """
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 64000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync %s
  VertRefresh 5.0-200.0
  Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
  Modeline "800x600" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync
  Modeline "640x480" 25.175 640 656 752 800 480 490 492 525 -hsync -vsync
%s
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes %s
    Virtual 1024 768
  EndSubSection
EndSection
""" % (sync, rated_modelines(refresh) if refresh else "", " ".join('"%s"' % m for m in modes))


DESKTOP_MODE = "1024x768"


# ---- Scenarios ----------------------------------------------------------------

def fullscreen_when_granted(s):
    """640x480 screen: Yes gives the fullscreen window, cursor hidden; Escape ends with 0."""
    s.start()
    s.answer("Fullscreen poff!", "Return")
    window = expect_show_window(s, FIRST_TITLE)
    check(s.window(FALLBACK_TEXT) is None, "the mode was refused on a 640x480 screen")
    expect_cursor(s, window, hidden=True)
    s.screenshot("fullscreen.png")
    s.xdotool("key", "Escape")
    status = s.wait_exit()
    check(status == 0, "exit status %d after Escape" % status)


def refused_mode_falls_back_to_framed(s):
    """1024x768 screen: the mode is refused; Yes to the fallback gives the framed window."""
    s.start()
    s.answer("Fullscreen poff!", "Return")
    s.answer(FALLBACK_TEXT, "Return")
    window = expect_show_window(s, FIRST_TITLE)
    expect_cursor(s, window, hidden=False)
    s.screenshot("fallback.png")
    s.x.request_close(window)
    status = s.wait_exit()
    check(status == 0, "exit status %d after the close request" % status)


def refused_mode_answered_no_closes(s):
    """1024x768 screen: No to the fallback gives "Program Will Now Close." and status 1."""
    s.start()
    s.answer("Fullscreen poff!", "Return")
    s.answer(FALLBACK_TEXT, "Escape")
    s.answer("ERROR", "Return")
    status = s.wait_exit()
    check(status == 1, "exit status %d after the refused mode, not 1" % status)
    check(s.window(FIRST_TITLE) is None, "a show window was made")


def framed_then_f1(s):
    """No at start gives the framed window; F1 gives the "!" window in fullscreen."""
    s.start()
    s.answer("Fullscreen poff!", "Escape")
    first = expect_show_window(s, FIRST_TITLE)
    expect_cursor(s, first, hidden=False)
    s.screenshot("framed.png")
    s.xdotool("key", "F1")
    second = expect_show_window(s, TOGGLED_TITLE, gone_id=first)
    check(s.window(FIRST_TITLE) is None, "the first window is still there")
    expect_cursor(s, second, hidden=True)
    s.xdotool("key", "F1")  # back to framed, same title
    third = expect_show_window(s, TOGGLED_TITLE, gone_id=second)
    expect_cursor(s, third, hidden=False)
    s.xdotool("key", "Escape")
    status = s.wait_exit()
    check(status == 0, "exit status %d after Escape" % status)


def cpu_share(pid, seconds):
    """The share of one core that the process took (all its threads) over `seconds`."""
    def used():
        fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    before, started = used(), time.monotonic()
    time.sleep(seconds)  # the measuring window, not a wait for anything
    return (used() - before) / (time.monotonic() - started)


def minimized_ignores_escape(s):
    """A minimized window ignores a held Escape until it is restored, and meanwhile the
    show waits for events instead of spinning."""
    s.start()
    s.answer("Fullscreen poff!", "Escape")
    window = expect_show_window(s, FIRST_TITLE)
    # With no window manager the minimized state is announced the way one would.
    subprocess.run(["xprop", "-id", str(window), "-f", "_NET_WM_STATE", "32a", "-set",
                    "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN"], env=s.env, check=True)
    s.x.sync_with(window)
    # Waiting for events takes well under 1 % of a core; polling every few
    # milliseconds, or spinning, takes more than the bound.
    share = cpu_share(s.show.pid, 5.0)
    print("minimized: %.2f %% of a core" % (share * 100))
    check(share < 0.02, "minimized, the show takes %.1f %% of a core" % (share * 100))
    s.xdotool("keydown", "Escape")
    s.x.sync_with(window)  # Escape is down and idle passes have run
    s.expect_running()
    subprocess.run(["xprop", "-id", str(window), "-remove", "_NET_WM_STATE"], env=s.env, check=True)
    status = s.wait_exit()
    s.xdotool("keyup", "Escape")
    check(status == 0, "exit status %d after Escape once restored" % status)


def terminated_while_fullscreen(s):
    """SIGTERM with the fullscreen mode held ends the show as the signal would."""
    s.start()
    s.answer("Fullscreen poff!", "Return")
    window = expect_show_window(s, FIRST_TITLE)
    s.x.sync_with(window)
    s.show.send_signal(signal.SIGTERM)
    status = s.wait_exit()
    check(status == -signal.SIGTERM, "status %d, not ended by SIGTERM" % status)


def no_display(program, workdir):
    """No display: the boxes go to standard error, the fallbacks answer, status 1."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    env["QUENDALOOP_SOUND"] = "null"
    try:
        done = subprocess.run([program], cwd=workdir, env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=60)
    except subprocess.TimeoutExpired:
        raise Failure("the show hung with no display")
    check(done.returncode == 1, "status %d with no display, not 1" % done.returncode)
    lines = done.stderr.splitlines()
    check("Fullscreen poff!: FullScreen or what?" in lines, "no question on stderr: %r" % done.stderr)
    check("ERROR: Window Creation Error." in lines, "no creation error on stderr: %r" % done.stderr)
    check(done.stdout == "", "unexpected output: %r" % done.stdout)


def no_display_terminal(program, workdir):
    """No display, a terminal on standard input: the questions are answered there."""
    import pty
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    env["QUENDALOOP_SOUND"] = "null"
    master, slave = pty.openpty()
    try:
        os.write(master, b"maybe\ny\nn\n")  # a line that is neither is asked again
        try:
            done = subprocess.run([program], cwd=workdir, env=env, stdin=slave, capture_output=True,
                                  text=True, timeout=60)
        except subprocess.TimeoutExpired:
            raise Failure("the show hung on the terminal")
    finally:
        os.close(slave)
        os.close(master)
    check(done.returncode == 1, "status %d, not 1" % done.returncode)
    expected = ["Fullscreen poff!: FullScreen or what?",
                "Zirn GL: The Requested Fullscreen Mode Is Not Supported By",
                "ERROR: Program Will Now Close."]
    lines = [line.replace("[y/n] ", "") for line in done.stderr.splitlines()]
    for line in expected:
        check(line in lines, "%r missing from stderr: %r" % (line, done.stderr))
    check(done.stderr.count("[y/n]") == 3, "the prompts: %r" % done.stderr)


def real_modes_f1_and_escape(s):
    """Yes switches the screen to 640x480; F1 gives the desktop mode back, F1 again
    switches again; Escape gives it back and ends with 0."""
    check(s.mode() == DESKTOP_MODE, "the server starts at " + s.mode())
    s.start()
    s.answer("Fullscreen poff!", "Return")
    first = expect_show_window(s, FIRST_TITLE)
    s.wait_mode("640x480")
    check(s.window(FALLBACK_TEXT) is None, "the 640x480 mode was refused")
    s.xdotool("key", "F1")
    framed = s.wait_window(TOGGLED_TITLE, gone_id=first)
    s.wait_mode(DESKTOP_MODE)
    s.x.sync_with(framed[0])
    s.xdotool("key", "F1")
    expect_show_window(s, TOGGLED_TITLE, gone_id=framed[0])
    s.wait_mode("640x480")
    s.xdotool("key", "Escape")
    status = s.wait_exit()
    check(status == 0, "exit status %d after Escape" % status)
    check(s.mode() == DESKTOP_MODE, "the desktop mode is not back after Escape: " + s.mode())


def real_mode_close_request(s):
    """The close request in fullscreen gives the desktop mode back, status 0."""
    s.start()
    s.answer("Fullscreen poff!", "Return")
    window = expect_show_window(s, FIRST_TITLE)
    s.wait_mode("640x480")
    s.x.request_close(window)
    status = s.wait_exit()
    check(status == 0, "exit status %d after the close request" % status)
    check(s.mode() == DESKTOP_MODE, "the desktop mode is not back after closing: " + s.mode())


def real_mode_missing_picture(s):
    """A missing picture fails the fullscreen window: the mode is back before the box."""
    data = s.data_copy()
    os.remove(os.path.join(data, "Data", "crate.bmp"))
    s.start(workdir=data)
    s.answer("Fullscreen poff!", "Return")
    s.wait_window("ERROR")
    check(s.mode() == DESKTOP_MODE, "the mode is still switched under the box: " + s.mode())
    s.answer("ERROR", "Return")
    status = s.wait_exit()
    check(status == 1, "exit status %d after the failed window, not 1" % status)


def real_mode_signals(s):
    """SIGINT, SIGTERM and SIGHUP in fullscreen end the show by the signal, mode back."""
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        s.start()
        s.answer("Fullscreen poff!", "Return")
        window = expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        s.x.sync_with(window)
        s.ends_by_signal_within(number, DEADLINE)
        check(s.mode() == DESKTOP_MODE, "mode %s after signal %d" % (s.mode(), number))


def real_mode_refused(s):
    """No 640x480 in the mode list: the fallback question comes; Yes runs framed."""
    s.start()
    s.answer("Fullscreen poff!", "Return")
    s.answer(FALLBACK_TEXT, "Return")
    window = expect_show_window(s, FIRST_TITLE)
    check(s.mode() == DESKTOP_MODE, "the mode changed to " + s.mode())
    s.x.request_close(window)
    check(s.wait_exit() == 0, "exit status %d after the close request" % s.show.returncode)


def blocked_main_thread(s):
    """A termination signal while the main thread is blocked for good still gives
    the mode back, and ends the process within a second."""
    s.start(program=s.helper("mode_holder"), stdout=subprocess.PIPE)
    check(s.show.stdout.readline().strip() == b"held", "the mode holder did not take the mode")
    s.wait_mode("640x480")
    took = s.ends_by_signal_within(signal.SIGTERM, 1.0)
    print("ended %.0f ms after the signal" % (took * 1e3))
    check(s.mode() == DESKTOP_MODE, "the desktop mode is not back: " + s.mode())


def fifo_picture_then_signal(s):
    """A FIFO as a picture in fullscreen is refused without blocking, as an
    unreadable file is; SIGTERM under the box that follows ends the show within
    a second, mode back and the box gone with it."""
    data = s.data_copy()
    fifo = os.path.join(data, "Data", "grusk4.bmp")
    os.remove(fifo)
    os.mkfifo(fifo)
    s.start(workdir=data)
    s.answer("Fullscreen poff!", "Return")
    s.wait_window("ERROR")
    s.ends_by_signal_within(signal.SIGTERM, 1.0)
    poll("the box to go with the show", lambda: s.window("ERROR") is None)
    check(s.mode() == DESKTOP_MODE, "the desktop mode is not back: " + s.mode())


def box_with_mode_held_then_signal(s):
    """A broken picture's box comes while the mode is held; SIGTERM then ends the
    show within a second, gives the mode back and takes the box with it."""
    data = s.data_copy()
    broken = os.path.join(data, "Data", "creds.bmp")
    os.remove(broken)
    with open(broken, "wb") as f:
        f.write(b"BM" + b"\0" * 10)  # a file header cut short
    s.start(workdir=data)
    s.answer("Fullscreen poff!", "Return")
    s.wait_window("Error")
    check(s.mode() == "640x480", "the mode is not held under the loader's box: " + s.mode())
    s.ends_by_signal_within(signal.SIGTERM, 1.0)
    poll("the box to go with the show", lambda: s.window("Error") is None)
    check(s.mode() == DESKTOP_MODE, "the desktop mode is not back: " + s.mode())


def real_mode_any_end(s):
    """However the show ends in fullscreen (a signal it cannot outlive, SIGKILL, its X
    connection killed), the desktop mode is back within a second, and the exit status
    says how it ended."""
    ends = [signal.SIGQUIT, signal.SIGABRT, signal.SIGSEGV, signal.SIGUSR1, signal.SIGALRM, signal.SIGKILL,
            "windowkill"]
    for end in ends:
        name = end if end == "windowkill" else signal.Signals(end).name
        s.start()
        s.answer("Fullscreen poff!", "Return")
        window = expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        s.x.sync_with(window)
        sent = time.monotonic()
        if end == "windowkill":
            s.xdotool("windowkill", str(window))
        else:
            s.show.send_signal(end)
        s.wait_mode(DESKTOP_MODE)
        took = time.monotonic() - sent
        status, expected = s.wait_exit(), 1 if end == "windowkill" else -end
        print("%s: the desktop mode back after %.0f ms" % (name, took * 1e3))
        check(status == expected, "%s: status %d, not %d" % (name, status, expected))
        check(took <= 1.0, "%s: the desktop mode came back only after %.1f s" % (name, took))


def two_shows(first_ends_first):
    def run(s):
        """Two shows fullscreen at once, ended with Escape one after the other: each
        gives back only the mode it took, so the desktop mode is back in either order."""
        # SDL gives the desktop its mode back when a fullscreen window loses the
        # focus; with no window manager, whether the first does as the second
        # comes is a matter of timing. Both are to hold the screen at once.
        s.env["SDL_VIDEO_MINIMIZE_ON_FOCUS_LOSS"] = "0"
        started = []
        for name in ("first.err", "second.err"):
            s.start(stderr=name)
            s.answer("Fullscreen poff!", "Return")
            started.append((s.show, expect_show_window(s, FIRST_TITLE, started[0][1] if started else None)))
            s.wait_mode("640x480")
        for show, window in started if first_ends_first else reversed(started):
            s.show = show
            s.xdotool("windowfocus", "--sync", str(window))
            s.x.sync_with(window)
            s.xdotool("key", "Escape")
            check(s.wait_exit() == 0, "exit status %d after Escape" % show.returncode)
        check(s.mode() == DESKTOP_MODE, "the desktop mode is not back: " + s.mode())
    return run


def end_show(s, show, window, how):
    """Ends `show` by Escape (in its window, given the focus) or by a signal, and
    checks its status."""
    s.show = show
    if how == "Escape":
        s.xdotool("windowfocus", "--sync", str(window))
        s.x.sync_with(window)
        s.xdotool("key", "Escape")
        check(s.wait_exit() == 0, "exit status %d after Escape" % show.returncode)
    else:
        number = getattr(signal, "SIG" + how)
        show.send_signal(number)
        check(s.wait_exit() == -number, "%s: status %d" % (how, show.returncode))


def two_shows_minimized_then_ended(s):
    """Show A holds 640x480 and show B starts in it; B takes the focus, A minimizes
    and the desktop has its mode back. However the two then end, the desktop's own
    mode is on the screen at the end, not the one A held when B came."""
    # (which ends first, how A ends, how B ends)
    ends = [("A", "TERM", "KILL"), ("A", "QUIT", "TERM"), ("A", "KILL", "QUIT"), ("A", "Escape", "TERM"),
            ("B", "TERM", "KILL")]
    for first, a_end, b_end in ends:
        s.start(stderr="a.err")
        s.answer("Fullscreen poff!", "Return")
        a, a_window = s.show, expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        s.start(stderr="b.err")
        s.answer("Fullscreen poff!", "Return")  # B asks while A holds 640x480
        b, b_window = s.show, expect_show_window(s, FIRST_TITLE, a_window)
        s.xdotool("windowfocus", "--sync", str(b_window))
        s.wait_mode(DESKTOP_MODE)  # A minimized on losing the focus
        s.x.sync_with(b_window)
        order = [(a, a_window, a_end), (b, b_window, b_end)]
        for show, window, how in order if first == "A" else reversed(order):
            end_show(s, show, window, how)
        name = "A by %s, B by %s, %s first" % (a_end, b_end, first)
        check(s.mode() == DESKTOP_MODE, "%s: the mode is %s" % (name, s.mode()))


def other_program_mode_then_signal(s):
    """Another program sets 800x600 while the show is fullscreen: a termination signal
    then ends the show and leaves that program's mode alone."""
    for how in ("TERM", "INT", "HUP", "QUIT"):
        s.start()
        s.answer("Fullscreen poff!", "Return")
        window = expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        s.x.sync_with(window)  # the show has seen its mode on the screen
        subprocess.run(["xrandr", "-s", "800x600"], env=s.env, check=True)
        s.wait_mode("800x600")
        s.x.sync_with(window)
        end_show(s, s.show, window, how)
        check(s.mode() == "800x600", "SIG%s: the mode is %s, not the other program's" % (how, s.mode()))


def guard_of(show):
    """The pid of the show's guard process (its child named mode-guard), or None."""
    found = subprocess.run(["pgrep", "-P", str(show.pid), "-x", "mode-guard"], capture_output=True, text=True)
    return int(found.stdout.split()[0]) if found.stdout.split() else None


def killed_by_command_line(s):
    """`pkill -9 -f` with the show's command line kills the show, not its guard,
    which gives the desktop its mode back. A guard killed on its own leaves the
    show running with a warning on standard error, and the show still gives the
    mode back at its end."""
    # The show runs from a link of this test's own: the pattern then matches no
    # show of the end-to-end tests that run beside this one.
    program = s.path("quendaloop")
    os.symlink(s.program, program)
    s.start(program=program)
    s.answer("Fullscreen poff!", "Return")
    window = expect_show_window(s, FIRST_TITLE)
    s.wait_mode("640x480")
    s.x.sync_with(window)
    exact = "^" + re.sub(r"([][.^$*+?(){}|\\])", r"\\\1", program) + "$"  # an extended regex
    matched = subprocess.run(["pgrep", "-f", exact], capture_output=True, text=True).stdout.split()
    check(matched == [str(s.show.pid)],
          "the pattern matches %s, not the show (%d) alone" % (matched, s.show.pid))
    sent = time.monotonic()
    subprocess.run(["pkill", "-9", "-f", exact], check=True)
    s.wait_mode(DESKTOP_MODE)
    print("pkill -9 -f: the desktop mode back after %.0f ms" % ((time.monotonic() - sent) * 1e3))
    check(s.wait_exit() == -signal.SIGKILL, "status %d after pkill -9" % s.show.returncode)

    for how in ("TERM", "Escape"):
        s.start()
        s.answer("Fullscreen poff!", "Return")
        window = expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        guard = poll("the guard process", lambda: guard_of(s.show))
        os.kill(guard, signal.SIGKILL)
        poll("the warning that the guard is gone", lambda: "the mode guard" in s.stderr())
        s.x.sync_with(window)
        end_show(s, s.show, window, how)
        check(s.mode() == DESKTOP_MODE, "%s with the guard gone: the mode is %s" % (how, s.mode()))


def no_sound_card_env(s, **more):
    env = dict(s.env, **more)
    env.pop("QUENDALOOP_SOUND")
    return env


def standard_error_gone(s):
    """With no sound card to open (whose library then complains on standard error), and
    standard error closed or a pipe nobody reads, the show still draws, Escape ends it
    with 0 and the desktop mode is back."""
    env = no_sound_card_env(s, SDL_AUDIODRIVER="alsa")
    for how in ("closed", "pipe without reader"):
        s.start(env=env, stderr=how)
        s.answer("Fullscreen poff!", "Return")
        window = expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        s.x.sync_with(window)  # the music has started and frames are drawn
        s.xdotool("key", "Escape")
        status = s.wait_exit()
        check(status == 0, "standard error %s: exit status %d after Escape" % (how, status))
        check(s.mode() == DESKTOP_MODE, "standard error %s: the mode is %s" % (how, s.mode()))


def latency_variable(s):
    """QUENDALOOP_SOUND_LATENCY_MS that is not a whole number of milliseconds in range
    is refused with a warning that names it; a good value passes quietly."""
    for value, refused in (("abc", True), ("30ms", True), ("-5", True), ("48001", True), ("40", False)):
        s.start(env=no_sound_card_env(s, SDL_AUDIODRIVER="dummy", QUENDALOOP_SOUND_LATENCY_MS=value))
        s.answer("Fullscreen poff!", "Escape")
        window = expect_show_window(s, FIRST_TITLE)
        s.x.sync_with(window)  # the sound has started
        s.xdotool("key", "Escape")
        check(s.wait_exit() == 0, "exit status %d after Escape" % s.show.returncode)
        warned = "QUENDALOOP_SOUND_LATENCY_MS" in s.stderr()
        check(warned == refused, "%r: %s" % (value, "warned" if warned else "no warning"))


def unreadable_files(s):
    """A picture or the module that cannot be read gives its box, and standard error
    names the file and the system's reason."""
    # Root reads any file: the show then runs without that privilege.
    prefix = ["setpriv", "--bounding-set", "-dac_override,-dac_read_search", "--"] if os.geteuid() == 0 else []
    for name, caption in (("Data/crate.bmp", "ERROR"), ("pelvorgrind.xm", "Ravnel demoengine")):
        data = s.data_copy(name.replace("/", "-"))
        spoilt = os.path.join(data, name)
        os.remove(spoilt)
        shutil.copy(os.path.join(s.workdir, name), spoilt)
        os.chmod(spoilt, 0)
        s.start(workdir=data, prefix=prefix)
        s.answer("Fullscreen poff!", "Escape")
        s.answer(caption, "Return")
        check(s.wait_exit() == 1, "exit status %d after the box, not 1" % s.show.returncode)
        check(name + ": Permission denied" in s.stderr().splitlines(), "standard error: " + s.stderr())


def foreign_destroy(fullscreen):
    def run(s):
        """Another program destroys the show's window: the show ends as on a close
        request (status 0), without hanging, the desktop mode back."""
        s.start()
        s.answer("Fullscreen poff!", "Return" if fullscreen else "Escape")
        window = expect_show_window(s, FIRST_TITLE)
        s.x.sync_with(window)
        s.xdotool("windowclose", str(window))
        status = s.wait_exit()
        check(status == 0, "exit status %d after the window was destroyed" % status)
        check(s.mode() == DESKTOP_MODE, "the desktop mode is not back: " + s.mode())
    return run


def realtime_prefix():
    """A command prefix that runs a program at a real-time priority (SCHED_FIFO), so
    that other work on the machine does not delay its wake-ups; none where the
    system refuses it."""
    command = ["chrt", "--fifo", "10"]
    allowed = subprocess.run(command + ["true"], stderr=subprocess.DEVNULL).returncode == 0
    return command if allowed else []


STALL = 0.05  # s between two swaps, three frames: the show was not run at all


def swap_rate(log, seconds):
    """Frames a second the show hands over in the next `seconds`, from the times
    the preloaded swap logger wrote (CLOCK_MONOTONIC, as time.monotonic): the
    mean interval between swaps, leaving out stalls of the machine (a virtual
    machine's processor taken away, say), which no pacing can help. Returns the
    rate and the seconds left out."""
    start = time.monotonic()
    time.sleep(seconds)  # the measuring window, not a wait for anything
    end = time.monotonic()
    check(os.path.exists(log), "no swap log: the logging library was not preloaded")
    with open(log) as f:
        times = [int(line) * 1e-9 for line in f if line.endswith("\n")]
    times = [t for t in times if start <= t < end]
    check(len(times) > seconds, "%d swaps in %.0f s" % (len(times), seconds))
    intervals = [b - a for a, b in zip(times, times[1:])]
    kept = [i for i in intervals if i <= STALL]
    return len(kept) / sum(kept), sum(intervals) - sum(kept)


def sixty_frames_a_second(refresh):
    def run(s):
        """On a display of `refresh` Hz the show draws 60 frames a second, fullscreen
        (its 640x480 mode at the same rate) and framed after F1; the swaps are
        counted by a library preloaded into the show, outside its own pacing. The
        show and the server run at a real-time priority: what is timed is the
        show's pacing, not the machine's other work."""
        log = s.path("swaps.log")
        s.env.update(LD_PRELOAD=os.environ["QUENDALOOP_E2E_SWAP_LOG"], QUENDALOOP_SWAP_LOG=log)
        s.start(prefix=realtime_prefix())
        s.answer("Fullscreen poff!", "Return")
        window = expect_show_window(s, FIRST_TITLE)
        s.wait_mode("640x480")
        for how in ("fullscreen", "framed"):
            if how == "framed":
                s.xdotool("key", "F1")
                window = expect_show_window(s, TOGGLED_TITLE, gone_id=window)
                s.wait_mode(DESKTOP_MODE)
            check(round(s.refresh()) == refresh, "%s: the screen refreshes at %.2f Hz" % (how, s.refresh()))
            s.x.sync_with(window)  # drawing, the pacer's first swaps behind it
            rate, stalled = swap_rate(log, 10.0)
            print("%d Hz, %s: %.1f frames a second (stalls left out: %.2f s)" % (refresh, how, rate, stalled))
            check(abs(rate - 60) <= 2, "%d Hz, %s: %.1f frames a second, not 60 (load average %.1f)"
                  % (refresh, how, rate, os.getloadavg()[0]))
            check(stalled <= 1.0, "%d Hz, %s: the show stood still for %.1f s" % (refresh, how, stalled))
        s.xdotool("key", "Escape")
        check(s.wait_exit() == 0, "exit status %d after Escape" % s.show.returncode)
    return run


def lit_share(s):
    """The share of the screen's pixels with a channel above 64."""
    ppm = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"], env=s.env,
                         capture_output=True).stdout
    m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    check(m, "no screenshot")
    pixels = ppm[m.end():]
    count = int(m.group(1)) * int(m.group(2))
    return sum(1 for i in range(0, 3 * count, 3) if max(pixels[i:i + 3]) > 64) / count


def desktop_gl_loaded(pid):
    """The desktop GL libraries (libGL, libGLX*) the process has mapped."""
    with open("/proc/%d/maps" % pid) as maps:
        return sorted(set(re.findall(r"/(lib(?:GL|GLX\w*)\.so[.\d]*)$", maps.read(), re.M)))


def es2_without_desktop_gl(s):
    """The es2 show takes its context from EGL: it maps no libGL or libGLX while it
    draws, and with them made unloadable it still draws; Escape ends it with 0."""
    hide = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gl11es", "without_desktop_gl.sh")
    for prefix in ((), ("bash", hide)):
        s.start(prefix=prefix)
        s.answer("Fullscreen poff!", "Return")
        expect_show_window(s, FIRST_TITLE)
        poll("lit frames on the screen", lambda: lit_share(s) > 0.05)
        s.expect_running()
        loaded = desktop_gl_loaded(s.show.pid)
        check(not loaded, "the show maps %s" % ", ".join(loaded))
        s.screenshot("es2-egl%s.png" % ("-hidden" if prefix else ""))
        s.xdotool("key", "Escape")
        status = s.wait_exit()
        check(status == 0, "exit status %d after Escape: %s" % (status, s.stderr()))


SCENARIOS = {
    "fullscreen": ("640x480", fullscreen_when_granted),
    "refused-yes": ("1024x768", refused_mode_falls_back_to_framed),
    "refused-no": ("1024x768", refused_mode_answered_no_closes),
    "framed-f1": ("640x480", framed_then_f1),
    "minimized": ("1024x768", minimized_ignores_escape),
    "sigterm": ("640x480", terminated_while_fullscreen),
    "xorg-f1": ("xorg", real_modes_f1_and_escape),
    "xorg-close": ("xorg", real_mode_close_request),
    "xorg-missing-picture": ("xorg", real_mode_missing_picture),
    "xorg-signals": ("xorg", real_mode_signals),
    "xorg-refused": ("xorg-no640", real_mode_refused),
    "xorg-blocked": ("xorg", blocked_main_thread),
    "xorg-fifo-signal": ("xorg", fifo_picture_then_signal),
    "xorg-box-signal": ("xorg", box_with_mode_held_then_signal),
    "xorg-destroy-fullscreen": ("xorg", foreign_destroy(True)),
    "xorg-destroy-framed": ("xorg", foreign_destroy(False)),
    "xorg-any-end": ("xorg", real_mode_any_end),
    "xorg-two-shows": ("xorg", two_shows(True)),
    "xorg-two-shows-reversed": ("xorg", two_shows(False)),
    "xorg-stderr-gone": ("xorg", standard_error_gone),
    "xorg-two-shows-minimized": ("xorg", two_shows_minimized_then_ended),
    "xorg-other-mode-signal": ("xorg", other_program_mode_then_signal),
    "xorg-pkill": ("xorg", killed_by_command_line),
    "latency-variable": ("1024x768", latency_variable),
    "unreadable": ("1024x768", unreadable_files),
    "xorg-pacing-75": ("xorg@75", sixty_frames_a_second(75)),
    "xorg-pacing-120": ("xorg@120", sixty_frames_a_second(120)),
    "xorg-pacing-144": ("xorg@144", sixty_frames_a_second(144)),
    "es2-egl": ("640x480", es2_without_desktop_gl),
}


def stop_on_signal(number, frame):
    raise Failure("stopped by signal %d" % number)


def main():
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    program, workdir, scenario = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
    artifacts = sys.argv[4] if len(sys.argv) > 4 else None
    try:
        if scenario == "no-display":
            no_display(program, workdir)
        elif scenario == "no-display-terminal":
            no_display_terminal(program, workdir)
        else:
            screen, run = SCENARIOS[scenario]
            if (screen.startswith("xorg") or scenario == "es2-egl") and os.geteuid() != 0:
                print("SKIP %s: needs root (an Xorg server of our own, or a mount namespace)" % scenario)
                return 77
            s = Session(program, workdir, artifacts)
            try:
                s.open_screen(screen)
                run(s)
            except Failure:
                if s.show:
                    sys.stderr.write("show stderr:\n" + s.stderr())
                if s.x:
                    sys.stderr.write("windows on the screen: %s\n" % [w[1] for w in s.windows()])
                raise
            finally:
                s.finish()
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
        return 1
    print("PASS " + scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
