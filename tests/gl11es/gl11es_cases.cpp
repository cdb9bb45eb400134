// Each GL 1.1 behaviour the show relies on, drawn into a fresh offscreen
// context and written as CASE.png to the folder named on the command line.
// Built twice: against the system's OpenGL in a compatibility context, and
// against the gl11es layer in an ES 2.0 context; frame_compare then holds
// the layer's pictures to the system's.
#include <GL/gl.h>
#include <GL/glu.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "offscreen_gl.h"

namespace {

constexpr int kSize = 96;  // pixels, square

// The unit quad's corners, counter-clockwise.
const float kQuad[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};

void perspective() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 1.0, 0.1, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// A 4x2 RGB texture of distinct colours, rows of 12 bytes, and a 2x2 one
// whose rows of 6 bytes need an unpack alignment of 1.
GLuint makeTextures(GLuint* second) {
  static const unsigned char wide[2][4][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}},
                                              {{255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {64, 64, 64}}};
  static const unsigned char packed[2 * 2 * 3] = {255, 128, 0, 0, 128, 255, 30, 200, 30, 200, 30, 200};
  GLuint names[2];
  glGenTextures(2, names);
  glBindTexture(GL_TEXTURE_2D, names[0]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, wide);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glBindTexture(GL_TEXTURE_2D, names[1]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, packed);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  *second = names[1];
  return names[0];
}

// Colours and texture coordinates set before, inside and after begin/end:
// a value set after a vertex belongs to the next one, and the last values
// stay current for the next primitive.
void currentValues() {
  perspective();
  glTranslatef(0, 0, -4);
  glColor3f(1, 0, 0);  // before begin: the first vertex's
  glBegin(GL_QUADS);
  glVertex3f(-1.5f, -1.5f, 0);
  glColor3f(0, 1, 0);
  glVertex3f(0, -1.5f, 0);
  glVertex3f(0, 0, 0);  // still green
  glColor4f(0, 0, 1, 1);
  glVertex3f(-1.5f, 0, 0);
  glEnd();
  glBegin(GL_QUADS);  // blue all over: the current colour outlives glEnd
  glVertex3f(0.2f, 0.2f, 0);
  glVertex3f(1.5f, 0.2f, 0);
  glColor3f(5, -1, 0.5f);  // clamped per vertex
  glVertex3f(1.5f, 1.5f, 0);
  glVertex3f(0.2f, 1.5f, 0);
  glEnd();
}

// Quads and a quad strip that reach outside the view, with a colour that
// does not vary linearly: the split of each quad shows.
void clippedQuads() {
  perspective();
  glTranslatef(0, 0, -5);
  glBegin(GL_QUADS);
  glColor3f(1, 1, 1);
  glVertex3f(-3, -3, 0);
  glVertex3f(1, -3, 0);
  glColor3f(1, 1, 0);
  glVertex3f(1, 1, 0);
  glColor3f(0, 1, 1);
  glVertex3f(-3, 1, 0);
  glEnd();
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i < 4; ++i) {
    glColor3f(i == 2 ? 0.0f : 1.0f, 0.3f, 1);
    glVertex3f(0.5f + i, 0.5f, 0);
    glColor3f(0.2f, i == 1 ? 0.0f : 1.0f, 0.2f);
    glVertex3f(0.5f + i, 3 + (i % 2), 0);
  }
  glEnd();
}

// Quad strips: pairs of vertices, a quad each further pair; one quad
// twisted so that it crosses itself.
void quadStrip() {
  perspective();
  glTranslatef(0, 0, -4);
  glBegin(GL_QUAD_STRIP);
  const float xs[4] = {-1.5f, -0.5f, 0.5f, 1.5f};
  for (int i = 0; i < 4; ++i) {
    glColor3f(i / 3.0f, 1 - i / 3.0f, 0.5f);
    const bool twist = i == 2;
    glVertex3f(xs[i], twist ? 1.2f : -1.2f, 0);
    glVertex3f(xs[i] + (i == 1 ? 0.3f : 0), twist ? -1.2f : 1.2f, 0);
  }
  glEnd();
  glColor3f(1, 1, 1);
  glBegin(GL_TRIANGLE_STRIP);
  for (int i = 0; i < 6; ++i) glVertex3f(-1.5f + i * 0.6f, i % 2 ? -1.6f : -1.4f, 0);
  glEnd();
}

// A display list of colours, normals and texture coordinates, called twice
// with other current values: its first vertex takes the current colour,
// and after the call its last values are current.
void displayList() {
  perspective();
  GLuint second = 0;
  makeTextures(&second);
  glEnable(GL_TEXTURE_2D);
  const GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glBegin(GL_QUADS);
  glVertex3f(-0.8f, -0.8f, 0);  // current colour and texture coordinate at the call
  glColor3f(0.5f, 1, 1);
  glNormal3f(0, 0, 1);
  glTexCoord2f(1, 0);
  glVertex3f(0.8f, -0.8f, 0);
  glTexCoord3f(1, 1, 0.5f);
  glVertex3f(0.8f, 0.8f, 0);
  glColor3f(1, 1, 0.5f);
  glTexCoord2f(0, 1);
  glVertex3f(-0.8f, 0.8f, 0);
  glEnd();
  glEndList();
  glColor3f(1, 0, 0);  // compiling left the current colour alone
  glTexCoord2f(0.3f, 0.6f);
  glTranslatef(-1, 0, -5);
  glCallList(list);
  glLoadIdentity();
  glTranslatef(1.2f, 0, -5);
  glColor3f(0, 0, 1);
  glCallList(list);
  glDisable(GL_TEXTURE_2D);
  glLoadIdentity();
  glTranslatef(0, -1.6f, -5);
  glBegin(GL_QUADS);  // the list's last colour
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.3f, c[1] * 0.3f, 0);
  glEnd();
}

// Polygons drawn as lines: each quad's four edges, never its diagonal, for
// quads, quad strips and a display list.
void lineMode() {
  perspective();
  glPolygonMode(GL_FRONT, GL_LINE);
  glPolygonMode(GL_BACK, GL_LINE);
  glTranslatef(-0.8f, 0.8f, -5);
  glRotatef(20, 0, 0, 1);
  glBegin(GL_QUADS);
  glColor3f(1, 1, 0);
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.7f, c[1] * 0.7f, 0);
  glEnd();
  glLoadIdentity();
  glTranslatef(0, -1, -5);
  glColor3f(0, 1, 1);
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i < 4; ++i) {
    glVertex3f(-1.5f + i, -0.6f + (i % 2) * 0.2f, 0);
    glVertex3f(-1.5f + i, 0.6f, 0);
  }
  glEnd();
  const GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glBegin(GL_QUADS);
  glColor3f(1, 0, 1);
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.5f, c[1] * 0.5f, 0);
  glEnd();
  glEndList();
  glLoadIdentity();
  glTranslatef(1, 1, -5);
  glRotatef(-30, 1, 0, 0);  // the back face, also outlined
  glRotatef(180, 0, 1, 0);
  glCallList(list);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, GL_FILL);
}

// A receding floor of textured quads under fog of the show's kind.
void fogFloor(GLint mode) {
  perspective();
  GLuint second = 0;
  makeTextures(&second);
  glEnable(GL_TEXTURE_2D);
  const float black[4] = {0, 0, 0, 1}, blue[4] = {0.1f, 0.2f, 0.6f, 1};
  glFogi(GL_FOG_MODE, mode);
  glFogfv(GL_FOG_COLOR, mode == GL_LINEAR ? black : blue);
  glFogf(GL_FOG_DENSITY, 0.25f);
  glHint(GL_FOG_HINT, GL_NICEST);
  glFogf(GL_FOG_START, 2.0f);
  glFogf(GL_FOG_END, 20.0f);
  glEnable(GL_FOG);
  glTranslatef(0, -1, 0);
  glColor3f(1, 0.8f, 0.6f);
  glBegin(GL_QUAD_STRIP);
  for (int i = 0; i <= 12; ++i) {
    glTexCoord2f(0, i * 0.5f);
    glVertex3f(-2, 0, -1.0f - i * 2);
    glTexCoord2f(1, i * 0.5f);
    glVertex3f(2, 0, -1.0f - i * 2);
  }
  glEnd();
}
void fogLinear() { fogFloor(GL_LINEAR); }
void fogExp() { fogFloor(GL_EXP); }

// The cube of the show, lit by light 0 with its defaults and the default
// material: the vertex colours play no part.
void litCube() {
  perspective();
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
  glTranslatef(0, 0, -5);
  glRotatef(30, 1, 0, 0);
  glRotatef(40, 0, 1, 0.5f);
  const float normals[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  const signed char corners[6][4][3] = {
      {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}},
      {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}, {{-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {-1, -1, -1}},
      {{1, 1, 1}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}}, {{1, -1, -1}, {1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}},
  };
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glBegin(GL_QUADS);
  for (int face = 0; face < 6; ++face) {
    glColor3f(0, 0, face / 5.0f);
    glNormal3f(normals[face][0], normals[face][1], normals[face][2]);
    for (const auto& c : corners[face]) glVertex3f(c[0], c[1], c[2]);
  }
  glEnd();
  glDisable(GL_DEPTH_TEST);
  // The same cube through a list, blended, with the lit alpha of 0.8.
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glLoadIdentity();
  glTranslatef(1.2f, 1.2f, -6);
  glRotatef(-50, 1, 1, 0);
  glBegin(GL_QUADS);
  for (int face = 0; face < 6; ++face) {
    glNormal3f(normals[face][0], normals[face][1], normals[face][2]);
    for (const auto& c : corners[face]) glVertex3f(c[0] * 0.5f, c[1] * 0.5f, c[2] * 0.5f);
  }
  glEnd();
}

// GL_MODULATE: the texel times the vertex colour, with both textures, the
// one of format 3 read with an unpack alignment of 1.
void textureModulate() {
  perspective();
  GLuint second = 0;
  const GLuint first = makeTextures(&second);
  glEnable(GL_TEXTURE_2D);
  glTranslatef(0, 0, -5);
  const GLuint textures[2] = {first, second};
  for (int t = 0; t < 2; ++t) {
    glBindTexture(GL_TEXTURE_2D, textures[t]);
    glBegin(GL_QUADS);
    const float x = t ? 0.1f : -2.0f;
    glColor3f(1, 1, 1);
    glTexCoord2f(0, 0);
    glVertex3f(x, -1, 0);
    glColor3f(1, 0.5f, 0.2f);
    glTexCoord2f(1, 0);
    glVertex3f(x + 1.9f, -1, 0);
    glTexCoord2f(1, 1);
    glVertex3f(x + 1.9f, 1, 0);
    glColor3f(0.3f, 1, 1);
    glTexCoord2f(0, 1);
    glVertex3f(x, 1, 0);
    glEnd();
  }
  // Texture 0 has no image: as if texturing were off.
  glBindTexture(GL_TEXTURE_2D, 0);
  glColor3f(0.9f, 0.6f, 0.1f);
  glBegin(GL_QUADS);
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.4f, c[1] * 0.3f - 1.5f, 0);
  glEnd();
}

// Additive blending: GL_SRC_ALPHA, GL_ONE over overlapping quads, then a
// quad with blending off on top.
void additiveBlending() {
  perspective();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glTranslatef(0, 0, -5);
  const float colours[3][4] = {{1, 0.2f, 0.2f, 0.5f}, {0.2f, 1, 0.2f, 0.7f}, {0.2f, 0.2f, 1, 1}};
  for (int i = 0; i < 3; ++i) {
    glColor4f(colours[i][0], colours[i][1], colours[i][2], colours[i][3]);
    glBegin(GL_QUADS);
    for (const auto& c : kQuad) glVertex3f(c[0] + (i - 1) * 0.7f, c[1] + (i == 1 ? 0.6f : 0), 0);
    glEnd();
  }
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 0.1f);
  glBegin(GL_QUADS);
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.3f, c[1] * 0.3f - 1.2f, 0);
  glEnd();
}

// The matrix stack: a pushed matrix restored by the pop, transformations
// composed in call order, and the projection's own stack.
void matrixStack() {
  perspective();
  glTranslatef(0, 0, -6);
  for (int i = 0; i < 4; ++i) {
    glPushMatrix();
    glRotatef(90.0f * i + 15, 0, 0, 1);
    glTranslatef(1.4f, 0, 0);
    glRotatef(45, 0.3f, 1, 0);
    glColor3f(i & 1 ? 1.0f : 0.3f, i & 2 ? 1.0f : 0.3f, 0.6f);
    glBegin(GL_QUADS);
    for (const auto& c : kQuad) glVertex3f(c[0] * 0.5f, c[1] * 0.5f, 0);
    glEnd();
    glPopMatrix();
  }
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glColor3f(1, 1, 1);
  glBegin(GL_QUADS);  // in clip coordinates: a small square at the centre
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.1f, c[1] * 0.1f, 0);
  glEnd();
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glBegin(GL_QUADS);  // the perspective again, at the top
  for (const auto& c : kQuad) glVertex3f(c[0] * 0.3f, c[1] * 0.3f + 1.8f, 0);
  glEnd();
}

struct Case {
  const char* name;
  void (*draw)();
};

const Case kCases[] = {
    {"current-values", currentValues},
    {"quad-strip", quadStrip},
    {"clipped-quads", clippedQuads},
    {"display-list", displayList},
    {"line-mode", lineMode},
    {"fog-linear", fogLinear},
    {"fog-exp", fogExp},
    {"lit-cube", litCube},
    {"texture-modulate", textureModulate},
    {"additive-blending", additiveBlending},
    {"matrix-stack", matrixStack},
};

bool writePng(const std::string& path, const std::vector<uint8_t>& rgb) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = kSize;
  png.height = kSize;
  png.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR | --outside-subset\n", argv[0]);
    return 2;
  }
  // A primitive the show never draws: a debug build of the layer stops here.
  if (std::string(argv[1]) == "--outside-subset") {
    if (!offscreenGlOpen(kSize, kSize)) return 1;
    glBegin(GL_TRIANGLES);
    glEnd();
    offscreenGlClose();
    return 0;
  }
  std::vector<uint8_t> rgb(kSize * kSize * 3);
  for (const Case& c : kCases) {
    // A new context for each case: every case starts from GL's initial state.
    if (!offscreenGlOpen(kSize, kSize)) return 1;
    glViewport(0, 0, kSize, kSize);
    glClearColor(0.1f, 0.1f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    c.draw();
    offscreenGlRead(rgb.data());
    offscreenGlClose();
    const std::string path = std::string(argv[1]) + "/" + c.name + ".png";
    if (!writePng(path, rgb)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
