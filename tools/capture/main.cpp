// quendaloop-capture: renders the show offline, frame by frame at a fixed
// rate, into an MP4, PNG frames, a WAV file and a contact sheet.
//
// The show's own scene code draws every frame into an offscreen framebuffer
// (EGL surfaceless, no display); the sound library's offline output renders
// the music up to each frame's exact sample first, so the music time the
// timeline reads and the instrument hook's flashes match the sound.
#include <GL/gl.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "data_dir.h"
#include "ffmpeg_pipe.h"
#include "frame_timing.h"
#include "resize_scene.h"
#include "music.h"
#include "offscreen_gl.h"
#include "options.h"
#include "outputs.h"
#include "pictures.h"
#include "progress.h"
#include "render_state.h"
#include "sound.h"
#include "sound_hooks.h"
#include "timeline.h"
#include "wav_file.h"

namespace {

const char* const kProgramName = "quendaloop-capture";

volatile sig_atomic_t interrupted = 0;  // set by SIGINT / SIGTERM
EncoderPipe* encoder = nullptr;         // the running ffmpeg, if any

void onInterrupt(int) { interrupted = 1; }

// Also runs when the music start ends the process from inside the show's code.
void cleanUpAtExit() {
  if (encoder) {
    encoderAbort(encoder);
    encoder = nullptr;
  }
  outputsDiscardAll();
}

int fail(const std::string& message) {
  progressBreakLine();
  std::fprintf(stderr, "%s: %s\n", kProgramName, message.c_str());
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
    case CaptureOptions::PROGRESS_BAR: return PROGRESS_STYLE_BAR;
    case CaptureOptions::PROGRESS_LINES: return PROGRESS_STYLE_LINES;
    case CaptureOptions::PROGRESS_NONE: return PROGRESS_STYLE_SILENT;
    case CaptureOptions::PROGRESS_AUTO: break;
  }
  return isatty(STDERR_FILENO) ? PROGRESS_STYLE_BAR : PROGRESS_STYLE_LINES;
}

int runCapture(const CaptureOptions& o) {
  const int64_t firstFrame = firstFrameAtOrAfter(o.rate, o.fromMicros);
  const int64_t endFrame = firstFrameAtOrAfter(o.rate, o.toMicros);  // exclusive
  if (endFrame <= firstFrame) return fail("the range holds no frame at this rate; widen --from/--to");

  // From here on an interruption removes what was started.
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);

  // Outputs first: a bad path or a missing ffmpeg fails before any work.
  std::string error;
  const std::string mp4Path = o.mp4Path.empty() ? "" : absolutePath(o.mp4Path);
  const std::string pngDir = o.pngDir.empty() ? "" : absolutePath(o.pngDir);
  const std::string wavPath = o.wavPath.empty() ? "" : absolutePath(o.wavPath);
  const std::string sheetPath = o.sheetPath.empty() ? "" : absolutePath(o.sheetPath);
  const std::string logPath = o.frameLogPath.empty() ? "" : absolutePath(o.frameLogPath);
  std::string mp4Temp, wavTemp, sheetTemp, logTemp;
  if (!mp4Path.empty()) {
    if (findProgram(o.ffmpegProgram).empty())
      return fail(o.ffmpegProgram +
                  " not found: the MP4 is encoded by the ffmpeg program; install it (apt-get install ffmpeg) "
                  "or name it with --ffmpeg");
    if ((mp4Temp = outputReserve(mp4Path, &error)).empty()) return fail(error);
  }
  if (!wavPath.empty() && (wavTemp = outputReserve(wavPath, &error)).empty()) return fail(error);
  if (!sheetPath.empty() && (sheetTemp = outputReserve(sheetPath, &error)).empty()) return fail(error);
  if (!logPath.empty() && (logTemp = outputReserve(logPath, &error)).empty()) return fail(error);
  if (!pngDir.empty() && !outputPrepareFolder(pngDir, &error)) return fail(error);

  const std::string dataDir = findDataDir(o.dataDir, &error);
  if (dataDir.empty()) return fail(error);
  if (chdir(dataDir.c_str()) != 0) return fail("cannot enter the data folder " + dataDir);

  soundSelectOutput(SOUND_OUTPUT_OFFLINE);
  if (!offscreenGlOpen(o.width, o.height))
    return fail("cannot render " + std::to_string(o.width) + "x" + std::to_string(o.height) +
                " frames offscreen (the line above says why)");
  resizeScene(o.width, o.height);
  if (!initRenderState()) return fail("the show's pictures could not be loaded from " + dataDir + "/Data");
  if (!musicModule) return fail("the music did not start");
  if (interrupted) return fail("interrupted");

  WavFile* wav = nullptr;
  if (!wavTemp.empty() && !(wav = wavOpen(wavTemp.c_str()))) return fail("cannot write " + wavPath);
  FILE* log = nullptr;
  if (!logTemp.empty()) {
    if (!(log = std::fopen(logTemp.c_str(), "w"))) return fail("cannot write " + logPath);
    std::fprintf(log, "# frame music_ms scene flash_depth\n");
  }
  if (!mp4Temp.empty()) {
    Mp4Settings settings{o.ffmpegProgram, mp4Temp, o.width, o.height, o.rate, o.preset, o.crf};
    if (!(encoder = encoderStart(mp4Arguments(settings), &error))) return fail(error);
  }
  ContactSheet sheet = contactSheetMake(o.sheetColumns, o.thumbWidth, o.width, o.height);
  int64_t nextThumbSecond = 0;  // whole seconds of music time

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
    if (log && captured)
      std::fprintf(log, "%lld %d %u %g\n", static_cast<long long>(n), FMUSIC_GetTime(musicModule), sceneState,
                   static_cast<double>(flashDepth.load()));
    if (captured) {
      glDisable(GL_SCISSOR_TEST);
    } else {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, 0, 0, 0);
    }
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

    if (wav && !wavWrite(wav, pcm.data(), samples)) return fail("cannot write " + wavPath);
    if (encoder && !encoderWrite(encoder, rgb.data(), rgb.size(), reinterpret_cast<const uint8_t*>(pcm.data()),
                                 samples * 4)) {
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
      if (!writePng(temp.c_str(), rgb.data(), o.width, o.height)) return fail("cannot write " + file);
    }
    if (!sheetTemp.empty()) {
      // One thumbnail for the first frame at or after each whole second.
      if (firstFrameAtOrAfter(o.rate, nextThumbSecond * 1000000) <= n) {
        contactSheetAdd(&sheet, rgb.data(), o.width, o.height);
        while (firstFrameAtOrAfter(o.rate, nextThumbSecond * 1000000) <= n) ++nextThumbSecond;
      }
    }
    progressUpdate(n + 1);
  }
  progressFinish();

  if (encoder) {
    EncoderPipe* finishing = encoder;
    encoder = nullptr;
    if (!encoderFinish(finishing, &error))
      return fail(interrupted ? std::string("interrupted") : error + "; ffmpeg's own message, if any, is above");
  }
  if (wav) {
    const bool ok = wavClose(wav);
    wav = nullptr;
    if (!ok) return fail("cannot write " + wavPath);
  }
  if (log && std::fclose(log) != 0) return fail("cannot write " + logPath);
  if (!sheetTemp.empty() && !contactSheetWrite(sheet, sheetTemp.c_str()))
    return fail("cannot write the contact sheet " + sheetPath);
  offscreenGlClose();
  if (!outputsCommit(&error)) return fail(error);

  if (o.progress != CaptureOptions::PROGRESS_NONE) {
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
  return runCapture(options);
}
