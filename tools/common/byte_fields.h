// Little-endian fields, appended to a byte buffer or stored at a place in
// one, whatever the host's byte order; and a buffer written out as a file.
// The formats the tools write (XM, BMP, WAV) all store their fields so.
#pragma once

#include <cstdint>
#include <vector>

// Appends the low 16 or 32 bits of `v`, lowest byte first.
inline void putLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void putLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Stores `v` in the 2 or 4 bytes at `p`, lowest byte first.
inline void storeLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Creates (or truncates) `path` and writes `bytes` to it. False when the
// file cannot be created, written or closed.
bool writeFileBytes(const char* path, const std::vector<uint8_t>& bytes);
