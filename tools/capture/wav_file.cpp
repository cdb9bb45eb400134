#include "wav_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "outputs.h"

struct WavFile {
  FILE* file;
  uint64_t frames;  // stereo frames written so far
  int failure;      // errno of the first failed write, 0 while none failed
};

namespace {

constexpr uint32_t kFrameBytes = 4;  // stereo, 16-bit

}  // namespace

WavFile* wavOpen(const char* path) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return nullptr;
  uint8_t header[44];
  wavHeader(header, 0);
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header) {
    const int failure = errno;
    std::fclose(file);
    errno = failure;
    return nullptr;
  }
  return new WavFile{file, 0, 0};
}

bool wavWrite(WavFile* wav, const int16_t* pcm, size_t frames) {
  if (wav->failure != 0) {
    errno = wav->failure;
    return false;
  }
  // Samples are stored little-endian whatever the host's byte order.
  uint8_t bytes[4 * 1024];
  size_t done = 0;
  while (done < frames) {
    const size_t count = frames - done < 1024 ? frames - done : 1024;
    wavSamples(bytes, pcm + 2 * done, count * 2);
    if (std::fwrite(bytes, kFrameBytes, count, wav->file) != count) {
      wav->failure = errno != 0 ? errno : EIO;
      errno = wav->failure;
      return false;
    }
    done += count;
  }
  wav->frames += frames;
  return true;
}

bool wavClose(WavFile* wav, std::string* error) {
  bool ok = true;
  if (wav->failure != 0) {
    *error = std::strerror(wav->failure);
    ok = false;
  } else if (wav->frames * kFrameBytes > kWavMaxDataBytes) {
    *error = "more sound than a WAV file holds (4 GB)";
    ok = false;
  } else {
    uint8_t header[44];
    wavHeader(header, static_cast<uint32_t>(wav->frames));
    if (std::fseek(wav->file, 0, SEEK_SET) != 0 ||
        std::fwrite(header, 1, sizeof header, wav->file) != sizeof header) {
      *error = std::strerror(errno);
      ok = false;
    }
  }
  std::string closing;
  if (!outputClose(wav->file, &closing) && ok) {
    *error = closing;
    ok = false;
  }
  delete wav;
  return ok;
}
