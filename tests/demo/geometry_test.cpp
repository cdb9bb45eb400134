// The renderer's geometry as data: the cube's commands, the torus strips and
// the wave grid's clock and tables, and the timeline's choice of scene.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "primitives.h"
#include "timeline.h"
#include "torus_tube.h"
#include "wave_grid.h"

namespace {

struct Vec {
  double x, y, z;
};
Vec sub(const CubeCommand& a, const CubeCommand& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, const CubeCommand& n) { return a.x * n.x + a.y * n.y + a.z * n.z; }

// The commands of one face: its normal and four vertices, skipping the colour.
struct Face {
  CubeCommand normal;
  CubeCommand corners[4];
};
std::vector<Face> faces(const CubeCommand* c) {
  std::vector<Face> out;
  for (int i = 0; i < kCubeCommandCount; ++i) {
    if (c[i].kind != kCubeNormal) continue;
    Face f{c[i], {c[i + 1], c[i + 2], c[i + 3], c[i + 4]}};
    out.push_back(f);
  }
  return out;
}
// Winding seen from outside the cube (from beyond the face's centre):
// positive = counter-clockwise.
double winding(const Face& f) {
  const Vec turn = cross(sub(f.corners[1], f.corners[0]), sub(f.corners[2], f.corners[1]));
  CubeCommand centre{kCubeVertex, 0, 0, 0};
  for (const CubeCommand& v : f.corners) {
    centre.x += v.x / 4;
    centre.y += v.y / 4;
    centre.z += v.z / 4;
  }
  return dot(turn, centre);
}

}  // namespace

TEST(CubeCommands, ColourNormalAndFourVerticesPerFace) {
  CubeCommand c[kCubeCommandCount];
  cubeCommands(1.0f, 0.0f, c);
  // Face 1 takes the current colour; faces 2 to 6 start with their own.
  EXPECT_EQ(c[0].kind, kCubeNormal);
  int colours = 0, normals = 0, vertices = 0;
  for (const CubeCommand& cmd : c) {
    colours += cmd.kind == kCubeColor;
    normals += cmd.kind == kCubeNormal;
    vertices += cmd.kind == kCubeVertex;
  }
  EXPECT_EQ(colours, 5);
  EXPECT_EQ(normals, 6);
  EXPECT_EQ(vertices, 24);
  EXPECT_EQ(c[kCubeCommandCount - 5].kind, kCubeNormal);
}

TEST(CubeCommands, PositiveHalfSizeWindsEveryFaceOutwardCounterClockwise) {
  CubeCommand c[kCubeCommandCount];
  cubeCommands(1.5f, 0.0f, c);
  for (const Face& f : faces(c)) {
    EXPECT_GT(winding(f), 0.0);
    for (const CubeCommand& v : f.corners) {
      EXPECT_EQ(std::fabs(v.x), 1.5f);
      EXPECT_EQ(std::fabs(v.y), 1.5f);
      EXPECT_EQ(std::fabs(v.z), 1.5f);
      // Every corner lies on the side of the cube its face's normal names.
      EXPECT_GT(dot({v.x, v.y, v.z}, f.normal), 0.0);
    }
  }
}

TEST(CubeCommands, ZeroHalfSizeCollapsesToAPoint) {
  CubeCommand c[kCubeCommandCount];
  cubeCommands(0.0f, 3.0f, c);
  for (const CubeCommand& cmd : c) {
    if (cmd.kind != kCubeVertex) continue;
    EXPECT_EQ(cmd.x, 0.0f);
    EXPECT_EQ(cmd.y, 0.0f);
    EXPECT_EQ(cmd.z, 0.0f);
  }
}

TEST(CubeCommands, NegativeHalfSizeMirrorsFacesAndKeepsNormals) {
  CubeCommand positive[kCubeCommandCount], negative[kCubeCommandCount];
  cubeCommands(2.0f, 1.0f, positive);
  cubeCommands(-2.0f, 1.0f, negative);
  for (int i = 0; i < kCubeCommandCount; ++i) {
    ASSERT_EQ(positive[i].kind, negative[i].kind);
    if (positive[i].kind == kCubeVertex) {
      EXPECT_EQ(negative[i].x, -positive[i].x);
      EXPECT_EQ(negative[i].y, -positive[i].y);
      EXPECT_EQ(negative[i].z, -positive[i].z);
    } else {  // colours and normals do not depend on the size
      EXPECT_EQ(negative[i].x, positive[i].x);
      EXPECT_EQ(negative[i].y, positive[i].y);
      EXPECT_EQ(negative[i].z, positive[i].z);
    }
  }
  for (const Face& f : faces(negative)) EXPECT_LT(winding(f), 0.0);  // now clockwise
}

TEST(CubeCommands, OnlyBlueIsAnimatedFollowingTheCounter) {
  CubeCommand c[kCubeCommandCount];
  cubeCommands(1.0f, 0.0f, c);
  for (const CubeCommand& cmd : c) {
    if (cmd.kind == kCubeColor) {
      EXPECT_EQ(cmd.z, 0.0f);  // all black at counter 0
    }
  }

  // The factors are single-precision values widened to double; each of
  // these counters shows the difference for at least one face.
  const double divisors[5] = {20, 16, 12, 8, 4};
  const double factors[5] = {double(0.2f), double(0.4f), double(0.6f), double(0.8f), 1.0};
  for (float fc : {1.5f, 3.0f, 7.5f, 100.5f}) {
    cubeCommands(1.0f, fc, c);
    int face = 0;
    for (const CubeCommand& cmd : c) {
      if (cmd.kind != kCubeColor) continue;
      EXPECT_EQ(cmd.x, 0.0f);
      EXPECT_EQ(cmd.y, 0.0f);
      EXPECT_EQ(cmd.z, float(factors[face] * std::sin(double(fc) / divisors[face]))) << face;
      ++face;
    }
  }
}

TEST(TorusStrips, EightStripsOf156VerticesForTheShowsArguments) {
  EXPECT_EQ(torusStripVertexCount(25), 156);
  EXPECT_EQ(torusStripVertexCount(1), 12);
  EXPECT_EQ(torusStripVertexCount(0), 0);
  EXPECT_EQ(torusStripVertexCount(-3), 0);
}

TEST(TorusStrips, EachStripRepeatsItsFirstSixVerticesAtTheEnd) {
  std::vector<TorusVertex> v(156);
  for (int strip = 0; strip < 8; ++strip) {
    torusStripVertices(strip, 8, 25, v.data());
    for (int n = 0; n < 6; ++n) {
      EXPECT_EQ(v[150 + n].x, v[n].x);
      EXPECT_EQ(v[150 + n].y, v[n].y);
      EXPECT_EQ(v[150 + n].z, v[n].z);
    }
  }
}

TEST(TorusStrips, TheTubeClosesAndNeighbouringStripsShareTheirSeam) {
  std::vector<TorusVertex> a(156), b(156);
  for (int strip = 0; strip < 8; ++strip) {
    torusStripVertices(strip, 8, 25, a.data());
    torusStripVertices((strip + 1) % 8, 8, 25, b.data());
    // The outer cross-section (first three of each step) of one strip is the
    // inner one (last three) of the next; for the last strip that is strip 0.
    for (int step = 0; step < 26; ++step)
      for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(a[step * 6 + r].x, b[step * 6 + 3 + r].x);
        EXPECT_EQ(a[step * 6 + r].y, b[step * 6 + 3 + r].y);
        EXPECT_EQ(a[step * 6 + r].z, b[step * 6 + 3 + r].z);
      }
  }
}

TEST(TorusStrips, CrossSectionsSitHalfAStepOffTheAxesWithThreeRadii) {
  std::vector<TorusVertex> v(156);
  torusStripVertices(0, 8, 25, v.data());
  // Step j = 0 lies on the x axis (main angle 0): x = cos(a) * r + 1, z = sin(a) / 2.
  const double pi = std::acos(-1.0);
  const double outer = 1.5 * pi / 4, inner = 0.5 * pi / 4;  // 67.5 and 22.5 degrees
  EXPECT_NEAR(v[0].z, std::sin(outer) * 0.5, 1e-6);
  EXPECT_NEAR(v[3].z, std::sin(inner) * 0.5, 1e-6);
  EXPECT_NEAR(v[0].x, std::cos(outer) * 0.5 + 1, 1e-6);
  EXPECT_NEAR(v[4].x, std::cos(inner) * 0.2 + 1, 1e-6);
  EXPECT_NEAR(v[5].x, std::cos(inner) * 0.7 + 1, 1e-6);
  for (int step = 0; step < 26; ++step)
    for (int k = 0; k < 2; ++k) {
      const TorusVertex* t = &v[step * 6 + k * 3];
      EXPECT_EQ(t[0].z, t[1].z);
      EXPECT_EQ(t[0].z, t[2].z);
      // Distance from the main circle, in the plane of the cross-section.
      auto off = [](const TorusVertex& p) { return std::fabs(std::hypot(p.x, p.y) - 1); };
      EXPECT_LT(off(t[1]), off(t[0]));
      EXPECT_LT(off(t[0]), off(t[2]));
    }
  // Strip 4 spans the tube angles of steps 4.5 and 5.5 of 8, where cos is
  // negative: its 0.7 vertices lie inside the main circle.
  torusStripVertices(4, 8, 25, v.data());
  EXPECT_LT(std::hypot(v[5].x, v[5].y), 1.0);
}

TEST(TorusStrips, CoordinatesAreRoundedToFloatOnlyAtTheEnd) {
  std::vector<TorusVertex> v(156);
  const double radii[3] = {0.5, 0.2, 0.7};
  int wrong = 0;
  for (int strip = 0; strip < 8; ++strip) {
    torusStripVertices(strip, 8, 25, v.data());
    for (int n = 0; n < 156; ++n) {
      const int j = n / 6, k = 1 - (n % 6) / 3;
      const double a = (((strip + k) % 8) + 0.5) * 6.283185308 / 8;
      const double b = (j % 25) * 6.283185308 / 25;
      const double r = radii[n % 3];
      wrong += v[n].x != float(std::cos(b) * (std::cos(a) * r + 1)) ||
               v[n].y != float(std::sin(b) * (std::cos(a) * r + 1)) || v[n].z != float(std::sin(a) * 0.5);
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(TorusStrips, MainAngleRunsOnceAroundTheCircle) {
  std::vector<TorusVertex> v(156);
  torusStripVertices(2, 8, 25, v.data());
  const double pi = std::acos(-1.0);
  for (int step = 0; step < 25; ++step) {
    const double b = std::atan2(v[step * 6].y, v[step * 6].x);
    const double expected = std::remainder(step * 2 * pi / 25, 2 * pi);
    EXPECT_NEAR(std::remainder(b - expected, 2 * pi), 0.0, 1e-5) << step;
  }
}

TEST(GridClock, SumsBothReadingsAndDividesBy50) {
  EXPECT_EQ(gridClock(1000, 0), 20.0f);  // the first call of a run: half speed
  EXPECT_EQ(gridClock(1000, 1000), 40.0f);
  EXPECT_EQ(gridClock(1049, 0), 20.0f);  // truncated
  EXPECT_EQ(gridClock(0, 0), 0.0f);
  // The sum wraps in unsigned 32-bit arithmetic.
  EXPECT_EQ(gridClock(-1, 100), 1.0f);
  EXPECT_EQ(gridClock(INT32_MAX, 0x80000001u), 0.0f);
  EXPECT_EQ(gridClock(INT32_MAX, 0x80000000u), float(0xFFFFFFFFu / 50u));
  // Negative readings turn into large unsigned values.
  EXPECT_EQ(gridClock(-50, 0), float((0xFFFFFFFFu - 49u) / 50u));
}

namespace {
GridTexCoord texCoords[kGridRowStride][kGridRowStride];
GridVertex vertices[kGridRowStride][kGridRowStride];
}  // namespace

TEST(GridTables, MouthRingIsACircleOfRadiusThreeOnTheAxisAtAnyTime) {
  for (float t : {0.0f, 1.0f, 40.0f, 2345.0f, 85899344.0f}) {
    fillGridTables(t, texCoords, vertices);
    for (int i = 0; i < kGridSize; ++i) {
      const GridVertex& p = vertices[i][0];
      EXPECT_NEAR(std::hypot(p.x, p.y), 3.0, 1e-5) << "t " << t << " row " << i;
      EXPECT_EQ(p.z, 0.0f);
      EXPECT_NEAR(std::atan2(p.y, p.x), std::remainder(i * double(0.19634955f), 2 * std::acos(-1.0)), 1e-5);
    }
  }
}

TEST(GridTables, FarRingHasScaleOneThirdAndRingsStepBackOneUnit) {
  for (float t : {0.0f, 77.0f, 4000.0f}) {
    fillGridTables(t, texCoords, vertices);
    // Rows 0 and 16 sit half a turn apart: their distance is twice the radius.
    for (int j = 0; j < kGridSize; ++j) {
      const GridVertex& a = vertices[0][j];
      const GridVertex& b = vertices[16][j];
      const double scale = double(float(3 - j / 12.0));
      EXPECT_NEAR(std::hypot(a.x - b.x, a.y - b.y), 2 * scale, 1e-5) << j;
      EXPECT_EQ(a.z, float(-j));
    }
    EXPECT_EQ(float(3 - 32 / 12.0), float(1.0 / 3.0));
  }
}

TEST(GridTables, DeeperRingsSwayWithTheDelayedClock) {
  fillGridTables(100.0f, texCoords, vertices);
  // Centre of ring j: mean of rows 0 and 16.
  const double cx = (vertices[0][20].x + vertices[16][20].x) / 2;
  const double cy = (vertices[0][20].y + vertices[16][20].y) / 2;
  const double t = 100, w = t + 20 * 0.4, s = double(float(3 - 20 / 12.0));
  const double sx = 2 * std::sin(w / 29) + std::cos(w / 13) - 2 * std::sin(t / 29) - std::cos(t / 13);
  const double sy = 2 * std::cos(w / 33) + std::sin(w / 17) - 2 * std::cos(t / 33) - std::sin(t / 17);
  EXPECT_NEAR(cx, sx * s, 1e-5);
  EXPECT_NEAR(cy, sy * s, 1e-5);
  EXPECT_GT(std::hypot(cx, cy), 0.01);
}

TEST(GridTables, TextureCoordinatesSwirlAroundAndRunAlongTheTunnel) {
  fillGridTables(60.0f, texCoords, vertices);
  for (int i = 0; i < kGridSize; ++i)
    for (int j = 0; j < kGridSize; ++j) {
      const double t = 60;
      EXPECT_NEAR(texCoords[i][j].u, std::cos((t * 3 + j * 8) / 60) / 2 + i / 32.0, 1e-6);
      EXPECT_NEAR(texCoords[i][j].v, std::sin(t * 0.1 + j) / 120 + j / 32.0, 1e-6);
    }
  // One texture width once around, 0 to 1 along the depth (up to the ripple).
  EXPECT_NEAR(texCoords[32][5].u - texCoords[0][5].u, 1.0, 1e-6);
  EXPECT_NEAR(texCoords[0][32].v - texCoords[0][0].v, 1.0, 2.0 / 120);
}

TEST(GridTables, ValuesAreRoundedToFloatOnlyWhereStored) {
  // Double precision throughout; only the clock, the scale, the row step and
  // the stored entries are single precision.
  for (float t : {37.0f, 1240.0f}) {
    fillGridTables(t, texCoords, vertices);
    const double td = t;
    int wrong = 0;
    for (int i = 0; i < kGridSize; ++i)
      for (int j = 0; j < kGridSize; ++j) {
        const double s = float(3 - j / 12.0);
        const double a = i * double(float(std::acos(-1.0) / 16));
        const double w = td + j * 0.4;
        const float x = float((2 * std::sin(w / 29) + std::cos(a) + std::cos(w / 13) - 2 * std::sin(td / 29) -
                               std::cos(td / 13)) *
                              s);
        const float y = float((2 * std::cos(w / 33) + std::sin(a) + std::sin(w / 17) - 2 * std::cos(td / 33) -
                               std::sin(td / 17)) *
                              s);
        const float u = float(std::cos((td * 3 + j * 8) / 60) / 2 + i / 32.0);
        const float v = float(std::sin(td * 0.1 + j) / 120 + j / 32.0);
        wrong += vertices[i][j].x != x || vertices[i][j].y != y || texCoords[i][j].u != u ||
                 texCoords[i][j].v != v;
      }
    EXPECT_EQ(wrong, 0) << "t " << t;
  }
}

TEST(NextSceneState, ThresholdsInWholeSecondsInShowOrder) {
  struct Case {
    float seconds;
    uint32_t expected;
  } cases[] = {{11, 1}, {22, 1}, {23, 6}, {28, 6}, {29, 2}, {36, 2}, {37, 3},
               {40, 3}, {41, 4}, {48, 4}, {49, 5}, {56, 5}, {57, 7}, {1e6f, 7}};
  for (const Case& c : cases) EXPECT_EQ(nextSceneState(c.seconds, 0), c.expected) << c.seconds;
  // A time of 10 s or less keeps whatever state there is.
  for (uint32_t state : {0u, 1u, 6u, 2u, 5u, 7u}) {
    EXPECT_EQ(nextSceneState(10, state), state);
    EXPECT_EQ(nextSceneState(0, state), state);
    EXPECT_EQ(nextSceneState(-3, state), state);
  }
  // A jump lands directly on the state of the new time.
  EXPECT_EQ(nextSceneState(50, 0), 5u);
  EXPECT_EQ(nextSceneState(12, 7), 1u);
}
