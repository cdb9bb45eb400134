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

constexpr uint32_t kRate = 44100;        // frames per second
constexpr uint16_t kChannels = 2;
constexpr uint16_t kBytesPerSample = 2;  // 16-bit
constexpr uint32_t kFrameBytes = kChannels * kBytesPerSample;

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void wavHeader(uint8_t header[44], uint32_t frames) {
  const uint32_t dataBytes = frames * kFrameBytes;
  std::memcpy(header, "RIFF", 4);
  put32(header + 4, 36 + dataBytes);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(header + 16, 16);  // format chunk size
  put16(header + 20, 1);   // PCM
  put16(header + 22, kChannels);
  put32(header + 24, kRate);
  put32(header + 28, kRate * kFrameBytes);  // bytes per second
  put16(header + 32, kFrameBytes);          // block align
  put16(header + 34, 8 * kBytesPerSample);  // bits per sample
  std::memcpy(header + 36, "data", 4);
  put32(header + 40, dataBytes);
}

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
    for (size_t i = 0; i < count * 2; ++i) put16(bytes + 2 * i, static_cast<uint16_t>(pcm[2 * done + i]));
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
    if (std::fseek(wav->file, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, wav->file) != sizeof header) {
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
