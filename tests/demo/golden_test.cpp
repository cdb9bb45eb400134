// Golden images of every scene, rendered at 640 x 480 with llvmpipe
// (LIBGL_ALWAYS_SOFTWARE=1) from the real pictures in Data/, at fixed
// counters, music time and flash depth, compared pixel by pixel with the
// committed PNGs in tests/demo/golden.
//
// To regenerate them after a deliberate change of the look:
//   QUENDALOOP_REGENERATE_GOLDEN=1 ctest --test-dir <build> -R demo_golden
// then look at every PNG before committing it.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "demo_fakes.h"
#include "music.h"
#include "primitives.h"
#include "render_state.h"
#include "show_context.h"
#include "timeline.h"
#include "wave_grid.h"

namespace {

constexpr int width = 640, height = 480;

struct Golden {
  const char* name;
  std::vector<uint32_t> before;  // scenes drawn first, for the state they carry
  uint32_t state;
  int32_t musicMs;
  float frameCounter;  // as the golden frame starts
  float spinAngle;
  float flashDepth;
};

// Each golden frame comes after the frames that would precede it in the
// show: the grid scenes 2 and 3 draw in outline mode from their third grid
// call on, and the flash scene inherits fog and filled mode from scene 4.
// Scene 3 is caught with its red off (a cyan grid), scene 4 with it on.
const Golden goldens[] = {
    {"state0_logo", {0}, 0, 5000, 60.0f, 48.0f, 0.0f},
    {"state1_torus", {0}, 1, 15000, 150.0f, 120.0f, 0.0f},
    {"state6_credits", {1}, 6, 25000, 222.0f, 0.0f, 0.0f},
    {"state2_grid_white", {6, 2, 2}, 2, 31000, 300.0f, 0.0f, 0.0f},
    {"state3_grid_slow_red", {3, 3}, 3, 38000, 40.5f, 0.0f, 0.0f},
    {"state4_grid_fast_red", {4}, 4, 45000, 7.5f, 0.0f, 0.0f},
    {"state5_flash", {4, 5}, 5, 50000, 40.5f, 0.0f, -20.0f},
    {"state7_black", {5}, 7, 60000, 900.0f, 0.0f, -20.0f},
};

std::string goldenPath(const char* name) { return std::string(DEMO_GOLDEN_DIR "/") + name + ".png"; }

std::vector<uint8_t> render(const Golden& g) {
  resetDemoState();
  EXPECT_TRUE(openShowContext(width, height));
  EXPECT_EQ(initRenderState(), 1);
  setMusicTime(g.musicMs);
  frameCounter = g.frameCounter - 1.5f * float(g.before.size());
  spinAngle = g.spinAngle - 1.2f * float(g.before.size());
  for (uint32_t state : g.before) {
    sceneState = state;
    renderFrame();
  }
  sceneState = g.state;
  frameCounter = g.frameCounter;
  spinAngle = g.spinAngle;
  flashDepth.store(g.flashDepth);
  renderFrame();
  std::vector<uint8_t> frame = readShowFrame(width, height);
  closeShowContext();
  return frame;
}

class GoldenFrame : public ::testing::TestWithParam<Golden> {};

}  // namespace

TEST_P(GoldenFrame, MatchesPixelForPixel) {
  const Golden& g = GetParam();
  const std::vector<uint8_t> frame = render(g);
  const std::string path = goldenPath(g.name);
  const char* regenerate = std::getenv("QUENDALOOP_REGENERATE_GOLDEN");
  if (regenerate && std::string(regenerate) == "1") {
    ASSERT_TRUE(stbi_write_png(path.c_str(), width, height, 3, frame.data(), width * 3)) << path;
    GTEST_SKIP() << "wrote " << path;
  }
  int w = 0, h = 0, channels = 0;
  stbi_uc* expected = stbi_load(path.c_str(), &w, &h, &channels, 3);
  ASSERT_NE(expected, nullptr) << "no golden image " << path;
  ASSERT_EQ(w, width);
  ASSERT_EQ(h, height);
  size_t differing = 0;
  int largest = 0;
  for (size_t i = 0; i < frame.size(); ++i) {
    const int d = std::abs(int(frame[i]) - int(expected[i]));
    differing += d != 0;
    largest = std::max(largest, d);
  }
  stbi_image_free(expected);
  if (differing != 0) {
    const std::string actual = std::string(DEMO_GOLDEN_OUT_DIR "/") + g.name + ".actual.png";
    stbi_write_png(actual.c_str(), width, height, 3, frame.data(), width * 3);
    ADD_FAILURE() << differing << " channel values differ (largest by " << largest << ") from " << path
                  << "; this frame is in " << actual;
  }
}

TEST(GoldenFrames, EveryFrameButTheLastShowsSomething) {
  for (const Golden& g : goldens) {
    const std::vector<uint8_t> frame = render(g);
    size_t lit = 0;
    for (uint8_t v : frame) lit += v > 8;
    if (g.state == 7) {
      EXPECT_EQ(lit, 0u) << g.name;
    } else {
      EXPECT_GT(lit, frame.size() / 20) << g.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, GoldenFrame, ::testing::ValuesIn(goldens),
                         [](const ::testing::TestParamInfo<Golden>& p) { return std::string(p.param.name); });
