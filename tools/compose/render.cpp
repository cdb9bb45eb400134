#include "render.h"

#include "xm_player.h"

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
