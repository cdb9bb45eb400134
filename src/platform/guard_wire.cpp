#include "guard_wire.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace {

bool readAll(int fd, void* into, size_t size) {
  auto* at = static_cast<char*>(into);
  while (size > 0) {
    const ssize_t got = read(fd, at, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    size -= size_t(got);
  }
  return true;
}

}  // namespace

std::vector<uint32_t> encodeSnapshot(uint32_t kind, const ScreenSnapshot& s) {
  std::vector<uint32_t> w{kind,
                          0,
                          uint32_t(s.width),
                          uint32_t(s.height),
                          uint32_t(s.widthMm),
                          uint32_t(s.heightMm),
                          uint32_t(s.crtcs.size())};
  for (const CrtcSnapshot& c : s.crtcs) {
    w.insert(w.end(), {c.crtc, uint32_t(c.x), uint32_t(c.y), c.mode, c.rotation, uint32_t(c.outputs.size())});
    w.insert(w.end(), c.outputs.begin(), c.outputs.end());
  }
  w[1] = uint32_t(w.size() - 2);
  return w;
}

bool decodeSnapshot(const std::vector<uint32_t>& w, ScreenSnapshot& s) {
  size_t at = 0;
  const auto next = [&](uint32_t& value) {
    if (at >= w.size()) return false;
    value = w[at++];
    return true;
  };
  uint32_t width, height, widthMm, heightMm, count;
  if (!next(width) || !next(height) || !next(widthMm) || !next(heightMm) || !next(count)) return false;
  ScreenSnapshot read{int32_t(width), int32_t(height), int32_t(widthMm), int32_t(heightMm), {}};
  for (uint32_t i = 0; i < count; ++i) {
    CrtcSnapshot c{};
    uint32_t x, y, outputs;
    if (!next(c.crtc) || !next(x) || !next(y) || !next(c.mode) || !next(c.rotation) || !next(outputs))
      return false;
    c.x = int32_t(x);
    c.y = int32_t(y);
    for (uint32_t j = 0; j < outputs; ++j) {
      uint32_t output;
      if (!next(output)) return false;
      c.outputs.push_back(output);
    }
    read.crtcs.push_back(c);
  }
  s = read;
  return true;
}

bool receiveMessage(int fd, uint32_t& kind, std::vector<uint32_t>& body) {
  uint32_t header[2];
  if (!readAll(fd, header, sizeof header) || header[1] > kMaxMessageWords) return false;
  body.assign(header[1], 0);
  if (!readAll(fd, body.data(), body.size() * sizeof(uint32_t))) return false;
  kind = header[0];
  return true;
}

void sendMessage(int fd, const uint32_t* words, size_t count) {
  send(fd, words, count * sizeof(uint32_t), MSG_NOSIGNAL);
}
