// The layer's GL 1.1 state and the routines its files share.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// A debug build stops on a value outside the show's subset, naming the call;
// a release build ignores the call, as GL ignores a call with an error.
#define GL11ES_REQUIRE(condition, call)                        \
  do {                                                         \
    if (!gl11esSupported(condition, call, #condition)) return; \
  } while (0)
[[noreturn]] void gl11esUnsupported(const char* call, const char* condition);
inline bool gl11esSupported(bool condition, const char* call, const char* text) {
#ifndef NDEBUG
  if (!condition) gl11esUnsupported(call, text);
#endif
  return condition;
}

// A 4x4 matrix, column by column as GL keeps it (OpenGL 1.1, section 2.10.2).
struct Matrix {
  float m[16];
};
Matrix identityMatrix();
Matrix multiply(const Matrix& a, const Matrix& b);  // a * b

// One vertex as the layer stores it: the position and the current values it
// took (OpenGL 1.1, section 2.6). In a display list, `inherit` is 1 for each
// of colour, normal and texture coordinate that the list had not set before
// this vertex: that value is the current one when the list is called.
struct Vertex {
  float position[3];
  float color[4];
  float normal[3];
  float texCoord[2];  // s, t: the show's q is always 1 and r plays no part in 2D texturing
  float inherit[3];   // colour, normal, texture coordinate
};

// The current colour, normal and texture coordinate (OpenGL 1.1, section 2.7).
struct CurrentValues {
  float color[4];
  float normal[3];
  float texCoord[2];
};

// Geometry ready to draw: vertices with triangle indices for filled polygons,
// in two orders (see addPolygons in vertices.cpp), and line indices for
// polygons drawn as lines.
struct Geometry {
  std::vector<Vertex> vertices;
  std::vector<uint16_t> triangles;         // for polygons wholly inside the view volume
  std::vector<uint16_t> clippedTriangles;  // for polygons that reach outside it
  std::vector<uint16_t> lines;
};

// A display list compiled into buffers of its own (OpenGL 1.1, section 5.4).
struct DisplayList {
  Geometry geometry;
  uint32_t vertexBuffer = 0;
  uint32_t indexBuffer = 0;                                       // triangles, clipped triangles, then lines
  bool setColor = false, setNormal = false, setTexCoord = false;  // the list changes these current values
  CurrentValues last{};                                           // their values when the list ends
};

enum FogMode { kFogOff = 0, kFogLinear = 1, kFogExp = 2 };

struct LayerState {
  // Transformations (section 2.10).
  std::vector<Matrix> modelview{identityMatrix()};
  std::vector<Matrix> projection{identityMatrix()};
  GLenum matrixMode = GL_MODELVIEW;
  uint32_t modelviewVersion = 1, projectionVersion = 1;  // bumped on every change

  CurrentValues current{{1, 1, 1, 1}, {0, 0, 1}, {0, 0}};

  // Begin/end (section 2.6) and the display list being compiled (section 5.4).
  bool inBegin = false;
  GLenum beginMode = 0;
  size_t beginFirst = 0;  // index of the primitive's first vertex in its geometry
  Geometry immediate;     // the primitive between glBegin and glEnd
  bool compiling = false;
  GLuint compilingName = 0;
  DisplayList compiled;
  CurrentValues compileCurrent{};
  std::map<GLuint, DisplayList> lists;
  GLuint nextListName = 1;

  // Enables the layer answers itself; blending and the depth test go to ES.
  bool texture2d = false, lighting = false, light0 = false, fog = false;
  bool blend = false, depthTest = false;

  GLenum polygonModeFront = GL_FILL, polygonModeBack = GL_FILL;

  // Fog (section 3.9).
  GLenum fogMode = GL_EXP;
  float fogColor[4] = {0, 0, 0, 0};
  float fogDensity = 1, fogStart = 0, fogEnd = 1;
  uint32_t fogVersion = 1;

  // Textures (section 3.8): which names hold a complete image.
  GLuint boundTexture = 0;
  struct TextureInfo {
    bool hasImage = false;
    bool mipmapFilter = true;  // GL's initial minification filter needs mipmaps
  };
  std::map<GLuint, TextureInfo> textures;

  // ES objects of the current context.
  uint32_t streamVertexBuffer = 0, streamIndexBuffer = 0;
  uint32_t boundArrayBuffer = 0, boundIndexBuffer = 0;
  uint32_t pointedBuffer = ~0u;  // the array buffer the attribute pointers were set for
  uint32_t usedProgram = 0;
};

extern LayerState layer;

// The GL 1.1 and GLU calls the program has made: with the system's OpenGL
// each of them reaches the driver.
extern uint64_t showCallCount;

// The state a new context starts with.
void resetLayerState();

// Binds the program for the current state and brings its uniforms up to date.
void useProgramForState(bool inheritsCurrent);

// The modelview and projection matrices on top of their stacks.
inline const Matrix& modelviewMatrix() { return layer.modelview.back(); }
inline const Matrix& projectionMatrix() { return layer.projection.back(); }

// Forget the objects of an earlier context: programs, and the primitive and
// display lists.
void dropPrograms();
void resetGeometryState();
