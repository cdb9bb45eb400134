#include "xm_writer.h"

#include <algorithm>
#include <cstdio>

#include "byte_fields.h"

namespace {

constexpr size_t kMaxOrder = 256;
constexpr size_t kMaxPatterns = 256;
constexpr size_t kMaxInstruments = 128;
constexpr size_t kMaxSamples = 16;  // per instrument
constexpr size_t kMaxEnvelopePoints = 12;
constexpr uint32_t kInstrumentHeaderSize = 263;  // with sample map and envelopes
constexpr uint32_t kBareInstrumentHeaderSize = 29;
constexpr uint32_t kSampleHeaderSize = 40;

void put8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }

// Writes `text` into a fixed field of `width` bytes, cut or zero-padded.
void putText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : 0);
}

// Packs one cell: a leading flag byte (high bit set) says which fields
// follow, so empty fields cost nothing. A cell with all five fields is
// stored unpacked, which is one byte shorter.
void putCell(std::vector<uint8_t>& out, const XmCell& c) {
  uint8_t flags = 0x80;
  if (c.note) flags |= 0x01;
  if (c.instrument) flags |= 0x02;
  if (c.volume) flags |= 0x04;
  if (c.effect) flags |= 0x08;
  if (c.param) flags |= 0x10;
  if (flags == 0x9f && c.note < 0x80) {
    out.insert(out.end(), {c.note, c.instrument, c.volume, c.effect, c.param});
    return;
  }
  put8(out, flags);
  if (c.note) put8(out, c.note);
  if (c.instrument) put8(out, c.instrument);
  if (c.volume) put8(out, c.volume);
  if (c.effect) put8(out, c.effect);
  if (c.param) put8(out, c.param);
}

void putPattern(std::vector<uint8_t>& out, const XmPattern& p, uint16_t channels) {
  const uint16_t rows = uint16_t(std::clamp<int>(p.rows, 1, 256));
  std::vector<uint8_t> packed;
  const XmCell empty;
  for (size_t i = 0; i < size_t(rows) * channels; ++i)
    putCell(packed, i < p.cells.size() ? p.cells[i] : empty);
  putLe32(out, 9);  // pattern header length
  put8(out, 0);     // packing type
  putLe16(out, rows);
  putLe16(out, uint16_t(packed.size()));
  out.insert(out.end(), packed.begin(), packed.end());
}

uint8_t envelopeFlags(const XmEnvelope& e) {
  return uint8_t((e.enabled ? 1 : 0) | (e.sustain ? 2 : 0) | (e.loop ? 4 : 0));
}

void putEnvelopePoints(std::vector<uint8_t>& out, const XmEnvelope& e) {
  for (size_t i = 0; i < kMaxEnvelopePoints; ++i) {
    if (i < e.points.size()) {
      putLe16(out, e.points[i].first);
      putLe16(out, e.points[i].second);
    } else {
      putLe32(out, 0);
    }
  }
}

uint8_t envelopeCount(const XmEnvelope& e) { return uint8_t(std::min(e.points.size(), kMaxEnvelopePoints)); }

// Loop bounds in points, clamped to the sample so a player never reads past it.
void loopBounds(const XmSample& s, uint32_t& start, uint32_t& length) {
  const uint32_t size = uint32_t(s.data.size());
  start = std::min(s.loopStart, size);
  length = std::min(s.loopLength, size - start);
  if (s.loopType == 0 || length == 0) start = length = 0;
}

void putInstrument(std::vector<uint8_t>& out, const XmInstrument& ins) {
  const uint16_t count = uint16_t(std::min(ins.samples.size(), kMaxSamples));
  putLe32(out, count ? kInstrumentHeaderSize : kBareInstrumentHeaderSize);
  putText(out, ins.name, 22);
  put8(out, 0);  // instrument type
  putLe16(out, count);
  if (count == 0) return;

  putLe32(out, kSampleHeaderSize);
  for (int i = 0; i < 96; ++i) put8(out, 0);  // every note plays sample 0
  putEnvelopePoints(out, ins.volumeEnvelope);
  putEnvelopePoints(out, ins.panningEnvelope);
  put8(out, envelopeCount(ins.volumeEnvelope));
  put8(out, envelopeCount(ins.panningEnvelope));
  put8(out, ins.volumeEnvelope.sustainPoint);
  put8(out, ins.volumeEnvelope.loopStart);
  put8(out, ins.volumeEnvelope.loopEnd);
  put8(out, ins.panningEnvelope.sustainPoint);
  put8(out, ins.panningEnvelope.loopStart);
  put8(out, ins.panningEnvelope.loopEnd);
  put8(out, envelopeFlags(ins.volumeEnvelope));
  put8(out, envelopeFlags(ins.panningEnvelope));
  put8(out, 0);  // vibrato type
  put8(out, 0);  // vibrato sweep
  put8(out, 0);  // vibrato depth
  put8(out, 0);  // vibrato rate
  putLe16(out, ins.fadeout);
  for (int i = 0; i < 22; ++i) put8(out, 0);  // reserved

  for (size_t i = 0; i < count; ++i) {
    const XmSample& s = ins.samples[i];
    uint32_t start, length;
    loopBounds(s, start, length);
    putLe32(out, uint32_t(s.data.size() * 2));  // lengths in bytes
    putLe32(out, start * 2);
    putLe32(out, length * 2);
    put8(out, std::min<uint8_t>(s.volume, 64));
    put8(out, uint8_t(s.finetune));
    put8(out, uint8_t((length ? std::min<uint8_t>(s.loopType, 2) : 0) | 0x10));  // 16-bit
    put8(out, s.panning);
    put8(out, uint8_t(s.relativeNote));
    put8(out, 0);  // reserved
    putText(out, s.name, 22);
  }
  for (size_t i = 0; i < count; ++i) {
    int16_t previous = 0;
    for (int16_t v : ins.samples[i].data) {
      putLe16(out, uint16_t(int16_t(uint16_t(v) - uint16_t(previous))));
      previous = v;
    }
  }
}

}  // namespace

std::vector<uint8_t> xmEncode(const XmModule& module) {
  std::vector<uint8_t> out;
  const uint16_t channels = uint16_t(std::clamp<int>(module.channels, 1, 32));
  const size_t orderCount = std::min(module.order.size(), kMaxOrder);
  const size_t patternCount = std::min(module.patterns.size(), kMaxPatterns);
  const size_t instrumentCount = std::min(module.instruments.size(), kMaxInstruments);

  putText(out, "Extended Module: ", 17);
  putText(out, module.name, 20);
  put8(out, 0x1a);
  putText(out, "quendaloop xmwriter", 20);
  putLe16(out, 0x0104);
  const size_t headerSizeAt = out.size();
  putLe32(out, 0);  // header size, patched below
  putLe16(out, uint16_t(orderCount));
  putLe16(out, module.restartPosition);
  putLe16(out, channels);
  putLe16(out, uint16_t(patternCount));
  putLe16(out, uint16_t(instrumentCount));
  putLe16(out, module.linearFrequencies ? 1 : 0);
  putLe16(out, module.speed);
  putLe16(out, module.bpm);
  for (size_t i = 0; i < kMaxOrder; ++i) put8(out, i < orderCount ? module.order[i] : 0);
  storeLe32(out.data() + headerSizeAt, uint32_t(out.size() - headerSizeAt));

  for (size_t i = 0; i < patternCount; ++i) putPattern(out, module.patterns[i], channels);
  for (size_t i = 0; i < instrumentCount; ++i) putInstrument(out, module.instruments[i]);
  return out;
}

// Writes to a temporary file beside the target and renames it over the
// target, so a failed write never leaves a truncated module behind.
bool xmWriteFile(const XmModule& module, const char* path) {
  const std::vector<uint8_t> bytes = xmEncode(module);
  const std::string temporary = std::string(path) + ".part";
  FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
