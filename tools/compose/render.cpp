#include "render.h"

#include "xm_player.h"

#include <cstdio>
#include <cstring>

bool renderModule(const std::vector<uint8_t>& bytes, std::vector<int16_t>& pcm) {
    pcm.clear();
    XmPlayer* player = xmPlayerLoadMemory(bytes.data(), bytes.size());
    if (!player) return false;
    const bool ok = xmPlayerStart(player);
    std::vector<XmTrigger> triggers;  // not needed here; the player reports them anyway
    const int16_t* tick = nullptr;
    size_t frames = 0;
    while (ok && (frames = xmPlayerRenderTick(player, &tick, triggers)) > 0) {
        pcm.insert(pcm.end(), tick, tick + 2 * frames);
        triggers.clear();
    }
    xmPlayerFree(player);
    return ok;
}

namespace {

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v & 0xff));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t((v >> (8 * i)) & 0xff));
}

}  // namespace

bool writeWav(const std::vector<int16_t>& pcm, const char* path) {
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    std::vector<uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 2);  // stereo
    put32(out, 44100);
    put32(out, 44100 * 4);
    put16(out, 4);
    put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, dataBytes);
    for (int16_t s : pcm) put16(out, uint16_t(s));
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return (std::fclose(f) == 0) && written;
}
