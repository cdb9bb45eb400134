#include "test_modules.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

XmModule testModule(const std::vector<std::vector<TestRow>>& patterns, int channels, int instruments,
                    int speed, int bpm) {
  XmModule module;
  module.name = "test";
  module.channels = static_cast<uint16_t>(channels);
  module.speed = static_cast<uint16_t>(speed);
  module.bpm = static_cast<uint16_t>(bpm);
  for (size_t p = 0; p < patterns.size(); ++p) {
    XmPattern pattern;
    pattern.rows = static_cast<uint16_t>(patterns[p].size());
    for (const TestRow& row : patterns[p]) {
      for (int c = 0; c < channels; ++c) {
        pattern.cells.push_back(c < static_cast<int>(row.size()) ? row[static_cast<size_t>(c)] : XmCell{});
      }
    }
    module.patterns.push_back(pattern);
    module.order.push_back(static_cast<uint8_t>(p));
  }
  for (int i = 0; i < instruments; ++i) {
    XmInstrument instrument;
    instrument.name = "square " + std::to_string(i + 1);
    XmSample sample;
    sample.name = instrument.name;
    const int period = 32 + 16 * i;
    for (int n = 0; n < period * 8; ++n) sample.data.push_back(n % period < period / 2 ? 6000 : -6000);
    sample.loopStart = 0;
    sample.loopLength = static_cast<uint32_t>(sample.data.size());
    sample.loopType = 1;
    sample.volume = 48;
    instrument.samples.push_back(sample);
    module.instruments.push_back(instrument);
  }
  return module;
}

XmCell noteCell(int note, int instrument, int effect, int param, int volume) {
  XmCell cell;
  cell.note = static_cast<uint8_t>(note);
  cell.instrument = static_cast<uint8_t>(instrument);
  cell.effect = static_cast<uint8_t>(effect);
  cell.param = static_cast<uint8_t>(param);
  cell.volume = static_cast<uint8_t>(volume);
  return cell;
}

std::string writeTestModule(const XmModule& module, const std::string& stem) {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp != nullptr ? tmp : "/tmp") + "/quendaloop-" + stem + "-" +
                     std::to_string(getpid()) + ".xm";
  if (!xmWriteFile(module, path.c_str())) std::abort();
  return path;
}

std::vector<XmTrigger> playerTriggers(const std::string& path) {
  XmPlayer* player = xmPlayerLoadFile(path.c_str());
  std::vector<XmTrigger> triggers;
  xmPlayerStart(player);
  const int16_t* pcm;
  while (xmPlayerRenderTick(player, &pcm, triggers) > 0) {
  }
  xmPlayerFree(player);
  return triggers;
}
