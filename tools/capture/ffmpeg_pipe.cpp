#include "ffmpeg_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include <bit>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <sstream>
#include <utility>

extern char** environ;

// Why an encoder's input stopped going out.
enum class Fault { kNone, kStoppedReading, kStuck, kInterrupted };

struct EncoderPipe {
  std::string program;     // as found, for messages
  std::string outputPath;  // the file it writes, watched once its input ended; "" for none
  pid_t child;
  int timeoutSeconds;                      // the longest wait for input to be taken or the file to change
  Fault fault = Fault::kNone;              // set by the first failed write or wait
  int videoFd;                             // write end of the child's stdin
  int audioFd;                             // write end of the child's fd 3
  std::deque<std::vector<uint8_t>> video;  // frames not yet fully written
  size_t videoOffset = 0;                  // bytes of video.front() already written
  size_t videoQueued = 0;                  // bytes of video not yet written
  std::vector<uint8_t> audio;              // PCM not yet written, from audioOffset
  size_t audioOffset = 0;                  // bytes of audio already written
  uint64_t audioSent = 0;                  // bytes ever written to the audio pipe
  bool readingAudio = false;               // the child has read some of them
};

namespace {

constexpr int kPipeBytes = 1 << 20;  // asked pipe capacity; the kernel may give less
constexpr int kLowestFd = 10;        // pipe ends live above the child's 0..3
// ffmpeg opens its inputs one after the other and reads ahead in each before
// it reads the next, so at the start it may want more sound than the frames
// written so far carry. Frames then wait here, up to this many bytes, while
// the sound goes on.
constexpr size_t kMaxQueuedVideoAtStart = size_t{512} << 20;
// Once the child reads sound both inputs are open and read side by side, and
// the sound is always ahead of the frames, so a short queue serves.
constexpr size_t kMaxQueuedVideoRunning = size_t{32} << 20;

// Moves fd to a number >= kLowestFd with close-on-exec set, so that the
// child's dup2 onto 0 and 3 always copies it and no stray end leaks.
int moveHigh(int fd) {
  const int high = fcntl(fd, F_DUPFD_CLOEXEC, kLowestFd);
  close(fd);
  return high;
}

bool makePipe(int* readEnd, int* writeEnd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  *readEnd = moveHigh(fds[0]);
  *writeEnd = moveHigh(fds[1]);
  if (*readEnd < 0 || *writeEnd < 0) {
    if (*readEnd >= 0) close(*readEnd);
    if (*writeEnd >= 0) close(*writeEnd);
    return false;
  }
  fcntl(*writeEnd, F_SETPIPE_SZ, kPipeBytes);
  return true;
}

std::string describeStatus(int status) {
  char text[64];
  if (WIFEXITED(status))
    std::snprintf(text, sizeof text, "exit status %d", WEXITSTATUS(status));
  else if (WIFSIGNALED(status))
    std::snprintf(text, sizeof text, "killed by signal %d", WTERMSIG(status));
  else
    std::snprintf(text, sizeof text, "status %d", status);
  return text;
}

int reap(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Starts `program` with `argv`, each (fd, target) of `moves` on the child's
// descriptor `target`, SIGPIPE at its default. The child, or -1 with the
// reason in `error`.
pid_t spawnChild(const std::string& program, const std::vector<std::string>& argv,
                 const std::vector<std::pair<int, int>>& moves, std::string* error) {
  // Copies above every target first, so no move overwrites a later one's source.
  std::vector<int> high;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (const auto& [fd, target] : moves) {
    high.push_back(fcntl(fd, F_DUPFD_CLOEXEC, kLowestFd));
    posix_spawn_file_actions_adddup2(&actions, high.back(), target);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t child = -1;
  const bool copied = std::find(high.begin(), high.end(), -1) == high.end();
  const int result =
      copied ? posix_spawn(&child, program.c_str(), &actions, &attributes, args.data(), environ) : errno;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  for (const int fd : high)
    if (fd >= 0) close(fd);
  if (result != 0) {
    *error = "cannot start " + program + ": " + std::strerror(result);
    return -1;
  }
  return child;
}

}  // namespace

std::vector<std::string> mp4Arguments(const Mp4Settings& s) {
  const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
  const std::string rate = std::to_string(s.rate.num) + "/" + std::to_string(s.rate.den);
  // "file:" keeps a name with a colon from being taken for a protocol.
  const std::string output = (s.output.rfind("/", 0) == 0 ? "file:" : "file:./") + s.output;
  return {s.program, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
          // Both inputs are raw with every parameter given: no probing, which
          // would read ahead before the other input is open.
          "-probesize", "32", "-analyzeduration", "0", "-thread_queue_size", "64", "-f", "rawvideo",
          "-pix_fmt", "rgb24", "-video_size", size, "-framerate", rate, "-i", "pipe:0", "-probesize", "32",
          "-analyzeduration", "0", "-thread_queue_size", "64", "-f",
          std::endian::native == std::endian::little ? "s16le" : "s16be", "-ar", "44100", "-ac", "2", "-i",
          "pipe:3", "-map", "0:v:0", "-map", "1:a:0",
          // The frames are sRGB: convert with the BT.709 matrix and say so, so
          // players show the same colours at every size.
          "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-colorspace", "bt709",
          "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv", "-c:v", "libx264",
          "-preset", s.preset, "-crf", std::to_string(s.crf), "-c:a", "aac", "-b:a", "192k", "-movflags",
          "+faststart", "-f", "mp4", output};
}

std::string findProgram(const std::string& name) {
  if (name.empty()) return "";
  auto executable = [](const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
  };
  if (name.find('/') != std::string::npos) return executable(name) ? name : "";
  const char* path = std::getenv("PATH");
  if (!path) return "";
  const std::string folders = path;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + name;
    if (executable(candidate)) return candidate;
    start = end + 1;
  }
  return "";
}

std::string findProbeBeside(const std::string& ffmpeg) {
  auto besides = [](const std::string& path) {
    const size_t slash = path.rfind('/');
    return findProgram((slash == std::string::npos ? "." : path.substr(0, slash)) + "/ffprobe");
  };
  std::string probe = besides(ffmpeg);
  if (probe.empty()) {
    char* resolved = realpath(ffmpeg.c_str(), nullptr);
    if (resolved) probe = besides(resolved);
    std::free(resolved);
  }
  return probe;
}

EncoderPipe* encoderStart(const std::vector<std::string>& argv, int outputFd, const std::string& outputPath,
                          int timeoutSeconds, std::string* error) {
  const std::string program = argv.empty() ? "" : findProgram(argv[0]);
  if (program.empty()) {
    *error = (argv.empty() ? std::string("(none)") : argv[0]) + " not found";
    return nullptr;
  }
  int videoRead = -1, videoWrite = -1, audioRead = -1, audioWrite = -1;
  if (!makePipe(&videoRead, &videoWrite)) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return nullptr;
  }
  if (!makePipe(&audioRead, &audioWrite)) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    close(videoRead);
    close(videoWrite);
    return nullptr;
  }
  // A child that stops reading must show up as a failed write, not kill us.
  std::signal(SIGPIPE, SIG_IGN);

  std::vector<std::pair<int, int>> moves = {{videoRead, 0}, {audioRead, 3}};
  if (outputFd >= 0) moves.push_back({outputFd, kChildFileFd});
  const pid_t child = spawnChild(program, argv, moves, error);
  close(videoRead);
  close(audioRead);
  if (child < 0) {
    close(videoWrite);
    close(audioWrite);
    return nullptr;
  }
  fcntl(videoWrite, F_SETFL, fcntl(videoWrite, F_GETFL) | O_NONBLOCK);
  fcntl(audioWrite, F_SETFL, fcntl(audioWrite, F_GETFL) | O_NONBLOCK);
  EncoderPipe* started = new EncoderPipe;
  started->program = program;
  started->child = child;
  started->outputPath = outputPath;
  started->timeoutSeconds = timeoutSeconds;
  started->videoFd = videoWrite;
  started->audioFd = audioWrite;
  return started;
}

namespace {

// Writes what the pipes take of the queued audio and video. With `wait`
// blocks until at least one of them takes something, at most the input
// timeout. False, with the fault noted, when the child stopped reading,
// took nothing for that long or a signal interrupted the wait.
bool pump(EncoderPipe* pipe, bool wait) {
  if (pipe->fault != Fault::kNone) return false;
  pollfd fds[2];
  nfds_t count = 0;
  int audioSlot = -1, videoSlot = -1;
  if (pipe->audioOffset < pipe->audio.size()) {
    audioSlot = static_cast<int>(count);
    fds[count++] = {pipe->audioFd, POLLOUT, 0};
  }
  if (!pipe->video.empty()) {
    videoSlot = static_cast<int>(count);
    fds[count++] = {pipe->videoFd, POLLOUT, 0};
  }
  if (count == 0) return true;
  const int ready = poll(fds, count, wait ? pipe->timeoutSeconds * 1000 : 0);
  if (ready == 0 && wait) pipe->fault = Fault::kStuck;
  if (ready < 0) pipe->fault = errno == EINTR ? Fault::kInterrupted : Fault::kStoppedReading;
  if (pipe->fault != Fault::kNone) return false;
  auto writeSome = [pipe](int fd, short revents, const uint8_t* data, size_t bytes, size_t* written) {
    *written = 0;
    if (!(revents & (POLLOUT | POLLHUP | POLLERR | POLLNVAL))) return true;
    // POLLERR: the child closed its end.
    const ssize_t n = revents & (POLLERR | POLLNVAL) ? -1 : write(fd, data, bytes);
    if (n < 0 && (revents & (POLLERR | POLLNVAL) || errno != EAGAIN)) {
      pipe->fault = Fault::kStoppedReading;
      return false;
    }
    *written = n > 0 ? static_cast<size_t>(n) : 0;
    return true;
  };
  size_t written = 0;
  if (audioSlot >= 0) {
    if (!writeSome(pipe->audioFd, fds[audioSlot].revents, pipe->audio.data() + pipe->audioOffset,
                   pipe->audio.size() - pipe->audioOffset, &written))
      return false;
    pipe->audioOffset += written;
    pipe->audioSent += written;
    if (pipe->audioOffset == pipe->audio.size()) {
      pipe->audio.clear();
      pipe->audioOffset = 0;
    }
  }
  if (videoSlot >= 0) {
    const std::vector<uint8_t>& frame = pipe->video.front();
    if (!writeSome(pipe->videoFd, fds[videoSlot].revents, frame.data() + pipe->videoOffset,
                   frame.size() - pipe->videoOffset, &written))
      return false;
    pipe->videoOffset += written;
    pipe->videoQueued -= written;
    if (pipe->videoOffset == frame.size()) {
      pipe->video.pop_front();
      pipe->videoOffset = 0;
    }
  }
  return true;
}

bool pending(const EncoderPipe* pipe) {
  return pipe->audioOffset < pipe->audio.size() || !pipe->video.empty();
}

// How far the encoder's file is: its size and the time of its last change,
// which every write moves on, also while ffmpeg moves the index of a large
// file to the front without changing its size. Zero when there is no file.
struct FileState {
  off_t size = 0;
  timespec modified{};
};

FileState fileState(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) return {};
  return {info.st_size, info.st_mtim};
}

bool sameState(const FileState& a, const FileState& b) {
  return a.size == b.size && a.modified.tv_sec == b.modified.tv_sec &&
         a.modified.tv_nsec == b.modified.tv_nsec;
}

enum class Exit { kExited, kStuck, kInterrupted };

// Waits for the child, whose input has ended, to exit, for as long as it
// keeps writing its file: a child that neither exits nor changes the file
// for the timeout is stuck. kExited with its status in `status`.
Exit awaitExit(const EncoderPipe* pipe, int* status) {
  // Woken at the child's exit by a pidfd (in steps where the kernel has
  // none), and at least once a second to look at the file. Signals wait
  // until the sleeps, so a stop signal always cuts one short.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  const int exitFd = static_cast<int>(syscall(SYS_pidfd_open, pipe->child, 0));
  const timespec step{exitFd >= 0 ? 1 : 0, exitFd >= 0 ? 0 : 50 * 1000 * 1000};
  FileState seen = fileState(pipe->outputPath);
  auto lastChange = std::chrono::steady_clock::now();
  Exit result = Exit::kInterrupted;
  for (;;) {
    const pid_t done = waitpid(pipe->child, status, WNOHANG);
    if (done != 0) {
      if (done == pipe->child) result = Exit::kExited;
      break;
    }
    pollfd exited{exitFd, POLLIN, 0};
    if (ppoll(&exited, exitFd >= 0 ? 1 : 0, &step, &before) < 0 && errno == EINTR) {
      // A stop signal, unless it was the child's own SIGCHLD.
      if (waitpid(pipe->child, status, WNOHANG) == pipe->child) result = Exit::kExited;
      break;
    }
    const FileState now = fileState(pipe->outputPath);
    if (!sameState(now, seen)) {
      seen = now;
      lastChange = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - lastChange >= std::chrono::seconds(pipe->timeoutSeconds)) {
      result = Exit::kStuck;
      break;
    }
  }
  if (exitFd >= 0) close(exitFd);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return result;
}

}  // namespace

bool encoderWrite(EncoderPipe* pipe, const uint8_t* video, size_t videoBytes, const uint8_t* audio,
                  size_t audioBytes) {
  pipe->audio.insert(pipe->audio.end(), audio, audio + audioBytes);
  if (videoBytes > 0) {
    pipe->video.emplace_back(video, video + videoBytes);
    pipe->videoQueued += videoBytes;
  }
  // Hand over what the pipes take now; wait only while too much video is
  // queued. The sound always goes out as soon as the pipe takes it.
  for (;;) {
    const size_t before = pipe->videoQueued + (pipe->audio.size() - pipe->audioOffset);
    if (!pump(pipe, false)) return false;
    const size_t after = pipe->videoQueued + (pipe->audio.size() - pipe->audioOffset);
    if (after == before || after == 0) break;
  }
  for (;;) {
    if (!pipe->readingAudio) {
      int unread = 0;
      pipe->readingAudio =
          ioctl(pipe->audioFd, FIONREAD, &unread) == 0 && static_cast<uint64_t>(unread) < pipe->audioSent;
    }
    const size_t limit = pipe->readingAudio ? kMaxQueuedVideoRunning : kMaxQueuedVideoAtStart;
    if (pipe->videoQueued <= limit || pipe->video.size() <= 1) break;
    if (!pump(pipe, true)) return false;
  }
  return true;
}

bool encoderFinish(EncoderPipe* pipe, std::string* error) {
  while (pending(pipe) && pump(pipe, true)) {
  }
  const Fault fault = pipe->fault;
  const std::string name = "the encoder " + pipe->program;
  const std::string timeout = std::to_string(pipe->timeoutSeconds) + " s";
  if (fault == Fault::kStuck || fault == Fault::kInterrupted) {
    const std::string note = encoderAbort(pipe);
    *error = fault == Fault::kInterrupted ? "interrupted" : name + " took no input for " + timeout;
    if (!note.empty()) *error += "; " + note;
    return false;
  }
  close(pipe->videoFd);
  close(pipe->audioFd);
  pipe->videoFd = pipe->audioFd = -1;
  // Finishing the file may take a while (the last frames, then moving the
  // index to the front of a large file), so the wait lasts while it writes.
  int status = 0;
  const Exit exit = awaitExit(pipe, &status);
  if (exit != Exit::kExited) {
    const std::string note = encoderAbort(pipe);
    *error = exit == Exit::kInterrupted
                 ? "interrupted"
                 : name + " neither ended nor wrote to its file for " + timeout + " after its input ended";
    if (!note.empty()) *error += "; " + note;
    return false;
  }
  delete pipe;
  if (fault == Fault::kNone && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *error =
      name + (fault == Fault::kNone ? " failed" : " stopped reading") + " (" + describeStatus(status) + ")";
  return false;
}

std::string encoderAbort(EncoderPipe* pipe, const std::function<void()>& onWaiting) {
  // Signals wait until the grace's sleeps, so one that comes after
  // onWaiting (a second Ctrl-C) always cuts the grace short.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  if (pipe->videoFd >= 0) close(pipe->videoFd);
  if (pipe->audioFd >= 0) close(pipe->audioFd);
  const pid_t child = pipe->child;
  delete pipe;
  kill(child, SIGTERM);
  if (onWaiting) onWaiting();
  std::string note = "the encoder did not end within " + std::to_string(kEncoderGraceMs / 1000) +
                     " s of SIGTERM and was killed";
  for (int waited = 0; waited < kEncoderGraceMs; waited += 20) {
    if (waitpid(child, nullptr, WNOHANG) == child) {
      note.clear();
      break;
    }
    const timespec step{0, 20 * 1000 * 1000};
    if (ppoll(nullptr, 0, &step, &before) < 0 && errno == EINTR) {
      note = "the encoder was killed at once at another stop signal";
      break;
    }
  }
  if (!note.empty()) {
    kill(child, SIGKILL);
    reap(child);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return note;
}

namespace {

uint64_t bigEndian(const uint8_t* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

// "" when the boxes at the top level of the MP4 on `fd` follow one another
// to exactly its last byte; else where the file is cut. The demuxer reads a
// last frame cut short without a word, so this finds what it does not.
std::string boxesProblem(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return std::string("cannot read it: ") + std::strerror(errno);
  const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
  uint64_t at = 0;
  while (at < fileSize) {
    uint8_t header[16];
    const ssize_t got = pread(fd, header, sizeof header, static_cast<off_t>(at));
    if (got < 0) return std::string("cannot read it: ") + std::strerror(errno);
    std::string type = got >= 8 ? std::string(reinterpret_cast<const char*>(header + 4), 4) : "";
    for (char& c : type)
      if (c < ' ' || c > '~') c = '?';
    uint64_t size = got >= 8 ? bigEndian(header, 4) : 0;
    uint64_t headerSize = 8;
    if (got >= 8 && size == 1) {  // a 64-bit size follows the type
      headerSize = 16;
      size = got >= 16 ? bigEndian(header + 8, 8) : 0;
    } else if (got >= 8 && size == 0) {  // the box runs to the end of the file
      size = fileSize - at;
    }
    const std::string where = " at byte " + std::to_string(at);
    if (got < static_cast<ssize_t>(headerSize) || size > fileSize - at)
      return "it is cut short: the file ends at byte " + std::to_string(fileSize) + ", inside its box" +
             (type.empty() ? "" : " '" + type + "'") + where;
    if (size < headerSize)
      return "its box '" + type + "'" + where + " has the impossible size " + std::to_string(size);
    at += size;
  }
  return "";
}

}  // namespace

std::string mp4Problem(const std::string& ffprobe, const std::string& path, int fd, int64_t frames) {
  int outRead = -1, outWrite = -1;
  if (!makePipe(&outRead, &outWrite)) return std::string("cannot make a pipe: ") + std::strerror(errno);
  std::string error;
  std::vector<std::pair<int, int>> moves = {{outWrite, 1}, {outWrite, 2}};
  if (fd >= 0) moves.push_back({fd, kChildFileFd});
  // -count_packets reads every frame's data, so a frame the file does not
  // reach shows as one missing from the count and a message.
  const pid_t child =
      spawnChild(ffprobe,
                 {ffprobe, "-v", "error", "-count_packets", "-show_entries",
                  "stream=codec_type,nb_frames,nb_read_packets", "-of", "csv=p=0", "file:" + path},
                 moves, &error);
  close(outWrite);
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while (child > 0 && ((n = read(outRead, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)))
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
  close(outRead);
  if (child < 0) return error;
  const int status = reap(child);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    // ffprobe's own line ends with the reason, after the file's name.
    const std::string line = text.substr(0, text.find('\n'));
    const size_t colon = line.rfind(": ");
    return "ffprobe cannot read it (" +
           (colon == std::string::npos ? describeStatus(status) : line.substr(colon + 2)) + ")";
  }
  // One line a stream, "TYPE,FRAMES,FRAMES_READ"; any other is a message.
  int videos = 0, sounds = 0;
  long long videoFrames = -1;
  std::string unread, message;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t comma = line.find(',');
    const std::string type = line.substr(0, comma);
    if (comma == std::string::npos || (type != "video" && type != "audio" && type != "subtitle" &&
                                       type != "data" && type != "attachment")) {
      // "[mov,mp4,... @ 0x...] stream 0, offset 0x...: partial file": the reader's name goes.
      const size_t reader = line.rfind('[', 0) == 0 ? line.find("] ") : std::string::npos;
      if (message.empty()) message = reader == std::string::npos ? line : line.substr(reader + 2);
      continue;
    }
    const long long listed = std::atoll(line.c_str() + comma + 1);
    const size_t second = line.find(',', comma + 1);
    const long long read = second == std::string::npos ? 0 : std::atoll(line.c_str() + second + 1);
    if (type == "video") {
      ++videos;
      videoFrames = listed;
    }
    if (type == "audio") ++sounds;
    if ((type == "video" || type == "audio") && read != listed && unread.empty())
      unread = "ffprobe reads " + std::to_string(read) + " of the " + std::to_string(listed) +
               " frames of its " + (type == "audio" ? "sound" : type) + " stream";
  }
  if (videos != 1) return "it holds " + std::to_string(videos) + " video streams, not one";
  if (videoFrames != frames)
    return "its video stream holds " + std::to_string(videoFrames) + " frames, not " + std::to_string(frames);
  if (sounds != 1) return "it holds " + std::to_string(sounds) + " sound streams, not one";
  if (!unread.empty()) return "it is cut short: " + unread + (message.empty() ? "" : " (" + message + ")");
  if (!message.empty()) return "ffprobe reports: " + message;
  const int own = fd >= 0 ? fd : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (own < 0) return "cannot read it: " + std::string(std::strerror(errno));
  const std::string cut = boxesProblem(own);
  if (own != fd) close(own);
  return cut;
}
