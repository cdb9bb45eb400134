#!/usr/bin/python3
"""The site (scripts/web.sh) in headless Chromium, served from 127.0.0.1.

  web_test.py --site build-web/site --capture build/tools/capture/quendaloop-capture \
              --paint build/tools/paint/quendaloop_paint --data .

Frames: one frame inside each scene (?frame=N) against the desktop capture's
PNG of the same frame. Live show: the question, the canvas, the scenes
following the music, a lost WebGL context, fullscreen, F1, Escape and the end
page, an inactive page, sound through an AudioWorklet. Pacing: 60 frames a
second on a fast display. Leaving fullscreen goes on framed; a small window
scales the canvas. Failures: missing or broken files, a network error, no
WebGL, no sound, a page opened from a file: each says what happened in words
for the viewer. The favicon is the painter's icon. Sound: the wasm mixer's PCM
against the capture's WAV. Every page must leave no error in the console
beyond those a case expects. Figures (PSNR, frames per second of each scene,
time to the first frame, sound latency) are printed.
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


# Injected before the page loads: requestAnimationFrame driven by a timer at
# HZ refreshes a second, each refresh running every waiting callback with one
# timestamp, as a display does; and a count of the refreshes after which the
# page had drawn into its WebGL context (any clear or draw call), which is
# what the display would show, counted outside the page's own pacing.
FAKE_DISPLAY = """(() => {
  const hz = %(hz)s;
  const waiting = new Map();
  let nextId = 1;
  window.requestAnimationFrame = (callback) => { waiting.set(nextId, callback); return nextId++; };
  window.cancelAnimationFrame = (id) => { waiting.delete(id); };
  const display = window.fakeDisplay = {refreshes: 0, drawn: 0};
  let drew = false;
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    const context = getContext.call(this, type, attributes);
    if (context && /webgl/.test(type) && !context.counted) {
      context.counted = true;
      for (const name of ['clear', 'drawArrays', 'drawElements']) {
        const call = context[name];
        context[name] = function () { drew = true; return call.apply(this, arguments); };
      }
    }
    return context;
  };
  // Refresh n comes at start + n / hz; one the page was too busy to see is
  // gone, as on a display.
  const start = performance.now();
  let last = 0;
  const refresh = () => {
    const n = Math.floor((performance.now() - start) * hz / 1000);
    if (n > last) {
      last = n;
      if (drew) display.drawn++;
      drew = false;
      display.refreshes++;
      const callbacks = [...waiting.values()];
      waiting.clear();
      for (const callback of callbacks) callback(start + n * 1000 / hz);
    }
    setTimeout(refresh, Math.max(0, start + (last + 1) * 1000 / hz - performance.now()));
  };
  setTimeout(refresh, 1000 / hz);
})();"""

NO_WEBGL = """(() => {
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function (type, attributes) {
    return /webgl/.test(type) ? null : getContext.call(this, type, attributes);
  };
})();"""

NO_WEB_AUDIO = 'delete window.AudioContext; delete window.webkitAudioContext;'
NO_AUDIO_WORKLET = 'delete window.AudioWorkletNode;'


class Server:
    """A static server on 127.0.0.1 over `root`, in a thread."""

    def __init__(self, root):
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                # A folder named net-error/ loses the connection on its data
                # file: a network error, not an answer.
                if '/net-error/' in self.path and self.path.endswith('.data'):
                    self.close_connection = True
                    return
                super().do_GET()

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

    def with_scripts(self, *sources):
        """Runs each source in every page loaded inside the `with` block, before its own scripts."""
        browser = self

        class Scripts:
            def __enter__(self):
                self.ids = [browser.driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {
                    'source': source})['identifier'] for source in sources]

            def __exit__(self, *exc):
                for identifier in self.ids:
                    browser.driver.execute_cdp_cmd('Page.removeScriptToEvaluateOnNewDocument',
                                                   {'identifier': identifier})

        return Scripts()

    def end_page(self, timeout=10):
        """The end page's visible text and button, once it shows; asserts nothing else of the page shows."""
        self.wait("return !document.getElementById('end').hidden", timeout)
        return self.driver.execute_script("""
            const shown = (e) => e.getClientRects().length > 0;
            const others = ['stage', 'keys', 'notice'].filter((id) => shown(document.getElementById(id)));
            if (others.length) return 'also shown: ' + others.join(', ');
            return [document.getElementById('end').innerText.trim().split(/\\n+/),
                    shown(document.getElementById('again')) ? document.getElementById('again').textContent : null];""")

    def warnings(self):
        """The console's warnings and errors since the last call."""
        return [e['message'] for e in self.driver.get_log('browser') if e['level'] in ('WARNING', 'SEVERE')]

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

    def start_framed(self, url=None):
        b, d = self.browser, self.browser.driver
        d.get(url or self.page)
        b.box()
        b.answer('No')
        b.wait('return Module.platform.swaps > 0', 20)

    def site_copy(self, name, change):
        """The site copied to the folder `name`, changed by change(folder); its page's address."""
        copy = os.path.join(self.root, name)
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(os.path.join(self.root, 'site'), copy)
        change(copy)
        return self.server.base + name + '/index.html'

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
        # 127.0.0.1 is a secure context: the sound plays through an AudioWorklet.
        self.assertEqual(d.execute_script('return Module.sound.kind'), 'worklet')

        # A window smaller than 640x480 scales the canvas down, 4:3 kept;
        # from 640x480 up it stays 1:1.
        for window, shown in [((480, 360), (480, 360)), ((400, 600), (400, 300)), ((800, 420), (560, 420)),
                              ((640, 480), (640, 480)), ((1024, 768), (640, 480))]:
            d.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {
                'width': window[0], 'height': window[1], 'deviceScaleFactor': 1, 'mobile': False})
            box = d.execute_script('const r = arguments[0].getBoundingClientRect();'
                                   'return [r.width, r.height, r.left >= 0 && r.top >= 0]', canvas)
            self.assertEqual(box, [shown[0], shown[1], True], 'window %dx%d' % window)
        d.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})

        # A lost WebGL context comes back, its pictures made again, the
        # music going on from its time.
        seconds = b.wait('const s = Module._webMusicSeconds(); return s >= 2 && s')
        d.execute_script("""const canvas = arguments[0];
            for (const e of ['webglcontextlost', 'webglcontextrestored']) canvas.addEventListener(e, () => window[e] = true);
            window.loseContext = canvas.getContext('webgl').getExtension('WEBGL_lose_context');
            loseContext.loseContext();""", canvas)
        b.wait('return window.webglcontextlost', 10)
        d.execute_script('loseContext.restoreContext()')
        b.wait('return window.webglcontextrestored', 10)
        swaps = d.execute_script('return Module.platform.swaps')
        b.wait('return Module.platform.swaps > %d' % (swaps + 30), 10)
        self.assertGreaterEqual(d.execute_script('return Module._webMusicSeconds()'), seconds)
        self.assertGreater(rgb(canvas.screenshot_as_png).mean(), 10, 'the canvas is dark after the context came back')

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

        # Escape ends the show: the end page shows only its text and button.
        b.key(Keys.ESCAPE)
        self.assertEqual(b.end_page(), [['The show is over.', 'Start again'], 'Start again'])
        self.assertEqual(d.find_elements(By.CSS_SELECTOR, '#stage canvas'), [])
        self.assertIsNone(d.execute_script('return Module.sound'))
        self.assertEqual(b.warnings(), [], 'warnings in the console (a ScriptProcessor is deprecated)')

    def test_leaving_fullscreen_goes_on_framed_until_escape(self):
        b, d = self.browser, self.browser.driver
        d.get(self.page)
        b.box()
        b.key(Keys.ENTER)  # the default answer, Yes; a key press is a gesture too
        b.wait("return document.fullscreenElement && document.fullscreenElement.id === 'stage'"
               " && Module.platform.swaps > 0", 10)
        canvas = d.find_element(By.CSS_SELECTOR, '#stage canvas')
        width, height = d.execute_script('return [arguments[0].clientWidth, arguments[0].clientHeight]', canvas)
        self.assertAlmostEqual(width / height, 4 / 3, places=2)
        seconds = b.wait('const s = Module._webMusicSeconds(); return s >= 2 && s')
        # The browser's own Escape (or its controls, or a resize) leaves
        # fullscreen without a key the page sees: the show goes on framed,
        # its music on from where it was; twice, F1 taking fullscreen back.
        for _ in range(2):
            d.execute_script('document.exitFullscreen()')
            b.wait('return !document.fullscreenElement', 10)
            swaps = d.execute_script('return Module.platform.swaps')
            b.wait('return Module.platform.swaps > %d' % (swaps + 20), 10)
            self.assertEqual(d.find_elements(By.CSS_SELECTOR, '#stage canvas'), [canvas])
            self.assertEqual(d.execute_script('const r = arguments[0].getBoundingClientRect();'
                                              'return [r.width, r.height]', canvas), [640, 480])
            self.assertTrue(d.execute_script("return document.getElementById('end').hidden"))
            self.assertGreaterEqual(d.execute_script('return Module._webMusicSeconds()'), seconds)
            b.key(Keys.F1)
            b.wait("return document.fullscreenElement && document.fullscreenElement.id === 'stage'", 10)
        self.assertEqual(d.find_elements(By.CSS_SELECTOR, '#stage canvas'), [canvas])
        d.execute_script('document.exitFullscreen()')
        b.wait('return !document.fullscreenElement', 10)
        # Escape in the framed page ends it.
        b.key(Keys.ESCAPE)
        self.assertEqual(b.end_page(), [['The show is over.', 'Start again'], 'Start again'])

    def test_the_page_draws_60_frames_a_second_on_any_display(self):
        d = self.browser.driver
        # (refreshes a second, frames a second the page draws): 60 from 60 Hz
        # up, one frame a refresh below.
        for hz, expected in [(144, 60), (75, 60), (50, 50)]:
            with self.subTest(hz=hz), self.browser.with_scripts(FAKE_DISPLAY % {'hz': hz}):
                self.start_framed()
                d.execute_async_script('setTimeout(arguments[0], 1000)')  # past the start
                rates = d.execute_async_script("""
                    const done = arguments[0];
                    const at = () => [performance.now(), fakeDisplay.refreshes, fakeDisplay.drawn];
                    const before = at();
                    setTimeout(() => {
                        const after = at();
                        const seconds = (after[0] - before[0]) / 1000;
                        done([(after[1] - before[1]) / seconds, (after[2] - before[2]) / seconds]);
                    }, 5000);""")
                print('\n%d Hz display: %.1f refreshes and %.1f frames drawn a second' % (hz, rates[0], rates[1]))
                self.assertGreater(rates[0], hz * 0.8, 'the fake display kept no rate')
                self.assertAlmostEqual(rates[1], expected, delta=3)

    def test_sound_falls_back_to_a_script_processor_and_to_the_clock(self):
        b, d = self.browser, self.browser.driver
        # No AudioWorklet: a ScriptProcessor plays, and the music advances.
        with b.with_scripts(NO_AUDIO_WORKLET):
            self.start_framed()
            self.assertEqual(d.execute_script('return Module.sound.kind'), 'script-processor')
            b.wait('return Module._webMusicSeconds() >= 2', 20)
            b.key(Keys.ESCAPE)
            b.end_page()
            b.warnings()  # Chromium says a ScriptProcessor is deprecated
        # No Web Audio at all: a notice, and the show runs on the clock.
        with b.with_scripts(NO_WEB_AUDIO):
            self.start_framed()
            b.wait('return Module._webMusicSeconds() >= 2', 20)
            self.assertFalse(d.execute_script('return !!Module.sound'))
            notice = d.find_element(By.ID, 'notice')
            self.assertTrue(notice.is_displayed())
            self.assertTrue(notice.text.startswith('No sound: '), notice.text)

    def test_a_failed_start_says_what_failed_in_words_and_offers_to_try_again(self):
        b, d = self.browser, self.browser.driver

        def remove(name):
            return lambda folder: os.remove(os.path.join(folder, name))

        def damage_wasm(folder):
            with open(os.path.join(folder, 'quendaloop.wasm'), 'r+b') as f:
                f.write(b'\0junk')

        program, data = 'Its program (quendaloop.%s) ', 'Its pictures and music (quendaloop.data) '
        cases = [  # (folder, change, the reason the page gives)
            ('no-script', remove('quendaloop.js'), program % 'js' + 'could not be downloaded.'),
            ('no-wasm', remove('quendaloop.wasm'), program % 'wasm' + 'could not be downloaded.'),
            ('bad-wasm', damage_wasm, program % 'wasm' + 'is damaged or incomplete.'),
            ('no-data', remove('quendaloop.data'), data + 'could not be downloaded.'),
            ('net-error', lambda folder: None, data + 'could not be downloaded: the connection failed.'),
        ]
        for name, change, reason in cases:
            with self.subTest(name):
                d.get(self.site_copy(name, change))
                self.assertEqual(b.end_page(30), [['The show could not start.', reason, 'Try again'], 'Try again'])
                self.assertTrue(b.errors(), 'the failure is in the console too')
        # Try again, with the data back: the show starts.
        d.get(self.server.base + 'no-data/index.html')
        b.end_page(30)
        b.errors()
        shutil.copy(os.path.join(self.root, 'site', 'quendaloop.data'), os.path.join(self.root, 'no-data'))
        d.find_element(By.ID, 'again').click()
        self.assertEqual(b.box()[0], 'Fullscreen poff!')

        # No WebGL: the show's own box, then the end in words.
        with b.with_scripts(NO_WEBGL):
            d.get(self.page)
            b.box()
            b.answer('No')
            self.assertEqual(b.box(10), ['ERROR', "Can't Create A GL Rendering Context.", ['OK']])
            b.answer('OK')
            self.assertEqual(b.end_page(), [['The show stopped because of an error.',
                                             'This browser gave it no WebGL, which it draws with.', 'Try again'],
                                            'Try again'])

    def test_a_page_opened_from_a_file_says_to_serve_its_folder(self):
        b, d = self.browser, self.browser.driver
        site = os.path.join(self.root, 'site')
        d.get('file://' + site + '/index.html')
        lines, button = b.end_page()
        self.assertIsNone(button)
        self.assertIn('python3 -m http.server -d ' + site, lines)
        self.assertIn('served by a web server', lines[0])
        self.assertFalse(d.execute_script("return !!document.querySelector('script[src]')"), 'the program was loaded')

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
        cases = {  # the boxes, then the page's own words, which name the file
            # The picture's name changed in the package: the file is missing.
            'missing': ([('ERROR', 'Initialization Failed.')], 'No such file or directory.'),
            # Its BMP signature overwritten: the loader cannot read it.
            'broken': ([('Error', 'Unknown DIB file format.'), ('ERROR', 'Initialization Failed.')],
                       'Unknown DIB file format.'),
        }
        for name, (boxes, why) in cases.items():
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
                self.assertEqual(b.end_page(), [['The show stopped because of an error.',
                                                 'The picture Data/crate.bmp could not be read: ' + why, 'Try again'],
                                                'Try again'])


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
