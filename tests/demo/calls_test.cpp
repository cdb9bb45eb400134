// The GL calls of the renderer, in order and with their arguments, recorded
// by the logging GL stand-in; and the timeline driven by a scripted clock.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "demo_fakes.h"
#include "music.h"
#include "primitives.h"
#include "render_state.h"
#include "texture_set.h"
#include "timeline.h"
#include "torus_tube.h"
#include "wave_grid.h"

namespace {

using Log = std::vector<std::string>;

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    resetDemoState();
    setNextListName(1);
    setTextureSetResult(true);
    ASSERT_TRUE(loadTextureSet());  // slots 0..4 = names 11..15
    callLog().clear();
  }
  const Log& log() { return callLog(); }
  int count(const std::string& line) { return int(std::count(log().begin(), log().end(), line)); }
  int countPrefix(const std::string& prefix) {
    return int(std::count_if(log().begin(), log().end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  // Lines from the first one equal to `from` up to and including `to` after it.
  Log between(const std::string& from, const std::string& to, size_t start = 0) {
    auto b = std::find(log().begin() + start, log().end(), from);
    auto e = std::find(b, log().end(), to);
    return e == log().end() ? Log{} : Log(b, e + 1);
  }
};

const std::string frameStart[] = {logLine("glClear", GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT),
                                  "glLoadIdentity", logLine("glTranslatef", 0.0f, 0.0f, -35.0f)};

}  // namespace

TEST_F(Calls, InitRenderStateLoadsStartsAndSetsTheFixedStateInOrder) {
  EXPECT_EQ(initRenderState(), 1);
  const Log expected = {
      "loadTextureSet",
      "startMusic",
      logLine("glEnable", GL_TEXTURE_2D),
      logLine("glShadeModel", GL_SMOOTH),
      logLine("glClearColor", 0.0f, 0.0f, 0.0f, 0.5f),
      logLine("glClearDepth", 1.0),
      logLine("glClearStencil", 0),
      logLine("glEnable", GL_DEPTH_TEST),
      logLine("glDepthFunc", GL_LEQUAL),
      logLine("glHint", GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST),
      logLine("glColor4f", 1.0f, 1.0f, 1.0f, 0.5f),
      logLine("glBlendFunc", GL_SRC_ALPHA, GL_ONE),
      logLine("glEnable", GL_BLEND),
      logLine("glDisable", GL_DEPTH_TEST),
      logLine("glEnable", GL_LIGHT0),
      logLine("glFogi", GL_FOG_MODE, GL_LINEAR),
      logLine("glFogfv", GL_FOG_COLOR, 0.0f, 0.0f, 0.0f, 1.0f),
      logLine("glFogf", GL_FOG_DENSITY, 0.25f),
      logLine("glHint", GL_FOG_HINT, GL_NICEST),
      logLine("glFogf", GL_FOG_START, 0.0f),
      logLine("glFogf", GL_FOG_END, 20.0f),
  };
  EXPECT_EQ(log(), expected);
}

TEST_F(Calls, InitRenderStateStopsAtAFailedTextureSet) {
  setTextureSetResult(false);
  EXPECT_EQ(initRenderState(), 0);
  EXPECT_EQ(log(), Log{"loadTextureSet"});  // no music, no GL state
}

TEST_F(Calls, BackdropIsAWhiteTexturedQuadAtDepthTwelve) {
  drawBackdrop(3);
  const Log expected = {
      logLine("glBindTexture", GL_TEXTURE_2D, 14), logLine("glBegin", GL_QUADS),
      logLine("glColor3f", 1.0f, 1.0f, 1.0f),      logLine("glTexCoord2f", 0.0f, 0.0f),
      logLine("glVertex3f", -12.0f, -9.0f, 12.0f), logLine("glTexCoord2f", 1.0f, 0.0f),
      logLine("glVertex3f", 12.0f, -9.0f, 12.0f),  logLine("glTexCoord2f", 1.0f, 1.0f),
      logLine("glVertex3f", 12.0f, 9.0f, 12.0f),   logLine("glTexCoord2f", 0.0f, 1.0f),
      logLine("glVertex3f", -12.0f, 9.0f, 12.0f),  "glEnd",
  };
  EXPECT_EQ(log(), expected);
  // The empty slot and slots outside the table bind texture 0.
  for (int slot : {5, 6, -1, 1000}) {
    callLog().clear();
    drawBackdrop(slot);
    EXPECT_EQ(log().front(), logLine("glBindTexture", GL_TEXTURE_2D, 0)) << slot;
    EXPECT_EQ(log().size(), expected.size());
  }
}

TEST_F(Calls, CubeListTakesOneNameAndRecompilesIntoIt) {
  frameCounter = 9.0f;
  buildCubeList();
  EXPECT_EQ(cubeList, 1u);
  ASSERT_GE(log().size(), 4u);
  EXPECT_EQ(log()[0], logLine("glGenLists", 2));
  EXPECT_EQ(log()[1], logLine("glNewList", 1, GL_COMPILE));
  EXPECT_EQ(log().back(), "glEndList");
  const Log compiled(log().begin() + 2, log().end() - 1);

  // The immediate cube issues exactly the compiled commands.
  callLog().clear();
  drawCube();
  EXPECT_EQ(log(), compiled);
  ASSERT_EQ(compiled.size(), size_t(kCubeCommandCount + 2));
  EXPECT_EQ(compiled.front(), logLine("glBegin", GL_QUADS));
  EXPECT_EQ(compiled[1], logLine("glNormal3f", 0.0f, 0.0f, 1.0f));  // face 1 keeps the colour
  EXPECT_EQ(compiled.back(), "glEnd");
  EXPECT_EQ(countPrefix("glColor3f"), 5);

  // Later builds keep the name and recompile with the state of the moment.
  callLog().clear();
  cubeHalfSize = -0.5f;
  buildCubeList();
  EXPECT_EQ(countPrefix("glGenLists"), 0);
  EXPECT_EQ(log()[0], logLine("glNewList", 1, GL_COMPILE));
  EXPECT_EQ(log()[3], logLine("glVertex3f", 0.5f, 0.5f, -0.5f));
}

TEST_F(Calls, CubeListWithNoNameFromGlIsSkippedAndAskedForAgain) {
  setNextListName(0);
  buildCubeList();
  EXPECT_EQ(log(), Log{logLine("glGenLists", 2)});  // nothing compiled, nothing drawn
  EXPECT_EQ(cubeList, 0u);
  callLog().clear();
  setNextListName(7);
  buildCubeList();
  EXPECT_EQ(cubeList, 7u);
  EXPECT_EQ(log()[0], logLine("glGenLists", 2));
  EXPECT_EQ(log()[1], logLine("glNewList", 7, GL_COMPILE));
}

TEST_F(Calls, FlashQuadDrawsAtTheRaisedDepthAndRestsAtMinusTwenty) {
  flashDepth.store(-20.0f);
  for (int i = 0; i < 3; ++i) onInstrumentTrigger(nullptr, 1);
  EXPECT_EQ(flashDepth.load(), 37.0f);
  drawFlashQuad();
  const Log expected = {
      "glLoadIdentity",
      logLine("glTranslatef", 0.0f, 0.0f, 37.0f),
      logLine("glBindTexture", GL_TEXTURE_2D, 0),
      logLine("glDisable", GL_LIGHTING),
      logLine("glBegin", GL_QUADS),
      logLine("glColor3f", 1.0f, 1.0f, 1.0f),
      logLine("glVertex3f", -10.0f, -10.0f, 1.0f),
      logLine("glColor3f", 1.0f, 1.0f, 1.0f),
      logLine("glVertex3f", 10.0f, -10.0f, 1.0f),
      logLine("glColor3f", 1.0f, 1.0f, 0.0f),
      logLine("glVertex3f", 10.0f, 10.0f, 1.0f),
      logLine("glColor3f", 1.0f, 1.0f, 1.0f),
      logLine("glVertex3f", -10.0f, 10.0f, 1.0f),
      "glEnd",
  };
  EXPECT_EQ(log(), expected);
  EXPECT_EQ(flashDepth.load(), -20.0f);
  callLog().clear();
  drawFlashQuad();
  EXPECT_EQ(log()[1], logLine("glTranslatef", 0.0f, 0.0f, -20.0f));
}

TEST_F(Calls, TorusIssuesEightStripsWithTexCoordsLaggingOneVertex) {
  drawTorusTube(8, 25);
  ASSERT_FALSE(log().empty());
  EXPECT_EQ(log()[0], logLine("glBindTexture", GL_TEXTURE_2D, 13));
  EXPECT_EQ(count(logLine("glBegin", GL_TRIANGLE_STRIP)), 8);
  EXPECT_EQ(count("glEnd"), 8);
  EXPECT_EQ(countPrefix("glVertex3f"), 8 * 156);
  EXPECT_EQ(countPrefix("glTexCoord3f"), 8 * 156);
  EXPECT_EQ(log().size(), size_t(1 + 8 * (2 + 2 * 156)));
  // Every texture coordinate repeats the vertex just issued.
  std::vector<TorusVertex> strip(156);
  size_t line = 1;
  for (int i = 0; i < 8; ++i) {
    torusStripVertices(i, 8, 25, strip.data());
    EXPECT_EQ(log()[line++], logLine("glBegin", GL_TRIANGLE_STRIP));
    for (const TorusVertex& v : strip) {
      EXPECT_EQ(log()[line++], logLine("glVertex3f", v.x, v.y, v.z));
      EXPECT_EQ(log()[line++], logLine("glTexCoord3f", v.x, v.y, v.z));
    }
    EXPECT_EQ(log()[line++], "glEnd");
  }
}

TEST_F(Calls, TorusWithNoRingsOrSegmentsOnlyBindsItsTexture) {
  for (auto [rings, segments] : {std::pair{0, 25}, {-2, 25}, {8, 0}, {8, -1}}) {
    callLog().clear();
    drawTorusTube(rings, segments);
    EXPECT_EQ(log(), Log{logLine("glBindTexture", GL_TEXTURE_2D, 13)});
  }
}

TEST_F(Calls, WaveGridDrawsThirtyTwoQuadStripsUnderItsOwnMatrix) {
  scriptMusicTimes({1000, 1010});
  drawWaveGrid(5, -3, 1);
  EXPECT_EQ(musicTimeReads(), 2);
  EXPECT_EQ(gridTime, 20.0f);  // first call: only this reading counts
  EXPECT_EQ(gridLastMusicTime, 1010u);
  const Log head = {logLine("glColor3f", 5.0f, -3.0f, 1.0f), "glPushMatrix", "glLoadIdentity",
                    logLine("glTranslatef", 0.0f, 0.0f, -3.2f), logLine("glEnable", GL_FOG)};
  ASSERT_GT(log().size(), head.size());
  EXPECT_EQ(Log(log().begin(), log().begin() + 5), head);
  const Log tail = {"glPopMatrix", logLine("glDisable", GL_BLEND),
                    logLine("glPolygonMode", GL_FRONT, GL_FILL), logLine("glPolygonMode", GL_BACK, GL_FILL)};
  EXPECT_EQ(Log(log().end() - 4, log().end()), tail);
  EXPECT_EQ(log().size(), size_t(5 + 32 * (3 + 2 * 128) + 4));

  // Each strip binds slot 4 again, then pairs corner (i, j), (i+1, j), (i+1, j+1), (i, j+1).
  size_t line = 5;
  for (int i = 0; i < 32; ++i) {
    ASSERT_EQ(log()[line++], logLine("glBindTexture", GL_TEXTURE_2D, 15));
    ASSERT_EQ(log()[line++], logLine("glBegin", GL_QUAD_STRIP));
    for (int j = 0; j < 32; ++j) {
      const int corner[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
      for (const auto& c : corner) {
        const GridTexCoord& tc = gridTexCoords[c[0]][c[1]];
        const GridVertex& p = gridVertices[c[0]][c[1]];
        ASSERT_EQ(log()[line++], logLine("glTexCoord2f", tc.u, tc.v));
        ASSERT_EQ(log()[line++], logLine("glVertex3f", p.x, p.y, p.z));
      }
    }
    ASSERT_EQ(log()[line++], "glEnd");
  }
  EXPECT_TRUE(gridWireframe);

  // The second call adds the previous second reading and ends in outline mode.
  callLog().clear();
  scriptMusicTimes({2000, 2020});
  drawWaveGrid(1, 1, 1);
  EXPECT_EQ(gridTime, float((2000 + 1010) / 50));
  EXPECT_EQ(gridLastMusicTime, 2020u);
  EXPECT_EQ(log()[log().size() - 2], logLine("glPolygonMode", GL_FRONT, GL_LINE));
  EXPECT_EQ(log().back(), logLine("glPolygonMode", GL_BACK, GL_LINE));
}

TEST_F(Calls, WaveGridClockStandsStillWithTheMusic) {
  setMusicTime(4000);
  drawWaveGrid(1, 1, 1);
  EXPECT_EQ(gridTime, 80.0f);
  for (int i = 0; i < 3; ++i) {
    drawWaveGrid(1, 1, 1);
    EXPECT_EQ(gridTime, 160.0f);
  }
}

TEST_F(Calls, FrameBeginsWithClearIdentityCameraAndOneClockReading) {
  for (uint32_t state : {0u, 1u, 6u, 5u, 7u}) {
    resetDemoState();
    sceneState = state;
    setMusicTime(state == 0 ? 1000 : 60000);
    EXPECT_EQ(renderFrame(), 1);
    ASSERT_GE(log().size(), 3u);
    EXPECT_EQ(Log(log().begin(), log().begin() + 3), Log(std::begin(frameStart), std::end(frameStart)));
    EXPECT_EQ(musicTimeReads(), 1) << state;
  }
}

TEST_F(Calls, StateSevenDrawsOnlyTheClearedFrameWhileCountersAdvance) {
  sceneState = 7;
  setMusicTime(120000);
  renderFrame();
  EXPECT_EQ(log(), Log(std::begin(frameStart), std::end(frameStart)));
  EXPECT_EQ(sceneState, 7u);
  EXPECT_EQ(frameCounter, 1.5f);
  EXPECT_EQ(spinAngle, 1.2f);
}

TEST_F(Calls, FirstFrameDrawsTheLogoSceneWithoutWobbleOrRotation) {
  setMusicTime(0);
  renderFrame();
  const Log head = {logLine("glDisable", GL_LIGHTING), logLine("glColor3f", 1.0f, 1.0f, 1.0f),
                    logLine("glTranslatef", 0.0f, 0.0f, 0.0f), logLine("glBindTexture", GL_TEXTURE_2D, 14)};
  EXPECT_EQ(Log(log().begin() + 3, log().begin() + 7), head);
  EXPECT_EQ(count(logLine("glRotatef", 0.0f, 1.0f, 0.0f, 0.0f)), 8);
  EXPECT_EQ(count(logLine("glRotatef", 0.0f, 0.0f, 1.0f, 0.0f)), 8);
  EXPECT_EQ(count(logLine("glRotatef", 0.0f, 0.0f, 0.0f, 0.0f)), 8);
}

TEST_F(Calls, LogoSceneCompilesOnceAndCallsTheListSixteenTimesOnAChainedTransform) {
  frameCounter = 6.0f;
  spinAngle = 25.2f;
  renderFrame();
  const double fc = 6.0;
  EXPECT_EQ(log()[5], logLine("glTranslatef", 0.0f, float(double(0.1f) * std::sin(fc)), 0.0f));
  // The widened single-precision factor is what makes this value.
  EXPECT_NE(float(double(0.1f) * std::sin(fc)), float(0.1 * std::sin(fc)));
  EXPECT_EQ(count(logLine("glGenLists", 2)), 1);
  EXPECT_EQ(count(logLine("glNewList", 1, GL_COMPILE)), 1);
  EXPECT_EQ(count(logLine("glCallList", 1)), 16);
  // The list is compiled after the backdrop and lighting, before the passes.
  const auto at = [&](const std::string& l) {
    return std::find(log().begin(), log().end(), l) - log().begin();
  };
  EXPECT_LT(at("glEnd"), at(logLine("glEnable", GL_LIGHTING)));
  EXPECT_LT(at(logLine("glEnable", GL_LIGHTING)), at(logLine("glNewList", 1, GL_COMPILE)));
  const Log pass = {logLine("glEnable", GL_LIGHTING),
                    logLine("glEnable", GL_BLEND),
                    logLine("glTranslatef", 0.0f, 0.0f, 2.5f),
                    logLine("glRotatef", 6.0f, 1.0f, 0.0f, 0.0f),
                    logLine("glRotatef", 25.2f, 0.0f, 1.0f, 6.0f),
                    logLine("glCallList", 1),
                    logLine("glRotatef", 6.0f, 0.0f, 0.0f, 6.0f),
                    logLine("glCallList", 1)};
  const size_t first = at("glEndList") + 1;
  ASSERT_EQ(log().size(), first + 8 * pass.size());
  for (int p = 0; p < 8; ++p)
    EXPECT_EQ(Log(log().begin() + first + p * pass.size(), log().begin() + first + (p + 1) * pass.size()),
              pass);
}

TEST_F(Calls, TorusSceneSetsItsTransformsColourAndModes) {
  sceneState = 1;
  setMusicTime(15000);
  frameCounter = 7.5f;
  renderFrame();
  const double fc = 7.5;
  // The wobble's factor is the single-precision 0.2 widened, which shows here.
  EXPECT_NE(float(double(0.2f) * std::sin(fc / 2)), float(0.2 * std::sin(fc / 2)));
  const Log head = {
      logLine("glTranslatef", 0.0f, float(double(0.2f) * std::sin(fc / 2)), 0.0f),
      logLine("glPolygonMode", GL_BACK, GL_FILL),
      logLine("glPolygonMode", GL_FRONT, GL_FILL),
      logLine("glTranslatef", 0.0f, 0.0f, -5.0f),
      logLine("glDisable", GL_LIGHTING),
      logLine("glBindTexture", GL_TEXTURE_2D, 11),
  };
  EXPECT_EQ(Log(log().begin() + 3, log().begin() + 9), head);
  const Log afterBackdrop = {
      logLine("glTranslatef", float(2 * std::sin(fc / 20)), 0.0f, float(2 * std::sin(fc / 10) + 30)),
      logLine("glRotatef", 7.5f, 0.0f, 1.0f, 0.0f),
      logLine("glRotatef", 7.5f, 1.0f, 0.0f, 1.0f),
      logLine("glRotatef", 7.5f, 1.0f, 0.0f, float(std::sin(fc / 20))),
      logLine("glDisable", GL_BLEND),
      logLine("glColor3f", 5.0f, 0.2f, 0.2f),
      logLine("glDisable", GL_LIGHTING),
      logLine("glBindTexture", GL_TEXTURE_2D, 13),
  };
  EXPECT_EQ(Log(log().begin() + 20, log().begin() + 28), afterBackdrop);
  EXPECT_EQ(count(logLine("glBegin", GL_TRIANGLE_STRIP)), 8);
  EXPECT_EQ(sceneState, 1u);
}

TEST_F(Calls, CreditsSceneClearsTheOutlineFlagAndResetsTheCamera) {
  sceneState = 6;
  gridWireframe = true;
  setMusicTime(25000);
  renderFrame();
  const Log scene = {
      logLine("glDisable", GL_LIGHTING),
      logLine("glColor3f", 1.0f, 1.0f, 1.0f),
      logLine("glPolygonMode", GL_BACK, GL_FILL),
      logLine("glPolygonMode", GL_FRONT, GL_FILL),
      "glLoadIdentity",
      logLine("glTranslatef", 0.0f, 0.0f, -35.0f),
      logLine("glBindTexture", GL_TEXTURE_2D, 12),
  };
  EXPECT_EQ(Log(log().begin() + 3, log().begin() + 10), scene);
  EXPECT_EQ(log().size(), size_t(3 + 6 + 12));
  EXPECT_FALSE(gridWireframe);
}

TEST_F(Calls, GridScenesPassTheirColoursAndScene4EndsFilledBetweenBlendSwitches) {
  // Scene 2: white, outline after the second call.
  sceneState = 2;
  setMusicTime(30000);
  renderFrame();
  EXPECT_EQ(log()[3], logLine("glColor3f", 1.0f, 1.0f, 1.0f));
  EXPECT_EQ(musicTimeReads(), 3);
  callLog().clear();
  renderFrame();
  EXPECT_EQ(log().back(), logLine("glPolygonMode", GL_BACK, GL_LINE));

  // Scene 3: red is 5 sin(fc / 10) truncated toward zero.
  for (float fc : {3.0f, 49.5f, 33.0f, 15.0f}) {
    callLog().clear();
    sceneState = 3;
    setMusicTime(38000);
    frameCounter = fc;
    renderFrame();
    const double red = 5 * std::sin(double(fc) / 10);
    EXPECT_EQ(log()[3], logLine("glColor3f", float(int(red)), 1.0f, 1.0f)) << red;
  }
  // fc 49.5 gives -4.87..., which becomes -4, not -5.
  EXPECT_EQ(int(5 * std::sin(49.5 / 10)), -4);

  // Scene 4: blending off around the grid, the flag cleared so it ends filled.
  callLog().clear();
  sceneState = 4;
  gridWireframe = true;
  setMusicTime(45000);
  frameCounter = 7.5f;
  renderFrame();
  EXPECT_EQ(log()[3], logLine("glDisable", GL_BLEND));
  EXPECT_EQ(log()[4], logLine("glColor3f", float(int(5 * std::sin(7.5))), 1.0f, 1.0f));
  const Log tail = {logLine("glDisable", GL_BLEND), logLine("glPolygonMode", GL_FRONT, GL_FILL),
                    logLine("glPolygonMode", GL_BACK, GL_FILL), logLine("glEnable", GL_BLEND)};
  EXPECT_EQ(Log(log().end() - 4, log().end()), tail);
}

TEST_F(Calls, FlashSceneDrawsTheQuadThenThreeCubesAndResizesTheNextOnes) {
  sceneState = 5;
  setMusicTime(50000);
  frameCounter = 40.5f;
  cubeHalfSize = 1.0f;
  flashDepth.store(19.0f);
  renderFrame();
  const double fc = 40.5;
  EXPECT_EQ(log()[4], logLine("glTranslatef", 0.0f, 0.0f, 19.0f));
  const Log afterQuad = {
      "glLoadIdentity",
      logLine("glTranslatef", 0.0f, 0.0f, -10.0f),
      logLine("glRotatef", 40.5f, 0.0f, 1.0f, 0.0f),
      logLine("glRotatef", 40.5f, 1.0f, 0.0f, 1.0f),
      logLine("glRotatef", 40.5f, 1.0f, 0.0f, float(std::sin(fc / 20))),
      logLine("glEnable", GL_BLEND),
      logLine("glColor3f", float(5 * std::sin(fc)), 0.2f, 0.2f),
      logLine("glBegin", GL_QUADS),
  };
  EXPECT_EQ(Log(log().begin() + 17, log().begin() + 25), afterQuad);
  EXPECT_EQ(count(logLine("glBegin", GL_QUADS)), 4);  // the quad and three cubes
  // Drawn at the old size: the corner (-1, -1, 1) belongs to three faces of each cube.
  EXPECT_EQ(count(logLine("glVertex3f", -1.0f, -1.0f, 1.0f)), 9);
  EXPECT_EQ(cubeHalfSize, float(2 * std::sin(fc)));
  EXPECT_EQ(flashDepth.load(), -20.0f);
}

TEST_F(Calls, TimelineThresholdsChooseTheNextFramesScene) {
  struct Step {
    int32_t ms;
    uint32_t before, after;
  } steps[] = {{10999, 0, 0}, {11000, 0, 1}, {22000, 1, 1}, {23000, 1, 6}, {28999, 6, 6},
               {29000, 6, 2}, {36999, 2, 2}, {37000, 2, 3}, {40999, 3, 3}, {41000, 3, 4},
               {48999, 4, 4}, {49000, 4, 5}, {56999, 5, 5}, {57000, 5, 7}, {-999, 7, 7}};
  for (const Step& s : steps) {
    sceneState = s.before;
    setMusicTime(s.ms);
    renderFrame();
    EXPECT_EQ(sceneState, s.after) << s.ms;
    EXPECT_EQ(musicSeconds, float(s.ms / 1000));
  }
}

TEST_F(Calls, MusicFallingBackToTenSecondsKeepsDrawingTheCurrentScene) {
  sceneState = 6;
  for (int32_t ms : {300, 5000, 10999}) {
    callLog().clear();
    setMusicTime(ms);
    renderFrame();
    EXPECT_EQ(sceneState, 6u);
    EXPECT_EQ(log()[9], logLine("glBindTexture", GL_TEXTURE_2D, 12));  // the credits again
  }
  setMusicTime(11000);
  renderFrame();
  EXPECT_EQ(sceneState, 1u);
}

TEST_F(Calls, CountersAdvanceByFixedStepsPerFrame) {
  sceneState = 7;
  setMusicTime(90000);
  float spin = 0.0f;
  for (int n = 1; n <= 1000; ++n) {
    renderFrame();
    spin += 1.2f;
    ASSERT_EQ(frameCounter, 1.5f * float(n));
    ASSERT_EQ(spinAngle, spin);
  }
  EXPECT_NE(spinAngle, 1200.0f);  // rounding after every addition shows
}
