// quendaloop_compose: writes the show's module, and optionally renders it.
//
//   quendaloop_compose [OUTPUT.xm] [--wav FILE.wav]
//
// OUTPUT defaults to "pelvorgrind.xm" in the working directory.
#include "render.h"
#include "score.h"
#include "wav_writer.h"
#include "xm_writer.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  std::string output = "pelvorgrind.xm";
  const char* wav = nullptr;
  bool outputGiven = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(
          "usage: %s [OUTPUT.xm] [--wav FILE.wav]\n"
          "Composes the show's module and writes it to OUTPUT (default pelvorgrind.xm);\n"
          "--wav also renders it through libxmp (44100 Hz, stereo, 16-bit).\n",
          argv[0]);
      return 0;
    }
    if (std::strcmp(argv[i], "--wav") == 0 && i + 1 < argc) {
      wav = argv[++i];
    } else if (argv[i][0] != '-' && !outputGiven) {
      output = argv[i];
      outputGiven = true;
    } else {
      std::fprintf(stderr, "usage: %s [OUTPUT.xm] [--wav FILE.wav]\n", argv[0]);
      return 2;
    }
  }
  const XmModule module = composeModule();
  if (!xmWriteFile(module, output.c_str())) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], output.c_str());
    return 1;
  }
  if (wav) {
    std::vector<int16_t> pcm;
    if (!renderModule(xmEncode(module), pcm)) {
      std::fprintf(stderr, "%s: libxmp cannot load the module it composed\n", argv[0]);
      return 1;
    }
    if (!writeWav(pcm, wav)) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], wav);
      return 1;
    }
  }
  return 0;
}
