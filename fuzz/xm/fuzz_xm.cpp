// Feeds arbitrary bytes to the module loader and, when they load, plays up
// to a few thousand ticks through the trigger detection.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "xm_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XmPlayer* player = xmPlayerLoadMemory(data, size);
  if (player == nullptr) return 0;
  if (xmPlayerStart(player)) {
    std::vector<XmTrigger> triggers;
    const int16_t* pcm = nullptr;
    for (int tick = 0; tick < 3000 && xmPlayerRenderTick(player, &pcm, triggers) > 0; ++tick) {
      const int count = xmPlayerInstrumentCount(player);
      for (const XmTrigger& t : triggers) {
        if (t.instrument < 1 || t.instrument > count) __builtin_trap();
      }
      triggers.clear();
    }
  }
  xmPlayerFree(player);
  return 0;
}
