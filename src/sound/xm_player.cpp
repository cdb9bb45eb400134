// Steps a module through libxmp one tick at a time and finds the notes each
// tick triggers, from the pattern events libxmp reports for the current row.
#include "xm_player.h"

#include <xmp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRate = 44100;
constexpr size_t kMaxFileBytes = 64u << 20;  // far above any real XM module

// libxmp's internal effect numbers for the effects that matter here.
constexpr unsigned char kFxTonePorta = 0x03;
constexpr unsigned char kFxTonePortaVolSlide = 0x05;
constexpr unsigned char kFxExtended = 0x0e;
constexpr unsigned char kExNoteDelay = 0x0d;

struct PendingNote {
  int tick = -1;  // tick of the current row at which the delayed note sounds; -1 none
  int instrument = 0;
};

bool isTonePorta(unsigned char fx) { return fx == kFxTonePorta || fx == kFxTonePortaVolSlide; }

// The note-delay tick of an event, 0 when it has none.
int noteDelay(const xmp_event& ev) {
  if (ev.fxt == kFxExtended && (ev.fxp >> 4) == kExNoteDelay) return ev.fxp & 0x0f;
  if (ev.f2t == kFxExtended && (ev.f2p >> 4) == kExNoteDelay) return ev.f2p & 0x0f;
  return 0;
}

}  // namespace

struct XmPlayer {
  xmp_context ctx = nullptr;
  bool loaded = false;
  bool started = false;
  bool ended = false;
  int channels = 0;
  int instruments = 0;
  int64_t framesRendered = 0;
  int lastInstrument[XMP_MAX_CHANNELS] = {};
  PendingNote pending[XMP_MAX_CHANNELS];
  xmp_frame_info info;
};

XmPlayer* xmPlayerLoadMemory(const void* data, size_t size) {
  if (data == nullptr || size < 60 || size > kMaxFileBytes) return nullptr;
  // Only XM: the show plays nothing else, and one loader is less to trust.
  if (std::memcmp(data, "Extended Module: ", 17) != 0) return nullptr;
  XmPlayer* player = new XmPlayer;
  player->ctx = xmp_create_context();
  if (player->ctx == nullptr ||
      xmp_load_module_from_memory(player->ctx, data, static_cast<long>(size)) != 0) {
    xmPlayerFree(player);
    return nullptr;
  }
  player->loaded = true;
  xmp_module_info mi;
  xmp_get_module_info(player->ctx, &mi);
  if (mi.mod == nullptr || mi.mod->chn <= 0 || mi.mod->chn > XMP_MAX_CHANNELS) {
    xmPlayerFree(player);
    return nullptr;
  }
  player->channels = mi.mod->chn;
  player->instruments = mi.mod->ins;
  return player;
}

XmPlayer* xmPlayerLoadFile(const char* path) {
  if (path == nullptr) return nullptr;
  // Only a regular file: the open does not wait for a FIFO's writer, and
  // the check refuses FIFOs, devices and folders. What the system refuses is
  // said on standard error, with the file's name.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
    return nullptr;
  }
  struct stat st;
  FILE* file = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    std::fprintf(stderr, "%s: not a regular file\n", path);
    close(fd);
    return nullptr;
  }
  std::vector<unsigned char> bytes;
  unsigned char block[65536];
  size_t got;
  bool tooBig = false;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
    bytes.insert(bytes.end(), block, block + got);
    if (bytes.size() > kMaxFileBytes) {
      tooBig = true;
      break;
    }
  }
  const bool readError = std::ferror(file) != 0;
  if (readError) std::fprintf(stderr, "%s: %s\n", path, std::strerror(errno));
  std::fclose(file);
  if (readError || tooBig) return nullptr;
  return xmPlayerLoadMemory(bytes.data(), bytes.size());
}

void xmPlayerFree(XmPlayer* player) {
  if (player == nullptr) return;
  if (player->ctx != nullptr) {
    if (player->started) xmp_end_player(player->ctx);
    if (player->loaded) xmp_release_module(player->ctx);
    xmp_free_context(player->ctx);
  }
  delete player;
}

int xmPlayerInstrumentCount(const XmPlayer* player) { return player->instruments; }

bool xmPlayerStart(XmPlayer* player) {
  if (player->started) xmp_end_player(player->ctx);
  player->started = xmp_start_player(player->ctx, kRate, 0) == 0;
  player->ended = !player->started;
  player->framesRendered = 0;
  for (int c = 0; c < XMP_MAX_CHANNELS; ++c) {
    player->lastInstrument[c] = 0;
    player->pending[c] = PendingNote{};
  }
  return player->started;
}

size_t xmPlayerRenderTick(XmPlayer* player, const int16_t** pcm, std::vector<XmTrigger>& triggers) {
  *pcm = nullptr;
  if (!player->started || player->ended) return 0;
  xmp_frame_info& fi = player->info;
  if (xmp_play_frame(player->ctx) != 0) {
    player->ended = true;
    return 0;
  }
  xmp_get_frame_info(player->ctx, &fi);
  // libxmp never stops by itself: it loops back, raising loop_count. The
  // tick that already belongs to the second pass is dropped.
  const size_t frames = fi.buffer_size > 0 ? static_cast<size_t>(fi.buffer_size) / 4 : 0;
  if (fi.loop_count > 0 || frames == 0 || fi.buffer == nullptr) {
    player->ended = true;
    return 0;
  }
  const int64_t tickStart = player->framesRendered;
  const int channels = player->channels;

  if (fi.frame == 0) {
    for (int c = 0; c < channels; ++c) {
      const xmp_event& ev = fi.channel_info[c].event;
      player->pending[c] = PendingNote{};
      const bool validInstrument = ev.ins != 0 && ev.ins <= player->instruments;
      if (validInstrument) player->lastInstrument[c] = ev.ins;
      if (ev.note == 0 || ev.note > XMP_MAX_KEYS) continue;  // none, key-off, cut, fade
      if (isTonePorta(ev.fxt) || isTonePorta(ev.f2t)) continue;
      if (ev.ins != 0 && !validInstrument) continue;  // a note with a missing instrument is silent
      const int instrument = player->lastInstrument[c];
      if (instrument == 0) continue;
      const int delay = noteDelay(ev);
      if (delay >= fi.speed) continue;  // never reached: the row ends first
      if (delay == 0) {
        triggers.push_back(XmTrigger{tickStart, instrument});
      } else {
        player->pending[c] = PendingNote{delay, instrument};
      }
    }
  } else {
    for (int c = 0; c < channels; ++c) {
      if (player->pending[c].tick == fi.frame) {
        triggers.push_back(XmTrigger{tickStart, player->pending[c].instrument});
        player->pending[c] = PendingNote{};
      }
    }
  }
  player->framesRendered += static_cast<int64_t>(frames);
  *pcm = static_cast<const int16_t*>(fi.buffer);
  return frames;
}

int64_t xmPlayerFramesRendered(const XmPlayer* player) { return player->framesRendered; }

bool xmPlayerEnded(const XmPlayer* player) { return player->ended; }
