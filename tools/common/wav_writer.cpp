#include "wav_writer.h"

#include <cstring>

#include "byte_fields.h"

namespace {

constexpr uint32_t kRate = 44100;  // frames per second
constexpr uint16_t kChannels = 2;
constexpr uint16_t kBytesPerSample = 2;  // 16-bit
constexpr uint32_t kFrameBytes = kChannels * kBytesPerSample;

}  // namespace

void wavHeader(uint8_t header[44], uint32_t frames) {
  const uint32_t dataBytes = frames * kFrameBytes;
  std::memcpy(header, "RIFF", 4);
  storeLe32(header + 4, 36 + dataBytes);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  storeLe32(header + 16, 16);  // format chunk size
  storeLe16(header + 20, 1);   // PCM
  storeLe16(header + 22, kChannels);
  storeLe32(header + 24, kRate);
  storeLe32(header + 28, kRate * kFrameBytes);  // bytes per second
  storeLe16(header + 32, kFrameBytes);          // block align
  storeLe16(header + 34, 8 * kBytesPerSample);  // bits per sample
  std::memcpy(header + 36, "data", 4);
  storeLe32(header + 40, dataBytes);
}

void wavSamples(uint8_t* out, const int16_t* pcm, size_t samples) {
  for (size_t i = 0; i < samples; ++i) storeLe16(out + 2 * i, static_cast<uint16_t>(pcm[i]));
}

bool writeWav(const std::vector<int16_t>& pcm, const char* path) {
  std::vector<uint8_t> out(44 + 2 * pcm.size());
  wavHeader(out.data(), static_cast<uint32_t>(pcm.size() / kChannels));
  wavSamples(out.data() + 44, pcm.data(), pcm.size());
  return writeFileBytes(path, out);
}
