// The shader programs that stand for GL 1.1's fixed functions: one for each
// combination of state the show draws with (texturing, lighting, light 0,
// fog mode), made on first use and kept. GLSL ES 1.00, so WebGL 1 runs them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "es2_functions.h"
#include "layer.h"

namespace {

// Per-vertex work: transformation (OpenGL 1.1, section 2.10), the lighting
// equation (section 2.13.1) or the current colour, clamped per vertex
// (section 2.13.6), and the eye-coordinate distance for fog (section 3.9).
//
// Lighting keeps GL's initial parameters, the only ones the show uses: light
// 0 shines from (0, 0, 1, 0) in eye coordinates with diffuse and specular
// (1, 1, 1, 1) and no ambient; the material is ambient (0.2, 0.2, 0.2, 1),
// diffuse (0.8, 0.8, 0.8, 1), no specular, no emission; the scene ambient is
// (0.2, 0.2, 0.2, 1); no local viewer, one side (table 2.7). So the colour
// is 0.2 * 0.2 + max(n . (0, 0, 1), 0) * 0.8, its alpha the diffuse
// material's 1, and the vertex colour plays no part.
const char* const kVertexShader = R"(
attribute vec3 a_position;
attribute vec4 a_color;
attribute vec3 a_normal;
attribute vec2 a_texCoord;
attribute vec3 a_inherit;
uniform mat4 u_modelview;
uniform mat4 u_projection;
uniform mat3 u_normalMatrix;
uniform vec4 u_color;
uniform vec3 u_normal;
uniform vec2 u_texCoord;
varying vec4 v_color;
varying vec2 v_texCoord;
varying float v_fogDistance;
void main() {
  vec4 eye = u_modelview * vec4(a_position, 1.0);
  gl_Position = u_projection * eye;
#ifdef LIGHTING
  vec3 n = u_normalMatrix * mix(a_normal, u_normal, a_inherit.y);
  vec3 lit = vec3(0.2 * 0.2);
#ifdef LIGHT0
  lit += max(n.z, 0.0) * vec3(0.8);
#endif
  v_color = vec4(clamp(lit, 0.0, 1.0), 1.0);
#else
  v_color = clamp(mix(a_color, u_color, a_inherit.x), 0.0, 1.0);
#endif
  v_texCoord = mix(a_texCoord, u_texCoord, a_inherit.z);
  v_fogDistance = abs(eye.z);
}
)";

// Per-fragment work: GL_MODULATE with an RGB texture (section 3.8.8: the
// colour times the texel's, the alpha kept) and fog (section 3.9), its factor
// worked out for each fragment from the interpolated eye distance.
const char* const kFragmentShader = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D u_texture;
uniform vec4 u_fogColor;
uniform vec2 u_fogLinear;
uniform float u_fogDensity;
varying vec4 v_color;
varying vec2 v_texCoord;
varying float v_fogDistance;
void main() {
  vec4 color = v_color;
#ifdef TEXTURE
  color.rgb *= texture2D(u_texture, v_texCoord).rgb;
#endif
#if defined(FOG_LINEAR)
  float f = clamp(v_fogDistance * u_fogLinear.x + u_fogLinear.y, 0.0, 1.0);
  color.rgb = mix(u_fogColor.rgb, color.rgb, f);
#elif defined(FOG_EXP)
  float f = clamp(exp(-u_fogDensity * v_fogDistance), 0.0, 1.0);
  color.rgb = mix(u_fogColor.rgb, color.rgb, f);
#endif
  gl_FragColor = color;
}
)";

constexpr unsigned kTextureBit = 1, kLightingBit = 2, kLight0Bit = 4, kFogShift = 3;
constexpr unsigned kProgramCount = 3 << kFogShift;

struct Program {
  GLuint id = 0;
  GLint modelview, projection, normalMatrix, color, normal, texCoord, texture, fogColor, fogLinear,
      fogDensity;
  uint32_t modelviewVersion = 0, projectionVersion = 0, fogVersion = 0;
  bool currentKnown = false;
  CurrentValues current;
};

Program programs[kProgramCount];

// The normal matrix: the inverse of the modelview's upper 3x3, transposed
// (section 2.10.3). No rescaling or normalization: GL_NORMALIZE stays off.
void normalMatrix(const Matrix& mv, float out[9]) {
  const float a = mv.m[0], b = mv.m[4], c = mv.m[8];
  const float d = mv.m[1], e = mv.m[5], f = mv.m[9];
  const float g = mv.m[2], h = mv.m[6], i = mv.m[10];
  const float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  const float s = det != 0 ? 1.0f / det : 0.0f;
  // Column-major inverse transposed = the cofactor matrix / det, column-major.
  out[0] = (e * i - f * h) * s;
  out[1] = -(b * i - c * h) * s;
  out[2] = (b * f - c * e) * s;
  out[3] = -(d * i - f * g) * s;
  out[4] = (a * i - c * g) * s;
  out[5] = -(a * f - c * d) * s;
  out[6] = (d * h - e * g) * s;
  out[7] = -(a * h - b * g) * s;
  out[8] = (a * e - b * d) * s;
}

GLuint compile(GLenum kind, const std::string& defines, const char* body) {
  const GLuint shader = es2(CreateShader)(kind);
  const std::string source = "#version 100\n" + defines + body;
  const char* text = source.c_str();
  es2(ShaderSource)(shader, 1, &text, nullptr);
  es2(CompileShader)(shader);
  GLint ok = 0;
  es2(GetShaderiv)(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = "";
    es2(GetShaderInfoLog)(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "gl11es: a shader does not compile: %s\n", log);
    std::abort();
  }
  return shader;
}

Program make(unsigned key) {
  std::string defines;
  if (key & kTextureBit) defines += "#define TEXTURE\n";
  if (key & kLightingBit) defines += "#define LIGHTING\n";
  if (key & kLight0Bit) defines += "#define LIGHT0\n";
  if ((key >> kFogShift) == kFogLinear) defines += "#define FOG_LINEAR\n";
  if ((key >> kFogShift) == kFogExp) defines += "#define FOG_EXP\n";
  Program p;
  p.id = es2(CreateProgram)();
  es2(AttachShader)(p.id, compile(GL_VERTEX_SHADER, defines, kVertexShader));
  es2(AttachShader)(p.id, compile(GL_FRAGMENT_SHADER, defines, kFragmentShader));
  const char* const attributes[] = {"a_position", "a_color", "a_normal", "a_texCoord", "a_inherit"};
  for (GLuint i = 0; i < 5; ++i) es2(BindAttribLocation)(p.id, i, attributes[i]);
  es2(LinkProgram)(p.id);
  GLint ok = 0;
  es2(GetProgramiv)(p.id, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = "";
    es2(GetProgramInfoLog)(p.id, sizeof log, nullptr, log);
    std::fprintf(stderr, "gl11es: a program does not link: %s\n", log);
    std::abort();
  }
  auto location = [&](const char* name) { return es2(GetUniformLocation)(p.id, name); };
  p.modelview = location("u_modelview");
  p.projection = location("u_projection");
  p.normalMatrix = location("u_normalMatrix");
  p.color = location("u_color");
  p.normal = location("u_normal");
  p.texCoord = location("u_texCoord");
  p.texture = location("u_texture");
  p.fogColor = location("u_fogColor");
  p.fogLinear = location("u_fogLinear");
  p.fogDensity = location("u_fogDensity");
  es2(UseProgram)(p.id);
  layer.usedProgram = p.id;
  if (p.texture >= 0) es2(Uniform1i)(p.texture, 0);
  return p;
}

// Texturing takes part when it is enabled and the bound texture is complete;
// an incomplete texture is as if texturing were off (sections 3.8.1, 3.8.5).
bool texturing() {
  if (!layer.texture2d) return false;
  const auto t = layer.textures.find(layer.boundTexture);
  return t != layer.textures.end() && t->second.hasImage && !t->second.mipmapFilter;
}

}  // namespace

void useProgramForState(bool inheritsCurrent) {
  unsigned key = 0;
  if (texturing()) key |= kTextureBit;
  if (layer.lighting) key |= kLightingBit | (layer.light0 ? kLight0Bit : 0);
  if (layer.fog) key |= unsigned(layer.fogMode == GL_LINEAR ? kFogLinear : kFogExp) << kFogShift;
  Program& p = programs[key];
  if (!p.id) p = make(key);
  if (layer.usedProgram != p.id) {
    es2(UseProgram)(p.id);
    layer.usedProgram = p.id;
  }
  if (p.modelviewVersion != layer.modelviewVersion) {
    es2(UniformMatrix4fv)(p.modelview, 1, GL_FALSE, modelviewMatrix().m);
    if (p.normalMatrix >= 0) {
      float n[9];
      normalMatrix(modelviewMatrix(), n);
      es2(UniformMatrix3fv)(p.normalMatrix, 1, GL_FALSE, n);
    }
    p.modelviewVersion = layer.modelviewVersion;
  }
  if (p.projectionVersion != layer.projectionVersion) {
    es2(UniformMatrix4fv)(p.projection, 1, GL_FALSE, projectionMatrix().m);
    p.projectionVersion = layer.projectionVersion;
  }
  if (layer.fog && p.fogVersion != layer.fogVersion) {
    es2(Uniform4fv)(p.fogColor, 1, layer.fogColor);
    if (p.fogLinear >= 0) {
      // f = (end - c) / (end - start) = c * scale + bias.
      const float range = layer.fogEnd - layer.fogStart;
      const float scale = range != 0 ? -1.0f / range : 0.0f;
      es2(Uniform2f)(p.fogLinear, scale, range != 0 ? layer.fogEnd / range : 1.0f);
    }
    if (p.fogDensity >= 0) es2(Uniform1f)(p.fogDensity, layer.fogDensity);
    p.fogVersion = layer.fogVersion;
  }
  if (inheritsCurrent &&
      (!p.currentKnown || std::memcmp(&p.current, &layer.current, sizeof p.current) != 0)) {
    const CurrentValues& c = layer.current;
    if (p.color >= 0) es2(Uniform4fv)(p.color, 1, c.color);
    if (p.normal >= 0) es2(Uniform3fv)(p.normal, 1, c.normal);
    if (p.texCoord >= 0) es2(Uniform2f)(p.texCoord, c.texCoord[0], c.texCoord[1]);
    p.current = c;
    p.currentKnown = true;
  }
}

void dropPrograms() {
  for (Program& p : programs) p = Program{};
}
