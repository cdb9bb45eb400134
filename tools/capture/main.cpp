// quendaloop-capture: renders the show offline, frame by frame at a fixed
// rate, into an MP4, PNG frames, a WAV file and a contact sheet.
//
// The show's own scene code draws every frame into an offscreen framebuffer
// (EGL surfaceless, no display); the sound library's offline output renders
// the music up to each frame's exact sample first, so the music time the
// timeline reads and the instrument hook's flashes match the sound.
#include <pthread.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "data_dir.h"
#include "ffmpeg_pipe.h"
#include "frame_timing.h"
#include "music.h"
#include "offscreen_gl.h"
#include "options.h"
#include "outputs.h"
#include "pictures.h"
#include "progress.h"
#include "render_state.h"
#include "resize_scene.h"
#include "sound.h"
#include "sound_hooks.h"
#include "texture_set.h"
#include "timeline.h"
#include "wav_file.h"

namespace {

const char* const kProgramName = "quendaloop-capture";

// The signals that stop a capture: Ctrl-C, kill, a closed terminal or ssh
// session, Ctrl-\.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile sig_atomic_t interrupted = 0;  // the stop signal received, 0 while none
EncoderPipe* encoder = nullptr;         // the running ffmpeg, if any

void onStopSignal(int signal) { interrupted = signal; }

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
  }
  return "a signal";
}

// From here on a stop signal ends the capture through `interrupted`, which
// the work checks between frames. No SA_RESTART: a wait in progress returns
// at once. A stop signal that was ignored when the program started (nohup,
// a background job of a shell) stays ignored. SIGPIPE is ignored: when the
// terminal or ssh session that reads the progress goes away, writing to it
// must fail, not kill the process with its temporary files.
void catchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int s : kStopSignals) {
    struct sigaction before = {};
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

// Blocks or unblocks the stop signals in this thread. Threads started while
// they are blocked keep them blocked, so the signals reach this thread and
// interrupt its waits.
void blockStopSignals(bool block) {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : kStopSignals) sigaddset(&set, s);
  pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// Also runs when the music start ends the process from inside the show's code.
void cleanUpAtExit() {
  if (encoder) {
    encoderAbort(encoder);
    encoder = nullptr;
  }
  outputsDiscardAll();
}

// Reports the failure (or the stop signal that caused it), removes what the
// capture started and gives the exit status.
int fail(const std::string& message) {
  progressBreakLine();
  const std::string reason = interrupted ? std::string("interrupted by ") + signalName(interrupted) : message;
  std::fprintf(stderr, "%s: %s\n", kProgramName, reason.c_str());
  cleanUpAtExit();
  return 1;
}

std::string frameFileName(const std::string& dir, int64_t frame) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06lld.png", static_cast<long long>(frame));
  return dir + name;
}

ProgressStyle progressStyleFor(CaptureOptions::Progress asked) {
  switch (asked) {
    case CaptureOptions::kProgressBar: return kProgressStyleBar;
    case CaptureOptions::kProgressLines: return kProgressStyleLines;
    case CaptureOptions::kProgressNone: return kProgressStyleSilent;
    case CaptureOptions::kProgressAuto: break;
  }
  return isatty(STDERR_FILENO) ? kProgressStyleBar : kProgressStyleLines;
}

int runCapture(const CaptureOptions& o) {
  const int64_t firstFrame = firstFrameAtOrAfter(o.rate, o.fromMicros);
  const int64_t endFrame = firstFrameAtOrAfter(o.rate, o.toMicros);  // exclusive
  if (endFrame <= firstFrame) return fail("the range holds no frame at this rate; widen --from/--to");

  // From here on an interruption removes what was started.
  catchStopSignals();

  // The user's relative paths name places under the folder the capture was
  // started from, not the data folder it works in.
  std::string error;
  std::string mp4Path, pngDir, wavPath, sheetPath, logPath, ffmpegPath;
  for (auto [asked, absolute] : {std::pair{&o.mp4Path, &mp4Path},
                                 {&o.pngDir, &pngDir},
                                 {&o.wavPath, &wavPath},
                                 {&o.sheetPath, &sheetPath},
                                 {&o.frameLogPath, &logPath}}) {
    if (asked->empty()) continue;
    if ((*absolute = absolutePath(*asked)).empty())
      return fail(std::string("cannot find the working folder: ") + std::strerror(errno));
  }
  if (!mp4Path.empty()) {
    // A name with a slash, or found in a relative PATH entry, is relative to
    // the starting folder too.
    const std::string found = findProgram(o.ffmpegProgram);
    if (found.empty() || (ffmpegPath = absolutePath(found)).empty())
      return fail(o.ffmpegProgram +
                  " not found: the MP4 is encoded by the ffmpeg program; install it (apt-get install ffmpeg) "
                  "or name it with --ffmpeg");
  }

  // Sizes no output can hold fail before anything is made or drawn.
  const std::vector<int64_t> thumbFrames =
      sheetPath.empty() ? std::vector<int64_t>() : secondStartFrames(o.rate, firstFrame, endFrame);
  ContactSheet sheet = contactSheetMake(o.sheetColumns, o.thumbWidth, o.width, o.height);
  if (!sheetPath.empty()) {
    const std::string tooLarge = contactSheetTooLarge(sheet, static_cast<int64_t>(thumbFrames.size()));
    if (!tooLarge.empty())
      return fail("cannot make the contact sheet " + sheetPath + ": " + tooLarge +
                  "; lower --thumb-width or capture a shorter range");
  }
  const int64_t soundFrames = sampleAtFrame(o.rate, endFrame) - sampleAtFrame(o.rate, firstFrame);
  if (!wavPath.empty() && static_cast<uint64_t>(soundFrames) * 4 > kWavMaxDataBytes)
    return fail("cannot write " + wavPath + ": the range holds " +
                formatDuration(static_cast<double>(soundFrames) / kCaptureSampleRate) +
                " of sound; a WAV file holds at most 6:45:47 (4 GB); capture a shorter range");

  // Outputs next: a bad path fails before any work.
  std::string mp4Temp, wavTemp, sheetTemp, logTemp;
  if (!mp4Path.empty() && (mp4Temp = outputReserve(mp4Path, &error)).empty()) return fail(error);
  if (!wavPath.empty() && (wavTemp = outputReserve(wavPath, &error)).empty()) return fail(error);
  if (!sheetPath.empty() && (sheetTemp = outputReserve(sheetPath, &error)).empty()) return fail(error);
  if (!logPath.empty() && (logTemp = outputReserve(logPath, &error)).empty()) return fail(error);
  if (!pngDir.empty() && !outputPrepareFolder(pngDir, &error)) return fail(error);

  const std::string dataDir = findDataDir(o.dataDir, &error);
  if (dataDir.empty()) return fail(error);
  if (chdir(dataDir.c_str()) != 0) return fail("cannot enter the data folder " + dataDir);
  // The show's loaders refuse a FIFO, a folder or a device without saying
  // why; say it here.
  std::vector<const char*> inputs(kTextureFiles, kTextureFiles + 5);
  inputs.push_back(kMusicFile);
  for (const char* input : inputs) {
    const std::string kind = nonRegularKind(input);
    if (!kind.empty())
      return fail("cannot read " + absolutePath(input) + ": it is " + kind +
                  ", not a regular file; the show's pictures and music must be regular files");
  }

  soundSelectOutput(kSoundOutputOffline);
  // The GL implementation starts its worker threads here; they leave the
  // stop signals to this thread.
  blockStopSignals(true);
  const bool glOpen = offscreenGlOpen(o.width, o.height);
  blockStopSignals(false);
  if (!glOpen)
    return fail("cannot render " + std::to_string(o.width) + "x" + std::to_string(o.height) +
                " frames offscreen (the line above says why)");
  resizeScene(o.width, o.height);
  if (!initRenderState()) return fail("the show's pictures could not be loaded from " + dataDir + "/Data");
  if (!musicModule) return fail("the music did not start");
  if (interrupted) return fail("interrupted");

  const auto cannotWrite = [](const std::string& path) {
    return "cannot write " + path + ": " + std::strerror(errno);
  };
  WavFile* wav = nullptr;
  if (!wavTemp.empty() && !(wav = wavOpen(wavTemp.c_str()))) return fail(cannotWrite(wavPath));
  FILE* log = nullptr;
  if (!logTemp.empty()) {
    if (!(log = std::fopen(logTemp.c_str(), "w"))) return fail(cannotWrite(logPath));
    if (std::fprintf(log, "# frame music_ms scene flash_depth\n") < 0) return fail(cannotWrite(logPath));
  }
  if (!mp4Temp.empty()) {
    Mp4Settings settings{ffmpegPath, mp4Temp, o.width, o.height, o.rate, o.preset, o.crf};
    if (!(encoder = encoderStart(mp4Arguments(settings), &error))) return fail(error);
  }
  size_t nextThumb = 0;  // index in thumbFrames

  const bool readBack = !mp4Temp.empty() || !pngDir.empty() || !sheetTemp.empty();
  std::vector<uint8_t> rgb(readBack ? static_cast<size_t>(o.width) * o.height * 3 : 0);
  std::vector<int16_t> pcm;
  progressStart(progressStyleFor(o.progress), endFrame);

  // Frame n is drawn once the music has played up to sample sampleAtFrame(n);
  // the samples up to the next frame's start are its sound. Frames before the
  // range are drawn (so the show's state advances exactly as in a full
  // capture) but scissored away and never read back.
  for (int64_t n = 0; n < endFrame; ++n) {
    if (interrupted) return fail("interrupted");
    const bool captured = n >= firstFrame;
    if (log && captured &&
        std::fprintf(log, "%lld %d %u %g\n", static_cast<long long>(n), FMUSIC_GetTime(musicModule),
                     sceneState, static_cast<double>(flashDepth.load())) < 0)
      return fail(cannotWrite(logPath));
    offscreenGlSkipDrawing(!captured);
    renderFrame();
    if (captured && readBack) offscreenGlRead(rgb.data());

    const size_t samples = static_cast<size_t>(sampleAtFrame(o.rate, n + 1) - sampleAtFrame(o.rate, n));
    pcm.resize(samples * 2);
    if (soundRenderOffline(musicModule, captured ? pcm.data() : nullptr, samples) != samples)
      return fail("the sound library did not render the music offline");
    if (!captured) {
      progressUpdate(n + 1);
      continue;
    }

    if (wav && !wavWrite(wav, pcm.data(), samples)) return fail(cannotWrite(wavPath));
    if (encoder && !encoderWrite(encoder, rgb.data(), rgb.size(),
                                 reinterpret_cast<const uint8_t*>(pcm.data()), samples * 4)) {
      if (interrupted) return fail("interrupted");
      EncoderPipe* failed = encoder;
      encoder = nullptr;
      encoderFinish(failed, &error);
      return fail(error + "; ffmpeg's own message, if any, is above");
    }
    if (!pngDir.empty()) {
      const std::string file = frameFileName(pngDir, n);
      const std::string temp = outputReserve(file, &error);
      if (temp.empty()) return fail(error);
      if (!writePng(temp.c_str(), rgb.data(), o.width, o.height, &error))
        return fail("cannot write " + file + ": " + error);
    }
    // One thumbnail for the first frame at or after each whole second.
    if (nextThumb < thumbFrames.size() && thumbFrames[nextThumb] == n) {
      contactSheetAdd(&sheet, rgb.data(), o.width, o.height);
      ++nextThumb;
    }
    progressUpdate(n + 1);
  }
  progressFinish();

  if (encoder) {
    EncoderPipe* finishing = encoder;
    encoder = nullptr;
    if (!encoderFinish(finishing, &error))
      return fail(interrupted ? std::string("interrupted")
                              : error + "; ffmpeg's own message, if any, is above");
  }
  if (wav) {
    const bool ok = wavClose(wav, &error);
    wav = nullptr;
    if (!ok) return fail("cannot write " + wavPath + ": " + error);
  }
  if (log) {
    const bool ok = outputClose(log, &error);
    log = nullptr;
    if (!ok) return fail("cannot write " + logPath + ": " + error);
  }
  if (!sheetTemp.empty() && !contactSheetWrite(sheet, sheetTemp.c_str(), &error))
    return fail("cannot write the contact sheet " + sheetPath + ": " + error);
  offscreenGlClose();
  if (interrupted) return fail("interrupted");
  // Everything is written: a stop signal now would leave some outputs
  // renamed and others not, so the renames go through first and the capture
  // counts as done.
  blockStopSignals(true);
  if (!outputsCommit(&error)) return fail(error);

  if (o.progress != CaptureOptions::kProgressNone) {
    const int64_t frames = endFrame - firstFrame;
    std::fprintf(stderr, "%s: %lld frames of %dx%d at %g fps, music %.3f s to %.3f s\n", kProgramName,
                 static_cast<long long>(frames), o.width, o.height, framesPerSecond(o.rate),
                 static_cast<double>(sampleAtFrame(o.rate, firstFrame)) / kCaptureSampleRate,
                 static_cast<double>(sampleAtFrame(o.rate, endFrame)) / kCaptureSampleRate);
    for (const std::string* path : {&mp4Path, &pngDir, &wavPath, &sheetPath, &logPath})
      if (!path->empty()) std::fprintf(stderr, "%s: wrote %s\n", kProgramName, path->c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CaptureOptions options;
  std::string error;
  if (!parseCaptureOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgramName, error.c_str(),
                 kProgramName);
    return 1;
  }
  if (options.help) {
    std::fputs(captureUsage().c_str(), stdout);
    return 0;
  }
  std::atexit(cleanUpAtExit);
  try {
    return runCapture(options);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
}
