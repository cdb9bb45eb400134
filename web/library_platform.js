// The page's side of the window-system layer in a browser
// (src/platform/platform_web.cpp): its listeners, the event queue, the
// canvas, dialogs, fullscreen and the frame pacing. Linked with --js-library;
// the functions below are called from C++ by these names.
//
// Module.platform holds the page's state, made once by setUpPage.
//
// Functions named in web/CMakeLists.txt's Asyncify imports wait for
// the browser: the program's stack is unwound and resumed around the wait.

mergeInto(LibraryManager.library, {
  setUpPage: function() {
    if (Module.platform) return;
    const P = (Module.platform = {
      events: [],
      stage: document.getElementById('stage') || document.body,
      canvas: null,
      holdsFullscreen: false,  // the show holds fullscreen (the display mode is granted)
      request: null,           // a fullscreen request not yet answered
      dialogOpen: false,
      swaps: 0,                // frames presented
      firstFrameAt: null,      // performance.now() when the first was presented
      nextSlot: null,          // animation-frame time (ms) of the next 1/60 s slot
      contextLost: false,      // the canvas's WebGL context lost its contents ...
      contextRestored: false,  // ... and may be made again
    });
    const params = new URLSearchParams(location.search);
    P.keepBuffer = params.has('frame');
    P.requestFullscreen = () => {
      if (document.fullscreenElement || !P.stage.requestFullscreen) return null;
      P.request = P.stage.requestFullscreen({navigationUI: 'hide'}).then(() => true, () => false);
      return P.request;
    };
    // Keys go to the show while it has a window and no dialog is open.
    const onKey = (e, down) => {
      if (!P.canvas || P.dialogOpen) return;
      const code = e.keyCode;
      if (code <= 0 || code > 255) return;
      if (code === 112 || code === 27 || (code >= 113 && code <= 123)) e.preventDefault();
      // In fullscreen Escape belongs to the browser, which leaves it.
      if (code === 27 && P.holdsFullscreen) return;
      if (down && code === 112 && !P.holdsFullscreen) {
        // A fullscreen show shown framed since the browser left fullscreen:
        // F1 takes fullscreen back, the show going on as it is.
        if (P.canvas.classList.contains('popup')) {
          const request = P.requestFullscreen();
          if (request)
            request.then(
                (granted) => (P.holdsFullscreen = granted && document.fullscreenElement === P.stage));
          P.swallowF1Up = true;
          return;
        }
        P.requestFullscreen();
      }
      if (!down && code === 112 && P.swallowF1Up) {
        P.swallowF1Up = false;
        return;
      }
      const system = code === 18 || code === 121 || e.altKey;
      const message = system ? (down ? 0x104 : 0x105) : down ? 0x100 : 0x101;
      let lParam = 1 | ((e.which & 0xff) << 16);
      if (e.repeat) lParam |= 1 << 30;
      if (!down) lParam |= 3 << 30;
      P.events.push([message, code, lParam]);
    };
    document.addEventListener('keydown', (e) => onKey(e, true));
    document.addEventListener('keyup', (e) => onKey(e, false));
    // A hidden page or a lost focus: inactive, as a minimized window is.
    const activity = () => {
      if (!P.canvas) return;
      const active = !document.hidden && document.hasFocus();
      P.events.push([0x0006, active ? 1 : 0x10000, 0]);
    };
    document.addEventListener('visibilitychange', activity);
    window.addEventListener('blur', activity);
    window.addEventListener('focus', activity);
    // Leaving fullscreen any way (the browser's Escape or controls, a resize)
    // goes on framed, as a video does: the canvas stays in the page.
    document.addEventListener('fullscreenchange', () => {
      if (!document.fullscreenElement) P.holdsFullscreen = false;
    });
  },

  // Takes the oldest page event into `out` (message, wParam, lParam);
  // returns 0 when none waits. A key release of a key in `fresh` stays
  // waiting.
  takePageEvent: function(out, fresh, freshCount) {
    const P = Module.platform;
    if (P.events.length === 0) return 0;
    const e = P.events[0];
    if (e[0] === 0x101 || e[0] === 0x105) {
      for (let i = 0; i < freshCount; ++i)
        if (HEAPU32[(fresh >> 2) + i] === e[1]) return 0;
    }
    P.events.shift();
    HEAP32[out >> 2] = e[0];
    HEAP32[(out >> 2) + 1] = e[1];
    HEAP32[(out >> 2) + 2] = e[2];
    return 1;
  },

  // Waits for the browser's next animation frame, or a tenth of a second
  // while the page is hidden and frames stop. After a presented frame it
  // waits for the first animation frame of the next 1/60 s slot: on a display
  // faster than 60 Hz the frames before it are passed over, so the show
  // draws 60 frames a second there. The slots keep to a grid (one every
  // 1000/60 ms from the first frame) while frames come in time; a frame later
  // than a whole slot starts the grid again from itself, so below 60 Hz every
  // animation frame is drawn.
  waitForFrame__deps: ['$Asyncify'],
  waitForFrame: function(presented) {
    return Asyncify.handleAsync(async () => {
      const P = Module.platform;
      const slot = 1000 / 60;  // ms
      // A frame this early in its slot still counts for it: animation-frame
      // times jitter around the display's refresh.
      const early = slot / 4;  // ms
      if (presented && P.swaps++ === 0) P.firstFrameAt = performance.now();
      await new Promise((resolve) => {
        let frameRequest = 0;
        const timer = setTimeout(() => {
          cancelAnimationFrame(frameRequest);
          resolve();
        }, 100);
        const onFrame = (t) => {
          if (presented) {
            if (P.nextSlot !== null && t < P.nextSlot - early) {
              frameRequest = requestAnimationFrame(onFrame);
              return;
            }
            P.nextSlot = P.nextSlot === null || t - P.nextSlot >= slot ? t + slot : P.nextSlot + slot;
          }
          clearTimeout(timer);
          resolve();
        };
        frameRequest = requestAnimationFrame(onFrame);
      });
    });
  },

  // Shows a dialog in the stage and waits for its answer. Enter picks the
  // default (the first button), Escape the last.
  showDialog__deps: ['$Asyncify'],
  showDialog: function(textPtr, captionPtr, yesNo, question) {
    return Asyncify.handleAsync(async () => {
      const P = Module.platform;
      const box = document.createElement('div');
      box.className = 'box';
      box.setAttribute('role', 'dialog');
      box.setAttribute('aria-modal', 'true');
      const title = document.createElement('div');
      title.className = 'caption';
      title.textContent = UTF8ToString(captionPtr);
      const body = document.createElement('p');
      body.className = 'text';
      body.textContent = UTF8ToString(textPtr);
      const row = document.createElement('div');
      row.className = 'buttons';
      box.append(title, body, row);
      const answers = yesNo ? [['Yes', 6], ['No', 7]] : [['OK', 1]];
      P.dialogOpen = true;
      const answer = await new Promise((resolve) => {
        const pick = (value) => {
          // The question's Yes is the gesture fullscreen needs.
          if (question && value === 6) P.requestFullscreen();
          document.removeEventListener('keydown', onKey, true);
          resolve(value);
        };
        const onKey = (e) => {
          if (e.key === 'Enter')
            pick(answers[0][1]);
          else if (e.key === 'Escape')
            pick(answers[answers.length - 1][1]);
          else
            return;
          e.preventDefault();
          e.stopPropagation();
        };
        // (No destructuring here: the minifier of Debian's emscripten breaks it.)
        for (const answer of answers) {
          const label = answer[0];
          const value = answer[1];
          const button = document.createElement('button');
          button.type = 'button';
          button.textContent = label;
          button.addEventListener('click', () => pick(value));
          row.append(button);
        }
        document.addEventListener('keydown', onKey, true);
        P.stage.append(box);
        row.firstChild.focus();
      });
      box.remove();
      P.dialogOpen = false;
      return answer;
    });
  },

  makeCanvas: function(idPtr, titlePtr, width, height, popup) {
    const P = Module.platform;
    const canvas = document.createElement('canvas');
    canvas.id = UTF8ToString(idPtr);
    canvas.width = width;
    canvas.height = height;
    canvas.className = popup ? 'popup' : 'framed';
    canvas.hidden = true;
    canvas.setAttribute('aria-label', UTF8ToString(titlePtr));
    // Kept from being dropped for good, a lost context is made again once
    // the browser restores it.
    canvas.addEventListener('webglcontextlost', (e) => {
      e.preventDefault();
      P.contextLost = true;
    });
    canvas.addEventListener('webglcontextrestored', () => {
      if (P.contextLost) P.contextRestored = true;
    });
    P.contextLost = P.contextRestored = false;
    P.stage.append(canvas);
    P.canvas = canvas;
    document.title = UTF8ToString(titlePtr);
  },

  showCanvas: function(idPtr) {
    const canvas = document.getElementById(UTF8ToString(idPtr));
    if (canvas) canvas.hidden = false;
    window.focus();
  },

  removeCanvas: function(idPtr) {
    const P = Module.platform;
    const canvas = document.getElementById(UTF8ToString(idPtr));
    if (canvas) canvas.remove();
    if (P.canvas === canvas) P.canvas = null;
  },

  // 1 once the canvas's lost context has been restored by the browser; the
  // next context made starts afresh.
  takeContextRestored: function() {
    const P = Module.platform;
    if (!P.contextRestored) return 0;
    P.contextLost = P.contextRestored = false;
    return 1;
  },

  // The reason the page gives when the show ends as a failure.
  noteFailure: function(textPtr) {
    Module.failureReason = UTF8ToString(textPtr);
  },

  pageActive: function() {
    return !document.hidden && document.hasFocus() ? 1 : 0;
  },

  keepsDrawingBuffer: function() {
    return Module.platform.keepBuffer ? 1 : 0;
  },

  // Fullscreen stands once a request made in a gesture has been granted.
  holdFullscreen__deps: ['$Asyncify'],
  holdFullscreen: function() {
    return Asyncify.handleAsync(async () => {
      const P = Module.platform;
      if (!document.fullscreenElement && P.request) await P.request;
      P.request = null;
      P.holdsFullscreen = document.fullscreenElement === P.stage;
      return P.holdsFullscreen ? 1 : 0;
    });
  },

  leaveFullscreen: function() {
    const P = Module.platform;
    P.holdsFullscreen = false;
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  },

  setCursorShown: function(shown) {
    Module.platform.stage.style.cursor = shown ? '' : 'none';
  },

  // The screen saver is refused by keeping the screen awake while the show
  // runs, where the browser offers that.
  keepScreenAwake: function(awake) {
    const P = Module.platform;
    if (awake && !P.wakeLock && navigator.wakeLock) {
      navigator.wakeLock.request('screen').then((lock) => (P.wakeLock = lock), () => {});
    } else if (!awake && P.wakeLock) {
      P.wakeLock.release().catch(() => {});
      P.wakeLock = null;
    }
  },
});
