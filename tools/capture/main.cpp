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
#include "frame_step.h"
#include "frame_timing.h"
#include "freed_memory.h"
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
#include "standard_streams.h"
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
// Gives back a sentence about a killed encoder, or "".
std::string cleanUpAtExit() {
  std::string note;
  if (encoder) {
    note = encoderAbort(encoder, [] {
      if (!interrupted) return;
      progressBreakLine();
      std::fprintf(stderr, "%s: stopping the encoder; a second stop signal kills it at once\n", kProgramName);
    });
    encoder = nullptr;
  }
  outputsDiscardAll();
  return note;
}

// Reports the failure (or the stop signal that caused it), removes what the
// capture started and gives the exit status.
int fail(const std::string& message) {
  progressBreakLine();
  // A failure after a stop signal says which; a failure that is the stop
  // itself keeps its detail ("interrupted; the encoder was killed ...").
  std::string reason = message;
  if (interrupted) {
    const std::string stopped = "interrupted";
    reason = stopped + " by " + signalName(interrupted) +
             (message.rfind(stopped, 0) == 0 ? message.substr(stopped.size()) : "");
  }
  std::fprintf(stderr, "%s: %s\n", kProgramName, reason.c_str());
  const std::string note = cleanUpAtExit();
  if (!note.empty()) std::fprintf(stderr, "%s: %s\n", kProgramName, note.c_str());
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

std::string cannotWrite(const std::string& path) {
  return "cannot write " + path + ": " + std::strerror(errno);
}

// Everything one capture holds, released in reverse order by runCapture's
// single exit; each step below fills its part, or says what went wrong and
// returns false.
struct Capture {
  explicit Capture(const CaptureOptions& options) : o(options) {}
  const CaptureOptions& o;
  // The range and the places, planned.
  int64_t firstFrame = 0;
  int64_t endFrame = 0;                                      // exclusive
  std::string mp4Path, pngDir, wavPath, sheetPath, logPath;  // absolute, or "" when not asked for
  std::string ffmpegPath, ffprobePath;
  std::vector<int64_t> thumbFrames;  // the frames the contact sheet shows
  ContactSheet sheet{};
  // The outputs, reserved.
  OutputFile mp4File, wavFile, sheetFile, logFile;
  // The show, opened, and the writers.
  bool glOpen = false;
  WavFile* wav = nullptr;
  FILE* log = nullptr;
  // (The encoder is the global `encoder`, which the exit handler stops too.)
  // The frame at hand.
  size_t nextThumb = 0;  // index in thumbFrames
  std::vector<uint8_t> rgb;
  std::vector<int16_t> pcm;
};

// Works out the frames, the absolute places and the encoder, and refuses
// sizes no output can hold, before anything is made or drawn.
bool planRange(Capture& c, std::string* error) {
  const CaptureOptions& o = c.o;
  c.firstFrame = firstFrameAtOrAfter(o.rate, o.fromMicros);
  c.endFrame = firstFrameAtOrAfter(o.rate, o.toMicros);
  if (c.endFrame <= c.firstFrame) {
    *error = "the range holds no frame at this rate; widen --from/--to";
    return false;
  }
  // The user's relative paths name places under the folder the capture was
  // started from, not the data folder it works in.
  for (auto [asked, absolute] : {std::pair{&o.mp4Path, &c.mp4Path},
                                 {&o.pngDir, &c.pngDir},
                                 {&o.wavPath, &c.wavPath},
                                 {&o.sheetPath, &c.sheetPath},
                                 {&o.frameLogPath, &c.logPath}}) {
    if (!asked->empty() && (*absolute = absolutePath(*asked)).empty()) {
      *error = std::string("cannot find the working folder: ") + std::strerror(errno);
      return false;
    }
  }
  if (!c.mp4Path.empty()) {
    // A name with a slash, or found in a relative PATH entry, is relative to
    // the starting folder too.
    const std::string found = findProgram(o.ffmpegProgram);
    if (found.empty() || (c.ffmpegPath = absolutePath(found)).empty()) {
      *error = o.ffmpegProgram +
               " not found: the MP4 is encoded by the ffmpeg program; install it (apt-get install ffmpeg) "
               "or name it with --ffmpeg";
      return false;
    }
    // What the encoder writes is checked before it replaces anything.
    if ((c.ffprobePath = findProbeBeside(c.ffmpegPath)).empty()) {
      *error = "no ffprobe beside " + c.ffmpegPath +
               ": the MP4 is checked with the ffprobe program of the same ffmpeg before it replaces anything";
      return false;
    }
  }
  if (!c.sheetPath.empty()) c.thumbFrames = secondStartFrames(o.rate, c.firstFrame, c.endFrame);
  c.sheet = contactSheetMake(o.sheetColumns, o.thumbWidth, o.width, o.height);
  if (!c.sheetPath.empty()) {
    const std::string tooLarge = contactSheetTooLarge(c.sheet, static_cast<int64_t>(c.thumbFrames.size()));
    if (!tooLarge.empty()) {
      *error = "cannot make the contact sheet " + c.sheetPath + ": " + tooLarge +
               "; lower --thumb-width or capture a shorter range";
      return false;
    }
  }
  const int64_t soundFrames = sampleAtFrame(o.rate, c.endFrame) - sampleAtFrame(o.rate, c.firstFrame);
  if (!c.wavPath.empty() && static_cast<uint64_t>(soundFrames) * 4 > kWavMaxDataBytes) {
    *error = "cannot write " + c.wavPath + ": the range holds " +
             formatDuration(static_cast<double>(soundFrames) / kCaptureSampleRate) +
             " of sound; a WAV file holds at most 6:45:47 (4 GB); capture a shorter range";
    return false;
  }
  return true;
}

// Reserves every output file, so a bad path fails before any work.
bool reserveOutputs(Capture& c, std::string* error) {
  for (auto [path, file] : {std::pair{&c.mp4Path, &c.mp4File},
                            {&c.wavPath, &c.wavFile},
                            {&c.sheetPath, &c.sheetFile},
                            {&c.logPath, &c.logFile}}) {
    if (!path->empty() && (*file = outputReserve(*path, error)).path.empty()) return false;
  }
  return c.pngDir.empty() || outputPrepareFolder(c.pngDir, error);
}

// Enters the data folder, opens the offscreen GL context, loads the show's
// pictures and starts its music.
bool openShow(Capture& c, std::string* error) {
  const std::string dataDir = findDataDir(c.o.dataDir, error);
  if (dataDir.empty()) return false;
  if (chdir(dataDir.c_str()) != 0) {
    *error = "cannot enter the data folder " + dataDir;
    return false;
  }
  // The show's loaders refuse a FIFO, a folder or a device without saying
  // why; say it here.
  std::vector<const char*> inputs(kTextureFiles, kTextureFiles + 5);
  inputs.push_back(kMusicFile);
  for (const char* input : inputs) {
    const std::string kind = nonRegularKind(input);
    if (!kind.empty()) {
      *error = "cannot read " + absolutePath(input) + ": it is " + kind +
               ", not a regular file; the show's pictures and music must be regular files";
      return false;
    }
  }
  soundSelectOutput(kSoundOutputOffline);
  // The GL implementation starts its worker threads here; they leave the
  // stop signals to this thread.
  blockStopSignals(true);
  c.glOpen = offscreenGlOpen(c.o.width, c.o.height);
  blockStopSignals(false);
  if (!c.glOpen) {
    *error = "cannot render " + std::to_string(c.o.width) + "x" + std::to_string(c.o.height) +
             " frames offscreen (the line above says why)";
    return false;
  }
  resizeScene(c.o.width, c.o.height);
  if (!initRenderState()) {
    *error = "the show's pictures could not be loaded from " + dataDir + "/Data";
    return false;
  }
  if (!musicModule) *error = "the music did not start";
  if (interrupted) *error = "interrupted";
  return musicModule && !interrupted;
}

// Opens the WAV file and the frame log and starts the encoder.
bool startWriters(Capture& c, std::string* error) {
  const CaptureOptions& o = c.o;
  if (!c.wavPath.empty() && !(c.wav = wavOpen(c.wavFile.path.c_str()))) {
    *error = cannotWrite(c.wavPath);
    return false;
  }
  if (!c.logPath.empty() && (!(c.log = std::fopen(c.logFile.path.c_str(), "w")) ||
                             std::fprintf(c.log, "# frame music_ms scene flash_depth\n") < 0)) {
    *error = cannotWrite(c.logPath);
    return false;
  }
  if (!c.mp4Path.empty()) {
    // An unnamed file is handed to ffmpeg, which reopens it by its name there.
    const std::string output = c.mp4File.fd >= 0 ? kChildFilePath : c.mp4File.path;
    Mp4Settings settings{c.ffmpegPath, output, o.width, o.height, o.rate, o.preset, o.crf};
    encoder =
        encoderStart(mp4Arguments(settings), c.mp4File.fd, c.mp4File.path, o.encoderTimeoutSeconds, error);
    if (!encoder) return false;
  }
  if (!c.mp4Path.empty() || !c.pngDir.empty() || !c.sheetPath.empty())
    c.rgb.resize(static_cast<size_t>(o.width) * o.height * 3);
  progressStart(progressStyleFor(o.progress), c.endFrame);
  return true;
}

// Hands a captured frame and its sound to the WAV file, the encoder, a PNG
// file and the contact sheet.
bool deliverFrame(Capture& c, int64_t n, size_t samples, std::string* error) {
  if (c.wav && !wavWrite(c.wav, c.pcm.data(), samples)) {
    *error = cannotWrite(c.wavPath);
    return false;
  }
  if (encoder && !encoderWrite(encoder, c.rgb.data(), c.rgb.size(),
                               reinterpret_cast<const uint8_t*>(c.pcm.data()), samples * 4)) {
    if (interrupted) {
      *error = "interrupted";
      return false;
    }
    // Why: the encoder's status, or how long it took no input.
    EncoderPipe* failed = encoder;
    encoder = nullptr;
    encoderFinish(failed, error);
    *error += "; ffmpeg's own message, if any, is above";
    return false;
  }
  if (!c.pngDir.empty()) {
    const std::string file = frameFileName(c.pngDir, n);
    const OutputFile frame = outputReserve(file, error);
    if (frame.path.empty()) return false;
    if (!writePng(frame.path.c_str(), c.rgb.data(), c.o.width, c.o.height, error)) {
      *error = "cannot write " + file + ": " + *error;
      return false;
    }
  }
  // One thumbnail for the first frame at or after each whole second.
  if (c.nextThumb < c.thumbFrames.size() && c.thumbFrames[c.nextThumb] == n) {
    contactSheetAdd(&c.sheet, c.rgb.data(), c.o.width, c.o.height);
    ++c.nextThumb;
  }
  return true;
}

// Draws frame n once the music has played up to sample sampleAtFrame(n),
// and hands it with the samples up to the next frame's start (its sound) to
// the outputs. Frames before the range are drawn (so the show's state
// advances exactly as in a full capture) but scissored away and never read
// back. Rendering the sound does not touch the frame, which is read after it.
bool captureFrame(Capture& c, int64_t n, std::string* error) {
  const CaptureOptions& o = c.o;
  if (interrupted) {
    *error = "interrupted";
    return false;
  }
  const bool captured = n >= c.firstFrame;
  if (c.log && captured &&
      std::fprintf(c.log, "%lld %d %u %g\n", static_cast<long long>(n), FMUSIC_GetTime(musicModule),
                   sceneState, static_cast<double>(flashDepth.load())) < 0) {
    *error = cannotWrite(c.logPath);
    return false;
  }
  const size_t samples = static_cast<size_t>(soundFramesOfFrame(o.rate, n));
  c.pcm.resize(samples * 2);
  if (!stepShowFrame(o.rate, n, captured, offscreenGlSkipDrawing, captured ? c.pcm.data() : nullptr)) {
    *error = "the sound library did not render the music offline";
    return false;
  }
  if (captured && !c.rgb.empty()) offscreenGlRead(c.rgb.data());
  if (captured && !deliverFrame(c, n, samples, error)) return false;
  progressUpdate(n + 1);
  return true;
}

// Completes every output: the encoder ends and what it wrote is checked,
// the WAV file and the log are closed, the contact sheet is written.
bool finishWriters(Capture& c, std::string* error) {
  progressFinish();
  if (encoder) {
    EncoderPipe* finishing = encoder;
    encoder = nullptr;
    if (!encoderFinish(finishing, error)) {
      *error += "; ffmpeg's own message, if any, is above";
      return false;
    }
    const std::string problem = mp4Problem(c.ffprobePath, c.mp4File.fd >= 0 ? kChildFilePath : c.mp4File.path,
                                           c.mp4File.fd, c.endFrame - c.firstFrame);
    if (!problem.empty()) {
      *error = "the encoder " + c.ffmpegPath + " wrote no usable MP4 for " + c.mp4Path + ": " + problem;
      return false;
    }
  }
  if (c.wav) {
    WavFile* closing = c.wav;
    c.wav = nullptr;
    if (!wavClose(closing, error)) {
      *error = "cannot write " + c.wavPath + ": " + *error;
      return false;
    }
  }
  if (c.log) {
    FILE* closing = c.log;
    c.log = nullptr;
    if (!outputClose(closing, error)) {
      *error = "cannot write " + c.logPath + ": " + *error;
      return false;
    }
  }
  if (!c.sheetPath.empty() && !contactSheetWrite(c.sheet, c.sheetFile.path.c_str(), error)) {
    *error = "cannot write the contact sheet " + c.sheetPath + ": " + *error;
    return false;
  }
  return true;
}

// Gives every output its name, all or none.
bool commitOutputs(std::string* error) {
  if (interrupted) {
    *error = "interrupted";
    return false;
  }
  // A stop signal now would end the process among the renames, so they go
  // through first and the capture counts as done.
  blockStopSignals(true);
  return outputsCommit(error);
}

// Releases what the steps hold, in reverse order. A sentence about a killed
// encoder, or "".
std::string release(Capture& c) {
  if (c.log) std::fclose(c.log);
  if (c.wav) {
    std::string ignored;
    wavClose(c.wav, &ignored);
  }
  if (c.glOpen) offscreenGlClose();
  return cleanUpAtExit();
}

void reportWritten(const Capture& c) {
  if (c.o.progress == CaptureOptions::kProgressNone) return;
  const CaptureOptions& o = c.o;
  std::fprintf(stderr, "%s: %lld frames of %dx%d at %g fps, music %.3f s to %.3f s\n", kProgramName,
               static_cast<long long>(c.endFrame - c.firstFrame), o.width, o.height, framesPerSecond(o.rate),
               static_cast<double>(sampleAtFrame(o.rate, c.firstFrame)) / kCaptureSampleRate,
               static_cast<double>(sampleAtFrame(o.rate, c.endFrame)) / kCaptureSampleRate);
  for (const std::string* path : {&c.mp4Path, &c.pngDir, &c.wavPath, &c.sheetPath, &c.logPath})
    if (!path->empty()) std::fprintf(stderr, "%s: wrote %s\n", kProgramName, path->c_str());
}

int runCapture(const CaptureOptions& o) {
  Capture c(o);
  std::string error;
  bool done = planRange(c, &error);
  // From here on an interruption removes what was started.
  if (done) catchStopSignals();
  done = done && reserveOutputs(c, &error) && openShow(c, &error) && startWriters(c, &error);
  for (int64_t n = 0; done && n < c.endFrame; ++n) done = captureFrame(c, n, &error);
  done = done && finishWriters(c, &error) && commitOutputs(&error);
  const std::string note = release(c);
  if (!done) {
    if (!note.empty()) error += "; " + note;
    return fail(error);
  }
  reportWritten(c);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ensureStandardStreamsOpen();
  keepFreedMemory();
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
  std::atexit([] { cleanUpAtExit(); });
  try {
    return runCapture(options);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
}
