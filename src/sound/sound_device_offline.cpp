// The offline renderer: frames are made only when asked, as fast as libxmp
// renders them, and what the listener hears is exactly what was rendered.
//
// Threads: everything but heard() runs on the thread that calls
// soundRenderOffline and FMUSIC_PlaySong. The frame count is an atomic, so
// heard() may be read from any thread.
#include "sound_device.h"

namespace {

OfflineSoundDevice offlineDevice;

}  // namespace

int64_t OfflineSoundDevice::heard() { return rendered_.load(); }

int64_t OfflineSoundDevice::start(int64_t) {
  rendered_.store(0);
  return 0;
}

void OfflineSoundDevice::close() { rendered_.store(0); }

int64_t OfflineSoundDevice::render(SoundSource& source, int16_t* pcm, size_t frames) {
  for (size_t done = 0; done < frames;) {
    done += source.read(pcm != nullptr ? pcm + done * 2 : nullptr, frames - done);
  }
  const int64_t heard = rendered_.load() + static_cast<int64_t>(frames);
  rendered_.store(heard);
  return heard;
}

OfflineSoundDevice* soundDeviceOpenOffline() {
  offlineDevice.close();
  return &offlineDevice;
}
