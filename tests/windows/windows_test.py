#!/usr/bin/env python3
"""The Windows build (scripts/windows.sh) under Wine, driven as the Linux show is
driven by tests/e2e/shell_e2e.py, whose sessions and scenarios it reuses.

    windows_test.py ZIP FRAMES_EXE CAPTURE FRAME_COMPARE LINUX_SHOW

ZIP is unpacked, and Quendaloop/quendaloop.exe runs under Wine in a prefix of
its own ($QUENDALOOP_WINE_PREFIX, default build-win/wine-prefix; made offline
the first time and kept), with ALSA's null device as the default sound device
and no sound server, so SDL's Windows output opens (after a look at the exe:
its imports, subsystem, icon and version information):
  - Xvfb 640x480: the question; No gives a framed, lit 640x480 window; F1
    re-opens it fullscreen, F1 again framed; Escape ends with status 0;
  - a missing picture gives the loader's box and status 1;
  - the whole show, framed: the scenes come in order, each lit and unlike the
    one before (each screenshot is nearest to the Linux capture's frame of its
    own scene);
  - Xorg's dummy driver (as root): Yes switches the real mode to 640x480, F1
    and Escape give the desktop's mode back;
  - FRAMES_EXE (quendaloop_frames.exe) draws one frame inside each scene under
    Wine; each matches the Linux CAPTURE's frame at 40 dB PSNR or better.
Wine's own warnings do not count: the exit status and the windows decide.
Figures: launch to the first frame under Wine, and unpaced frames per second
under Wine beside LINUX_SHOW (Mesa's HUD counts the frames of both).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

import numpy as np
from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import shell_e2e as e2e  # noqa: E402
from shell_e2e import Failure, check, poll  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# One frame well inside each scene at 60 frames a second: (scene, second of
# music), in the order the show plays them.
SCENE_FRAMES = [(0, 5), (1, 16), (6, 25), (2, 32), (3, 38), (4, 44), (5, 52)]
MIN_PSNR = 40.0
SHOW_SECONDS = 56  # seconds watched: the flash scene ends at 57 s of music, then all is black
FLASH_SCENE = SCENE_FRAMES[-1][0]


# What a program may import on any 64-bit Windows 10 or 11: Windows' own DLLs.
WINDOWS_DLLS = {"advapi32.dll", "gdi32.dll", "glu32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
                "oleaut32.dll", "opengl32.dll", "setupapi.dll", "shell32.dll", "user32.dll", "version.dll",
                "winmm.dll", "dinput8.dll", "uuid.dll"}
ICON_SIZES = 6  # quendaloop_paint --ico: 16 to 256 pixels, each a PNG


def the_exe(exe):
    """Imports only Windows' own DLLs, runs in the GUI subsystem (no console), and
    carries the icon and the version information."""
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True,
                          check=True).stdout
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    check(dlls and dlls <= WINDOWS_DLLS, "imports beyond Windows' own DLLs: %s" % sorted(dlls - WINDOWS_DLLS))
    check(re.search(r"Subsystem\s+00000002", dump), "not a program of the GUI subsystem")
    with open(exe, "rb") as f:
        data = f.read()
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        version = re.search(r"project\(quendaloop VERSION ([0-9.]+)", f.read()).group(1)
    for key, value in (("ProductName", "Quendaloop Brakkelgrusk"), ("ProductVersion", version)):
        check((key + "\0" * 1).encode("utf-16-le") in data and value.encode("utf-16-le") in data,
              "no %s %s in the version information" % (key, value))
    check(data.count(b"\x89PNG\r\n\x1a\n") >= ICON_SIZES, "the icon's pictures are missing")


def wine_env(prefix, home):
    return {"WINEPREFIX": prefix, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=", "HOME": home,
            "PULSE_SERVER": "none", "SDL_AUDIODRIVER": ""}


def prepare_prefix(prefix, home):
    """The Wine prefix, made once with no network (no Mono, no Gecko)."""
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return
    started = time.monotonic()
    env = dict(os.environ, **wine_env(prefix, home))
    env.pop("DISPLAY", None)
    subprocess.run(["wineboot", "-u"], env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, check=True)
    print("Wine prefix made in %.0f s" % (time.monotonic() - started))


def stop_wineserver(prefix):
    """One wineserver serves a prefix and keeps the display it first saw."""
    env = dict(os.environ, WINEPREFIX=prefix)
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class WineSession(e2e.Session):
    """A shell_e2e session whose program is the exe under Wine."""

    def __init__(self, exe, prefix, home, artifacts):
        super().__init__(exe, os.path.dirname(exe), artifacts)
        self.prefix = prefix
        self.home = home

    def open_screen(self, screen):
        super().open_screen(screen)
        self.env.update(wine_env(self.prefix, self.home))
        del self.env["SDL_AUDIODRIVER"]
        self.env.pop("QUENDALOOP_SOUND", None)  # SDL's Windows output, on ALSA's null device

    def start(self, program=None, workdir=None, **kwargs):
        # From another folder: the exe finds its data beside itself.
        super().start(program=program or self.program, workdir=workdir or self.home, prefix=["wine"], **kwargs)

    def finish(self):
        super().finish()
        stop_wineserver(self.prefix)


def grab(s, window_id):
    """The window's client area as an RGB array (cut from the whole screen)."""
    width, height, x, y = s.client_geometry(window_id)
    shot = s.path("shot.png")
    subprocess.run(["import", "-silent", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                    "+repage", shot], env=s.env, check=True)
    return np.asarray(Image.open(shot).convert("RGB"), dtype=np.float64)


def wait_lit(s, window_id):
    return poll("a lit frame", lambda: lit(grab(s, window_id)))


def framed_then_f1(s):
    """The question; No: a framed, lit 640x480 window; F1 fullscreen, F1 framed; Escape: 0."""
    started = time.monotonic()
    s.start()
    s.wait_window("Fullscreen poff!")
    asked = time.monotonic()
    s.answer("Fullscreen poff!", "Escape")
    answered = time.monotonic()
    first = e2e.expect_show_window(s, e2e.FIRST_TITLE)
    wait_lit(s, first)
    shown = time.monotonic()
    print("launch to the question %.1f s; No to the first lit frame %.1f s" % (asked - started, shown - answered))
    s.screenshot("wine-framed.png")
    s.xdotool("key", "F1")
    second = e2e.expect_show_window(s, e2e.TOGGLED_TITLE, gone_id=first)
    wait_lit(s, second)
    s.xdotool("key", "F1")
    third = e2e.expect_show_window(s, e2e.TOGGLED_TITLE, gone_id=second)
    wait_lit(s, third)
    s.xdotool("key", "Escape")
    status = s.wait_exit()
    check(status == 0, "exit status %d after Escape" % status)


def missing_picture(s):
    """A missing picture: the loader's box, then status 1."""
    data = s.data_copy()
    shutil.copy(s.program, data)
    os.remove(os.path.join(data, "Data", "crate.bmp"))
    s.start(program=os.path.join(data, os.path.basename(s.program)))
    s.answer("Fullscreen poff!", "Escape")
    s.answer("ERROR", "Return")
    status = s.wait_exit()
    check(status == 1, "exit status %d after the missing picture, not 1" % status)


def scene_references(capture, data, scratch):
    """Small versions of the Linux capture's frames, two a second through the whole
    show, each with its scene (from the capture's frame log), for telling scenes apart."""
    out = os.path.join(scratch, "references")
    log = os.path.join(scratch, "references.log")
    subprocess.run([capture, "--data", data, "--progress", "none", "--fps", "2", "--to", str(SHOW_SECONDS),
                    "--png-dir", out, "--frame-log", log], check=True, env=dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1"))
    references = []
    for line in open(log):
        if not line.startswith("#"):
            frame, _, scene = line.split()[:3]
            references.append((int(scene), shrink(rgb(os.path.join(out, "frame-%06d.png" % int(frame))))))
    return references


def shrink(image):
    """Means of 80x80 blocks: the colours and brightness of a scene, not its moving detail."""
    h, w = image.shape[:2]
    return image[:h - h % 80, :w - w % 80].reshape(h // 80, 80, w // 80, 80, 3).mean(axis=(1, 3))


def lit(image):
    """Some pixels well above black (the grid's moods are thin lines on black)."""
    return np.percentile(image.max(axis=2), 99) > 40


def scenes_in_order(references):
    def run(s):
        """The whole show framed: the scenes come in the show's order, each told from
        the others by the Linux capture's frames, every shot lit."""
        s.start()
        s.answer("Fullscreen poff!", "Escape")
        window = e2e.expect_show_window(s, e2e.FIRST_TITLE)
        wait_lit(s, window)
        seen = []  # (seconds since the first lit frame, scene, mean)
        started = time.monotonic()
        while time.monotonic() - started < SHOW_SECONDS:
            image = grab(s, window)
            small = shrink(image)
            scene = min(references, key=lambda r: np.abs(r[1] - small).mean())[0]
            seen.append((time.monotonic() - started, scene, lit(image)))
            if len(seen) < 2 or seen[-2][1] != scene:
                print("  %5.1f s: scene %d" % seen[-1][:2])
            s.expect_running()
        # A shot of a dark moment of one scene can look like another's; a scene
        # counts as come once two shots were taken for it, and the scenes must
        # come in the show's order.
        counts, came = {}, []
        for _, scene, _ in seen:
            counts[scene] = counts.get(scene, 0) + 1
            if counts[scene] == 2:
                came.append(scene)
        expected = [scene for scene, _ in SCENE_FRAMES]
        check(came == expected, "scenes came in the order %s, not %s" % (came, expected))
        # The flash scene flashes, from black: once the scene before it has come, a
        # black shot (which looks like any dark scene) is the flash scene's.
        before = SCENE_FRAMES[-2][0]
        came_before = min(t for t, scene, _ in seen if scene == before)
        dark = ["%.1f s" % t for t, scene, bright in seen
                if not bright and (t < came_before or scene == before)]
        check(not dark, "dark frames: %s" % dark)
        check(any(bright for _, scene, bright in seen if scene == FLASH_SCENE), "the flash scene stays dark")
        s.xdotool("key", "Escape")
        check(s.wait_exit() == 0, "exit status %d after Escape" % s.show.returncode)
    return run


def capture_frames(capture, data, out):
    for _, second in SCENE_FRAMES:
        subprocess.run([capture, "--data", data, "--progress", "none", "--from", str(second), "--to",
                        "%g" % (second + 0.5 / 60), "--png-dir", out], check=True,
                       env=dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1"))


def rgb(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.float64)


def same_frames(frames_exe, folder, prefix, home, linux_dir, frame_compare, scratch):
    """The frame program under Wine (on an Xvfb of its own) against the Linux capture."""
    s = WineSession(frames_exe, prefix, home, None)
    try:
        s.open_screen("640x480")
        wine_dir = os.path.join(scratch, "wine-frames")
        os.makedirs(wine_dir)
        frames = [str(second * 60) for _, second in SCENE_FRAMES]
        done = subprocess.run(["wine", frames_exe, "Z:" + wine_dir] + frames, cwd=folder, env=s.env,
                              capture_output=True, text=True, timeout=600)
        check(done.returncode == 0, "the frame program: status %d: %s" % (done.returncode, done.stderr[-2000:]))
        for name in os.listdir(wine_dir):
            Image.open(os.path.join(wine_dir, name)).save(os.path.join(wine_dir, name[:-4] + ".png"))
            os.remove(os.path.join(wine_dir, name))
    finally:
        s.finish()
    compared = subprocess.run([frame_compare, linux_dir, wine_dir, "-", str(MIN_PSNR)], capture_output=True,
                              text=True)
    print(compared.stdout, end="")
    check(compared.returncode == 0, "a frame under Wine differs from the Linux capture's")


def unpaced_fps(s, linux_show, data):
    """Frames per second over ten seconds of the first scene, framed and unpaced, on
    Linux and under Wine, counted by Mesa's own HUD (llvmpipe serves both)."""
    rates = {}
    for name in ("Linux", "Wine"):
        dump = s.path("hud-" + name)
        os.makedirs(dump)
        env = dict(s.env, QUENDALOOP_PACING="off", GALLIUM_HUD="simple,fps", GALLIUM_HUD_DUMP_DIR=dump,
                   GALLIUM_HUD_PERIOD="1")
        if name == "Linux":
            env["QUENDALOOP_SOUND"] = "null"
            e2e.Session.start(s, program=linux_show, workdir=data, env=env)
        else:
            s.start(env=env)
        s.answer("Fullscreen poff!", "Escape")
        e2e.expect_show_window(s, e2e.FIRST_TITLE)
        time.sleep(10)  # the measuring window, not a wait for anything
        s.show.kill()  # Escape is tested above; this is a measurement
        s.wait_exit()
        with open(os.path.join(dump, "fps")) as f:
            rates[name] = [float(line) for line in f if line.strip()][2:]  # past the start-up
        check(rates[name], "no frame rate from the %s run" % name)
    print("unpaced frames per second, framed 640x480 on Xvfb, llvmpipe: Linux %.0f, Wine %.0f (medians)" %
          (np.median(rates["Linux"]), np.median(rates["Wine"])))


def main():
    if len(sys.argv) != 6:
        print(__doc__, file=sys.stderr)
        return 2
    zip_path, frames_exe, capture, frame_compare, linux_show = [os.path.abspath(a) for a in sys.argv[1:]]
    prefix = os.path.abspath(os.environ.get("QUENDALOOP_WINE_PREFIX", os.path.join(ROOT, "build-win", "wine-prefix")))
    scratch = tempfile.mkdtemp(prefix="quendaloop-wine-")
    failures = 0
    try:
        home = os.path.join(scratch, "home")
        os.makedirs(home)
        with open(os.path.join(home, ".asoundrc"), "w") as f:
            f.write("pcm.!default { type null }\nctl.!default { type hw card 0 }\n")
        with zipfile.ZipFile(zip_path) as z:
            z.extractall(scratch)
        folder = os.path.join(scratch, "Quendaloop")
        exe = os.path.join(folder, "quendaloop.exe")
        check(os.path.isfile(exe), "no Quendaloop/quendaloop.exe in the zip")
        try:
            the_exe(exe)
            print("PASS the exe")
        except Failure as failure:
            failures += 1
            print("FAIL the exe: %s" % failure)
        prepare_prefix(prefix, home)
        linux_dir = os.path.join(scratch, "linux-frames")
        capture_frames(capture, folder, linux_dir)
        scenarios = [
            ("question, framed, F1, Escape", "640x480", framed_then_f1),
            ("missing picture", "1024x768", missing_picture),
            ("scenes in order", "1024x768", lambda s: scenes_in_order(scene_references(capture, folder, scratch))(s)),
            ("unpaced frames per second", "1024x768", lambda s: unpaced_fps(s, linux_show, folder)),
        ]
        if os.geteuid() == 0:
            scenarios.append(("real modes, F1, Escape", "xorg", e2e.real_modes_f1_and_escape))
        else:
            print("SKIP real modes: an Xorg server with a configuration of our own needs root")
        only = os.environ.get("QUENDALOOP_WINE_ONLY", "")
        for name, screen, run in scenarios:
            if only not in name:
                continue
            s = WineSession(exe, prefix, home, os.environ.get("QUENDALOOP_WINE_ARTIFACTS"))
            try:
                s.open_screen(screen)
                run(s)
                print("PASS " + name)
            except Failure as failure:
                failures += 1
                print("FAIL %s: %s" % (name, failure))
                if s.show:
                    print("show stderr (last part):\n" + s.stderr()[-3000:])
                if s.x:
                    print("windows on the screen: %s" % [w[1] for w in s.windows()])
            finally:
                s.finish()
        if only in "the same frames":
            try:
                same_frames(frames_exe, folder, prefix, home, linux_dir, frame_compare, scratch)
                print("PASS the same frames")
            except Failure as failure:
                failures += 1
                print("FAIL the same frames: %s" % failure)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
