// The page's side of the test modes (web/test_modes.cpp). Linked with
// --js-library; reportPcm waits for the browser (ASYNCIFY_IMPORTS).

mergeInto(LibraryManager.library, {
  pageNumber: function(name) {
    const value = new URLSearchParams(location.search).get(UTF8ToString(name));
    return value !== null && /^[0-9]{1,9}$/.test(value) ? Number(value) : -1;
  },

  markFrame: function(frame) {
    if (Module.platform && Module.platform.canvas) Module.platform.canvas.dataset.frame = String(frame);
  },

  reportPcm__deps: ['$Asyncify'],
  reportPcm: function(pcm, bytes) {
    return Asyncify.handleAsync(async () => {
      const data = HEAPU8.slice(pcm, pcm + bytes);
      const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', data));
      document.body.dataset.pcmSha256 = Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
    });
  },
});
