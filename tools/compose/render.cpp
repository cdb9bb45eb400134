#include "render.h"

#include <xmp.h>

#include <cstdio>
#include <cstring>

bool renderModule(const std::vector<uint8_t>& bytes, std::vector<int16_t>& pcm) {
    pcm.clear();
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) != 0) {
        xmp_free_context(ctx);
        return false;
    }
    bool ok = xmp_start_player(ctx, 44100, 0) == 0;
    xmp_frame_info fi{};
    while (ok && xmp_play_frame(ctx) == 0) {
        xmp_get_frame_info(ctx, &fi);
        if (fi.loop_count > 0) break;
        const int16_t* samples = static_cast<const int16_t*>(fi.buffer);
        pcm.insert(pcm.end(), samples, samples + fi.buffer_size / 2);
    }
    if (ok) xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
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
