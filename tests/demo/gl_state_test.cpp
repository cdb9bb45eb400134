// The GL state the renderer leaves behind, in a real offscreen context
// (llvmpipe), with plain-colour stand-in textures and a scripted music clock.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "demo_fakes.h"
#include "music.h"
#include "primitives.h"
#include "render_state.h"
#include "show_context.h"
#include "texture_set.h"
#include "timeline.h"
#include "torus_tube.h"
#include "wave_grid.h"

namespace {

constexpr int width = 160, height = 120;

using Matrix = std::array<float, 16>;

Matrix modelview() {
  Matrix m;
  glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
  return m;
}
std::array<float, 4> getFloats(GLenum name) {
  std::array<float, 4> v{};
  glGetFloatv(name, v.data());
  return v;
}
GLint getInt(GLenum name) {
  GLint v = 0;
  glGetIntegerv(name, &v);
  return v;
}
std::array<GLint, 2> polygonModes() {
  std::array<GLint, 2> v{};
  glGetIntegerv(GL_POLYGON_MODE, v.data());
  return v;
}
using Rgb = std::array<int, 3>;
Rgb pixel(const std::vector<uint8_t>& frame, int x, int y) {  // y from the top
  const size_t p = (size_t(y) * width + x) * 3;
  return {frame[p], frame[p + 1], frame[p + 2]};
}

class GlState : public ::testing::Test {
 protected:
  void SetUp() override {
    resetDemoState();
    setTextureSetResult(true);
    ASSERT_TRUE(openShowContext(width, height));
  }
  void TearDown() override { closeShowContext(); }
  void init() { ASSERT_EQ(initRenderState(), 1); }
};

}  // namespace

TEST_F(GlState, InitRenderStateLeavesTheFixedState) {
  init();
  EXPECT_EQ(callLog(), (std::vector<std::string>{"loadTextureSet", "startMusic"}));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(getInt(GL_SHADE_MODEL), GL_SMOOTH);
  EXPECT_EQ(getFloats(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0, 0, 0, 0.5f}));
  EXPECT_EQ(getFloats(GL_DEPTH_CLEAR_VALUE)[0], 1.0f);
  EXPECT_EQ(getInt(GL_STENCIL_CLEAR_VALUE), 0);
  EXPECT_EQ(getInt(GL_DEPTH_FUNC), GL_LEQUAL);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(getInt(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
  EXPECT_EQ(getFloats(GL_CURRENT_COLOR), (std::array<float, 4>{1, 1, 1, 0.5f}));
  EXPECT_EQ(getInt(GL_BLEND_SRC), GL_SRC_ALPHA);
  EXPECT_EQ(getInt(GL_BLEND_DST), GL_ONE);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(getInt(GL_FOG_MODE), GL_LINEAR);
  EXPECT_EQ(getFloats(GL_FOG_COLOR), (std::array<float, 4>{0, 0, 0, 1}));
  EXPECT_EQ(getFloats(GL_FOG_DENSITY)[0], 0.25f);
  EXPECT_EQ(getInt(GL_FOG_HINT), GL_NICEST);
  EXPECT_EQ(getFloats(GL_FOG_START)[0], 0.0f);
  EXPECT_EQ(getFloats(GL_FOG_END)[0], 20.0f);
  EXPECT_FALSE(glIsEnabled(GL_FOG));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlState, FailedTextureSetLeavesTheContextUntouched) {
  setTextureSetResult(false);
  EXPECT_EQ(initRenderState(), 0);
  EXPECT_EQ(callLog(), std::vector<std::string>{"loadTextureSet"});
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_EQ(getFloats(GL_COLOR_CLEAR_VALUE), (std::array<float, 4>{0, 0, 0, 0}));
  EXPECT_EQ(getInt(GL_FOG_MODE), GL_EXP);
}

TEST_F(GlState, QuadDrawnTwiceAddsOnItselfWhateverItsDepth) {
  init();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBindTexture(GL_TEXTURE_2D, 0);
  glColor3f(0.25f, 0.25f, 0.25f);
  for (float z : {-5.0f, -9.0f}) {  // the farther one is drawn last and still adds
    glLoadIdentity();
    glTranslatef(0, 0, z);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(-1, 1, 0);
    glEnd();
  }
  const Rgb centre = pixel(readShowFrame(width, height), width / 2, height / 2);
  EXPECT_NEAR(centre[0], 128, 1);
  EXPECT_EQ(centre[0], centre[2]);
}

TEST_F(GlState, BackdropAndTorusLeaveTheirTextureAndCoordinates) {
  init();
  glColor3f(0.5f, 0.5f, 0.5f);
  drawBackdrop(1);
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), textures[1]);
  EXPECT_EQ(getFloats(GL_CURRENT_TEXTURE_COORDS), (std::array<float, 4>{0, 1, 0, 1}));
  EXPECT_EQ(getFloats(GL_CURRENT_COLOR), (std::array<float, 4>{1, 1, 1, 1}));

  glColor3f(0.5f, 0.25f, 0.125f);
  drawTorusTube(8, 25);
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), textures[2]);
  std::vector<TorusVertex> strip(torusStripVertexCount(25));
  torusStripVertices(7, 8, 25, strip.data());
  const TorusVertex& last = strip.back();
  EXPECT_EQ(getFloats(GL_CURRENT_TEXTURE_COORDS), (std::array<float, 4>{last.x, last.y, last.z, 1}));
  EXPECT_EQ(getFloats(GL_CURRENT_COLOR), (std::array<float, 4>{0.5f, 0.25f, 0.125f, 1}));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlState, WaveGridTurnsFogOnBlendingOffAndRestoresTheModelview) {
  init();
  glTranslatef(1, 2, -7);
  glRotatef(30, 0, 1, 0);
  const Matrix before = modelview();
  setMusicTime(31000);
  drawWaveGrid(5, -3, 1);
  EXPECT_EQ(modelview(), before);
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), textures[4]);
  EXPECT_EQ(getFloats(GL_CURRENT_COLOR), (std::array<float, 4>{5, -3, 1, 1}));  // unclamped
  EXPECT_EQ(polygonModes(), (std::array<GLint, 2>{GL_FILL, GL_FILL}));
  EXPECT_TRUE(gridWireframe);

  glEnable(GL_BLEND);
  drawWaveGrid(1, 1, 1);  // the flag is still set: outline from now on
  EXPECT_EQ(polygonModes(), (std::array<GLint, 2>{GL_LINE, GL_LINE}));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  gridWireframe = false;
  drawWaveGrid(1, 1, 1);
  EXPECT_EQ(polygonModes(), (std::array<GLint, 2>{GL_FILL, GL_FILL}));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlState, ScenesCarryTheirStateIntoTheNextFrames) {
  init();
  setMusicTime(2000);
  renderFrame();  // the logo scene leaves lighting and blending on
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsList(cubeList));
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), textures[3]);

  sceneState = 1;
  setMusicTime(12000);
  renderFrame();  // the torus scene leaves both off
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(polygonModes(), (std::array<GLint, 2>{GL_FILL, GL_FILL}));

  sceneState = 3;
  setMusicTime(38000);
  gridWireframe = true;
  renderFrame();  // a grid in outline mode: fog stays on for the flash scene
  sceneState = 5;
  setMusicTime(50000);
  renderFrame();
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), 0u);  // the flash quad's empty slot
  EXPECT_EQ(polygonModes(), (std::array<GLint, 2>{GL_LINE, GL_LINE}));
  EXPECT_EQ(flashDepth.load(), -20.0f);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlState, StateSevenShowsOnlyTheClearColour) {
  init();
  setMusicTime(2000);
  renderFrame();
  sceneState = 7;
  setMusicTime(60000);
  renderFrame();
  const std::vector<uint8_t> frame = readShowFrame(width, height);
  for (uint8_t v : frame) ASSERT_EQ(v, 0);
}

TEST_F(GlState, FlashQuadPushedAwayByATriggerLeavesTheFrameEdgesBlack) {
  init();
  sceneState = 5;
  setMusicTime(50000);
  flashDepth.store(-20.0f);
  renderFrame();  // at rest the quad covers the full height; its lower edge is white
  const Rgb resting = pixel(readShowFrame(width, height), width / 2, height - 3);
  EXPECT_EQ(resting, (Rgb{255, 255, 255}));

  onInstrumentTrigger(musicModule, 1);  // one trigger: the plane lands on the eye
  renderFrame();
  const Rgb pushed = pixel(readShowFrame(width, height), width / 2, height - 3);
  EXPECT_EQ(pushed, (Rgb{0, 0, 0}));
  renderFrame();  // back at rest
  EXPECT_EQ(pixel(readShowFrame(width, height), width / 2, height - 3), resting);
}
