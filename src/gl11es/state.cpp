// The rest of the state the show sets: enables, blending, depth, clears,
// viewport, hints, shading, polygon mode, fog and textures; and the loader.
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

#include "es2_functions.h"
#include "gl11es.h"
#include "layer.h"

LayerState layer;
uint64_t showCallCount = 0;

namespace {

// State calls are neither allowed between glBegin and glEnd nor compiled
// into the show's display list.
bool outsidePrimitives() { return !layer.inBegin && !layer.compiling; }

void setCapability(GLenum cap, bool on, const char* call) {
  GL11ES_REQUIRE(outsidePrimitives(), call);
  switch (cap) {
    case GL_TEXTURE_2D: layer.texture2d = on; return;
    case GL_LIGHTING: layer.lighting = on; return;
    case GL_LIGHT0: layer.light0 = on; return;
    case GL_FOG: layer.fog = on; return;
    case GL_BLEND:
    case GL_DEPTH_TEST: {
      bool& state = cap == GL_BLEND ? layer.blend : layer.depthTest;
      if (state == on) return;
      state = on;
      if (on)
        es2(Enable)(cap);
      else
        es2(Disable)(cap);
      return;
    }
  }
  GL11ES_REQUIRE(false, call);
}

bool isBlendFactor(GLenum f, bool source) {
  switch (f) {
    case GL_ZERO:
    case GL_ONE:
    case GL_SRC_ALPHA:
    case GL_ONE_MINUS_SRC_ALPHA:
    case GL_DST_ALPHA:
    case GL_ONE_MINUS_DST_ALPHA: return true;
    case GL_SRC_COLOR:
    case GL_ONE_MINUS_SRC_COLOR: return !source;
    case GL_DST_COLOR:
    case GL_ONE_MINUS_DST_COLOR:
    case GL_SRC_ALPHA_SATURATE: return source;
  }
  return false;
}

float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// Fog parameters (OpenGL 1.1, section 3.9). Linear and exponential fog only.
void setFog(GLenum pname, const GLfloat* params, const char* call) {
  GL11ES_REQUIRE(outsidePrimitives(), call);
  switch (pname) {
    case GL_FOG_MODE: {
      const GLenum mode = GLenum(params[0]);
      GL11ES_REQUIRE(mode == GL_LINEAR || mode == GL_EXP, call);
      layer.fogMode = mode;
      break;
    }
    case GL_FOG_DENSITY:
      GL11ES_REQUIRE(params[0] >= 0, call);
      layer.fogDensity = params[0];
      break;
    case GL_FOG_START: layer.fogStart = params[0]; break;
    case GL_FOG_END: layer.fogEnd = params[0]; break;
    case GL_FOG_COLOR:
      for (int i = 0; i < 4; ++i) layer.fogColor[i] = clamp01(params[i]);
      break;
    default: GL11ES_REQUIRE(false, call);
  }
  ++layer.fogVersion;
}

}  // namespace

void gl11esUnsupported(const char* call, const char* condition) {
  std::fprintf(stderr, "gl11es: %s is called in a way the layer does not support (%s)\n", call, condition);
  std::abort();
}

void GLAPIENTRY glEnable(GLenum cap) {
  ++showCallCount;
  setCapability(cap, true, "glEnable");
}
void GLAPIENTRY glDisable(GLenum cap) {
  ++showCallCount;
  setCapability(cap, false, "glDisable");
}

void GLAPIENTRY glBlendFunc(GLenum source, GLenum destination) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && isBlendFactor(source, true) && isBlendFactor(destination, false),
                 "glBlendFunc");
  es2(BlendFunc)(source, destination);
}

void GLAPIENTRY glDepthFunc(GLenum func) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && func >= GL_NEVER && func <= GL_ALWAYS, "glDepthFunc");
  es2(DepthFunc)(func);
}

void GLAPIENTRY glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives(), "glClearColor");
  es2(ClearColor)(red, green, blue, alpha);
}

void GLAPIENTRY glClearDepth(GLclampd depth) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives(), "glClearDepth");
  es2(ClearDepthf)(GLfloat(depth));
}

void GLAPIENTRY glClearStencil(GLint s) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives(), "glClearStencil");
  es2(ClearStencil)(s);
}

void GLAPIENTRY glClear(GLbitfield mask) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives(), "glClear");
  GL11ES_REQUIRE((mask & ~GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)) == 0,
                 "glClear");
  es2(Clear)(mask);
}

void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && width >= 0 && height >= 0, "glViewport");
  es2(Viewport)(x, y, width, height);
}

// Both hints are met at their best: texture coordinates and colours are
// interpolated with perspective, and fog is worked out per fragment.
void GLAPIENTRY glHint(GLenum target, GLenum mode) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives(), "glHint");
  GL11ES_REQUIRE(target == GL_PERSPECTIVE_CORRECTION_HINT || target == GL_FOG_HINT, "glHint");
  GL11ES_REQUIRE(mode == GL_NICEST || mode == GL_FASTEST || mode == GL_DONT_CARE, "glHint");
}

// Smooth shading only (section 2.13.7): colours are interpolated across a primitive.
void GLAPIENTRY glShadeModel(GLenum mode) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && mode == GL_SMOOTH, "glShadeModel");
}

// Filled or outlined polygons (section 3.5.4).
void GLAPIENTRY glPolygonMode(GLenum face, GLenum mode) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && (mode == GL_FILL || mode == GL_LINE), "glPolygonMode");
  GL11ES_REQUIRE(face == GL_FRONT || face == GL_BACK || face == GL_FRONT_AND_BACK, "glPolygonMode");
  if (face != GL_BACK) layer.polygonModeFront = mode;
  if (face != GL_FRONT) layer.polygonModeBack = mode;
}

void GLAPIENTRY glFogf(GLenum pname, GLfloat param) {
  ++showCallCount;
  GL11ES_REQUIRE(pname != GL_FOG_COLOR, "glFogf");
  setFog(pname, &param, "glFogf");
}

void GLAPIENTRY glFogi(GLenum pname, GLint param) {
  ++showCallCount;
  GL11ES_REQUIRE(pname != GL_FOG_COLOR, "glFogi");
  const GLfloat value = GLfloat(param);
  setFog(pname, &value, "glFogi");
}

void GLAPIENTRY glFogfv(GLenum pname, const GLfloat* params) {
  ++showCallCount;
  setFog(pname, params, "glFogfv");
}

// Texture objects (section 3.8): names and images go to ES; the layer keeps
// which texture is complete, since GL then textures as if texturing were off
// where ES would sample black.
void GLAPIENTRY glGenTextures(GLsizei n, GLuint* textures) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && n >= 0, "glGenTextures");
  es2(GenTextures)(n, textures);
}

void GLAPIENTRY glBindTexture(GLenum target, GLuint texture) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && target == GL_TEXTURE_2D, "glBindTexture");
  if (layer.boundTexture == texture) return;
  es2(BindTexture)(GL_TEXTURE_2D, texture);
  layer.boundTexture = texture;
}

void GLAPIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && target == GL_TEXTURE_2D, "glTexParameteri");
  GL11ES_REQUIRE(pname == GL_TEXTURE_MIN_FILTER || pname == GL_TEXTURE_MAG_FILTER, "glTexParameteri");
  GL11ES_REQUIRE(param == GL_LINEAR || param == GL_NEAREST, "glTexParameteri");
  if (pname == GL_TEXTURE_MIN_FILTER) layer.textures[layer.boundTexture].mipmapFilter = false;
  es2(TexParameteri)(GL_TEXTURE_2D, pname, param);
}

// Level 0 of an RGB image of bytes; internal format 3 is GL 1.1's old name
// for RGB (section 3.8.1).
void GLAPIENTRY glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const GLvoid* pixels) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && target == GL_TEXTURE_2D && level == 0 && border == 0, "glTexImage2D");
  GL11ES_REQUIRE(
      (internalFormat == 3 || internalFormat == GL_RGB) && format == GL_RGB && type == GL_UNSIGNED_BYTE,
      "glTexImage2D");
  es2(TexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
  layer.textures[layer.boundTexture].hasImage = width > 0 && height > 0;
}

void GLAPIENTRY glPixelStorei(GLenum pname, GLint param) {
  ++showCallCount;
  GL11ES_REQUIRE(outsidePrimitives() && pname == GL_UNPACK_ALIGNMENT, "glPixelStorei");
  GL11ES_REQUIRE(param == 1 || param == 2 || param == 4 || param == 8, "glPixelStorei");
  es2(PixelStorei)(pname, param);
}

void resetLayerState() {
  dropPrograms();
  resetGeometryState();
  layer = LayerState{};
}

void gl11esLoad(void* (*getProcAddress)(const char* name)) {
  if (!loadEs2Functions(getProcAddress)) {
    std::fprintf(stderr, "gl11es: the context is not OpenGL ES 2.0\n");
    std::abort();
  }
  resetLayerState();
}

uint64_t gl11esDriverCalls() { return es2CallCount; }

uint64_t gl11esShowCalls() { return showCallCount; }
