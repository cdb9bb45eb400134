#!/usr/bin/python3
"""The site (scripts/web.sh) in headless Chromium, served from 127.0.0.1.

  web_test.py --site build-web/site --capture build/tools/capture/quendaloop-capture \
              --paint build/tools/paint/quendaloop_paint --data .

Frames: one frame inside each scene (?frame=N) against the desktop capture's
PNG of the same frame. Live show: the question, the canvas, the scenes
following the music, fullscreen, F1, Escape and the end, an inactive page.
Broken data: the loader's boxes. The favicon is the painter's icon. Sound: the wasm mixer's PCM against the
capture's WAV. Every page must leave no error in the console. Figures (PSNR,
frames per second of each scene, time to the first frame, sound latency) are
printed.
"""
import argparse
import base64
import functools
import hashlib
import http.server
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import wave

import numpy as np
from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

ARGS = None
FPS = 60
# One frame well inside each scene: (scene, second of music). Scene 7 is the
# cleared frame after the last.
SCENE_FRAMES = [(0, 5), (1, 16), (6, 25), (2, 32), (3, 38), (4, 44), (5, 52), (7, 58)]
SHOW_ORDER = [0, 1, 6, 2, 3, 4, 5, 7]
MIN_BLURRED_PSNR = 30.0


def scene_for(seconds):
    """The scene the timeline picks after a frame at `seconds` whole seconds of music."""
    for limit, scene in [(10, 0), (22, 1), (28, 6), (36, 2), (40, 3), (48, 4), (56, 5)]:
        if seconds <= limit:
            return scene
    return 7


def psnr(a, b):
    mse = float(np.mean((a - b) ** 2))
    return float('inf') if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)


def box_blur(a):
    p = np.pad(a, ((1, 1), (1, 1), (0, 0)), mode='edge')
    h, w = a.shape[:2]
    return sum(p[y:y + h, x:x + w] for y in range(3) for x in range(3)) / 9.0


def rgb(png_bytes):
    return np.asarray(Image.open(io.BytesIO(png_bytes)).convert('RGB'), dtype=np.float64)


class Server:
    """A static server on 127.0.0.1 over `root`, in a thread."""

    def __init__(self, root):
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(Quiet, directory=root))
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.base = 'http://127.0.0.1:%d/' % self.httpd.server_address[1]

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Browser:
    """Headless Chromium with a fresh profile and no network of its own."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix='quendaloop-chromium-')
        options = webdriver.ChromeOptions()
        for flag in ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--no-first-run', '--disable-quic', '--window-size=1024,768',
                     '--user-data-dir=' + self.profile]:
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        self.driver.set_script_timeout(120)

    def errors(self):
        """The console's errors since the last call."""
        return [e['message'] for e in self.driver.get_log('browser') if e['level'] == 'SEVERE']

    def wait(self, script, timeout=60):
        """Waits until `script` returns a true value, and returns it."""
        return WebDriverWait(self.driver, timeout, poll_frequency=0.05).until(
            lambda d: d.execute_script(script))

    def box(self, timeout=60):
        """The open dialog's caption, text and button labels."""
        self.wait("return document.querySelector('.box button')", timeout)
        return self.driver.execute_script("""
            const box = document.querySelector('.box');
            return [box.querySelector('.caption').textContent, box.querySelector('.text').textContent,
                    Array.from(box.querySelectorAll('button'), (b) => b.textContent)];""")

    def answer(self, label):
        for button in self.driver.find_elements(By.CSS_SELECTOR, '.box button'):
            if button.text == label:
                button.click()
                return
        raise AssertionError('no button ' + label)

    def key(self, key):
        ActionChains(self.driver).send_keys(key).perform()

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


class WebTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix='quendaloop-web-')
        shutil.copytree(ARGS.site, os.path.join(cls.root, 'site'))
        cls.server = Server(cls.root)
        cls.browser = Browser()
        cls.page = cls.server.base + 'site/index.html'

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.server.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def tearDown(self):
        self.assertEqual(self.browser.errors(), [], 'errors in the console')

    def capture(self, args):
        subprocess.run([ARGS.capture, '--data', ARGS.data, '--progress', 'none'] + args, check=True,
                       env=dict(os.environ, LIBGL_ALWAYS_SOFTWARE='1'))

    def test_frames_match_the_desktop_capture(self):
        d = self.browser.driver
        results = []
        with tempfile.TemporaryDirectory() as pngs:
            for scene, second in SCENE_FRAMES:
                frame = second * FPS
                self.capture(['--from', str(second), '--to', '%g' % (second + 0.5 / FPS), '--png-dir', pngs])
                with open(os.path.join(pngs, 'frame-%06d.png' % frame), 'rb') as f:
                    desktop = rgb(f.read())
                d.get(self.page + '?frame=%d' % frame)
                self.browser.wait("const c = document.querySelector('canvas');"
                                  "return c && c.dataset.frame === '%d'" % frame, 120)
                url = d.execute_script("return document.querySelector('canvas').toDataURL('image/png')")
                web = rgb(base64.b64decode(url.split(',', 1)[1]))
                self.assertEqual(web.shape, (480, 640, 3))
                results.append((scene, frame, psnr(web, desktop), psnr(box_blur(web), box_blur(desktop))))
        print('\nframe PSNR, web against desktop (dB):')
        for scene, frame, plain, blurred in results:
            print('  scene %d frame %5d: plain %6.2f  blurred %6.2f' % (scene, frame, plain, blurred))
        for scene, frame, plain, blurred in results:
            self.assertGreaterEqual(blurred, MIN_BLURRED_PSNR, 'scene %d, frame %d' % (scene, frame))

    def test_sound_matches_the_desktop_render(self):
        with tempfile.TemporaryDirectory() as out:
            wav_path = os.path.join(out, 'ten.wav')
            self.capture(['--to', '10', '--wav', wav_path])
            with wave.open(wav_path) as w:
                desktop = hashlib.sha256(w.readframes(w.getnframes())).hexdigest()
        self.browser.driver.get(self.page + '?pcm=10')
        web = self.browser.wait('return document.body.dataset.pcmSha256')
        self.assertEqual(web, desktop)

    def test_live_show(self):
        b, d = self.browser, self.browser.driver
        d.get(self.page)
        self.assertEqual(b.box(), ['Fullscreen poff!', 'FullScreen or what?', ['Yes', 'No']])
        d.execute_script("document.addEventListener('click', () => { window.clickAt = performance.now(); },"
                         " {capture: true, once: true});")
        b.answer('No')
        b.wait('return Module.platform.firstFrameAt !== null', 10)
        canvas = d.find_element(By.CSS_SELECTOR, '#stage canvas')
        self.assertEqual(d.execute_script('const c = arguments[0]; return [c.width, c.height, c.clientWidth,'
                                          ' c.clientHeight, !!document.fullscreenElement]', canvas),
                         [640, 480, 640, 480, False])
        first_frame_ms = d.execute_script('return Module.platform.firstFrameAt - window.clickAt')
        print('\nclick to first frame: %.0f ms' % first_frame_ms)
        self.assertLess(first_frame_ms, 2000)
        lit = rgb(canvas.screenshot_as_png)
        self.assertGreater(lit.mean(), 10, 'the canvas is dark')
        loaded = d.execute_script("return performance.getEntriesByType('resource').map((e) => e.name)")
        self.assertEqual([url for url in loaded if not url.startswith(self.server.base)], [])

        # A hidden page draws nothing: another tab in front for half a second.
        d.execute_script("""document.addEventListener('visibilitychange', () => {
            window[document.hidden ? 'hiddenAt' : 'shownAt'] = Module.platform.swaps; });""")
        shown = d.current_window_handle
        d.switch_to.new_window('tab')
        d.execute_async_script('setTimeout(arguments[0], 500)')
        d.close()
        d.switch_to.window(shown)
        hidden_at, shown_at = b.wait('return window.shownAt !== undefined && [window.hiddenAt, window.shownAt]')
        self.assertLessEqual(shown_at - hidden_at, 1)

        # The whole show: the scene follows the music's whole seconds, in order.
        samples = []  # (wall seconds, presented frames, scene, music seconds)
        start = time.monotonic()
        while True:
            swaps, scene, seconds = d.execute_script(
                'return [Module.platform.swaps, Module._webScene(), Module._webMusicSeconds()]')
            samples.append((time.monotonic() - start, swaps, scene, seconds))
            self.assertEqual(scene, scene_for(seconds), 'scene %d at %d s of music' % (scene, seconds))
            if seconds >= 58:
                break
            self.assertLess(time.monotonic() - start, 120, 'the music does not advance')
            time.sleep(0.25)
        seen = []
        for _, _, scene, _ in samples:
            if not seen or seen[-1] != scene:
                seen.append(scene)
        self.assertEqual(seen, SHOW_ORDER)
        print('frames per second by scene (headless Chromium, SwiftShader):')
        for scene in SHOW_ORDER:
            rows = [s for s in samples if s[2] == scene]
            if len(rows) >= 2 and rows[-1][0] > rows[0][0]:
                print('  scene %d: %5.1f' % (scene, (rows[-1][1] - rows[0][1]) / (rows[-1][0] - rows[0][0])))
        latency, gaps = d.execute_script('return [Module.soundLatencyMs, Module.sound.gapFrames]')
        print('sound latency the page computes: %s ms; sound frames missed: %d' % (latency, gaps))

        # F1 twice: closed and opened again in the other mode each time, the
        # music started again.
        b.key(Keys.F1)
        b.wait("return document.fullscreenElement && document.querySelector('#stage canvas.popup')", 10)
        self.assertEqual(d.title, 'Quendaloop Brakkelgrusk!')
        b.wait('return Module._webMusicSeconds() < 10', 10)
        b.key(Keys.F1)
        b.wait("return !document.fullscreenElement && document.querySelector('#stage canvas.framed')", 10)
        self.assertEqual(len(d.find_elements(By.CSS_SELECTOR, '#stage canvas')), 1)

        # Escape ends the show.
        b.key(Keys.ESCAPE)
        b.wait("return !document.getElementById('end').hidden", 10)
        self.assertEqual(d.find_elements(By.CSS_SELECTOR, '#stage canvas'), [])
        self.assertIsNone(d.execute_script('return Module.sound'))

    def test_enter_answers_yes_for_fullscreen_and_the_browsers_escape_ends(self):
        b, d = self.browser, self.browser.driver
        d.get(self.page)
        b.box()
        b.key(Keys.ENTER)  # the default answer, Yes; a key press is a gesture too
        b.wait("return document.fullscreenElement && document.fullscreenElement.id === 'stage'"
               " && Module.platform.swaps > 0", 10)
        canvas = d.find_element(By.CSS_SELECTOR, '#stage canvas')
        width, height = d.execute_script('return [arguments[0].clientWidth, arguments[0].clientHeight]', canvas)
        self.assertAlmostEqual(width / height, 4 / 3, places=2)
        # The browser's own Escape leaves fullscreen without a key the page sees.
        d.execute_script('document.exitFullscreen()')
        b.wait("return !document.getElementById('end').hidden", 10)

    def test_without_web_audio_the_show_runs_on_the_clock(self):
        b, d = self.browser, self.browser.driver
        hidden = d.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {
            'source': 'delete window.AudioContext; delete window.webkitAudioContext;'})
        try:
            d.get(self.page)
            b.box()
            b.answer('No')
            b.wait('return Module._webMusicSeconds() >= 2', 20)
            self.assertFalse(d.execute_script('return !!Module.sound'))
        finally:
            d.execute_cdp_cmd('Page.removeScriptToEvaluateOnNewDocument', {'identifier': hidden['identifier']})

    def test_favicon_is_the_painted_icon(self):
        with tempfile.TemporaryDirectory() as icons:
            subprocess.run([ARGS.paint, '--icons', icons], check=True)
            with open(os.path.join(icons, 'quendaloop-32.png'), 'rb') as painted, \
                 open(os.path.join(ARGS.site, 'favicon.png'), 'rb') as served:
                self.assertEqual(served.read(), painted.read())
        self.browser.driver.get(self.page + '?pcm=0')
        self.assertEqual(self.browser.driver.execute_script(
            "return document.querySelector('link[rel=icon]').href"), self.page.replace('index.html', 'favicon.png'))

    def test_broken_pictures_give_the_loaders_boxes(self):
        site = os.path.join(self.root, 'site')
        with open(os.path.join(site, 'quendaloop.js')) as f:
            loader = f.read()
        files = json.loads(loader[loader.index('{"files":'):loader.index('})})();') + 1])['files']
        crate = next(f for f in files if f['filename'] == '/Data/crate.bmp')
        cases = {
            # The picture's name changed in the package: the file is missing.
            'missing': [('ERROR', 'Initialization Failed.')],
            # Its BMP signature overwritten: the loader cannot read it.
            'broken': [('Error', 'Unknown DIB file format.'), ('ERROR', 'Initialization Failed.')],
        }
        for name, boxes in cases.items():
            with self.subTest(name):
                copy = os.path.join(self.root, name)
                shutil.copytree(site, copy)
                if name == 'missing':
                    with open(os.path.join(copy, 'quendaloop.js'), 'w') as f:
                        f.write(loader.replace('"/Data/crate.bmp"', '"/Data/crate.bmq"'))
                else:
                    with open(os.path.join(copy, 'quendaloop.data'), 'r+b') as f:
                        f.seek(crate['start'])
                        f.write(b'XX')
                b, d = self.browser, self.browser.driver
                d.get(self.server.base + name + '/index.html')
                b.box()
                b.answer('No')
                for caption, text in boxes:
                    self.assertEqual(b.box(10), [caption, text, ['OK']])
                    b.answer('OK')
                    b.wait("const t = document.querySelector('.box .text');"
                           "return !t || t.textContent !== %s" % json.dumps(text), 10)
                b.wait("return !document.getElementById('end').hidden", 10)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--capture', required=True, help='the desktop quendaloop-capture')
    parser.add_argument('--paint', required=True, help='the desktop quendaloop_paint')
    parser.add_argument('--data', required=True, help='the folder with Data/ and pelvorgrind.xm')
    ARGS, rest = parser.parse_known_args()
    for name in ('site', 'capture', 'paint', 'data'):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
