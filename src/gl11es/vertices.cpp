// Begin/end, the current values and display lists (OpenGL 1.1, sections 2.6,
// 2.7 and 5.4). A primitive is gathered between glBegin and glEnd and drawn
// with one call at glEnd; a display list is compiled into buffers of its own
// and drawn with one call.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "es2_functions.h"
#include "layer.h"

namespace {

constexpr size_t kMaxVertices = 65536;  // indices are 16 bits

// Appends the polygons of one primitive, of `count` vertices from `first`, as
// triangles, and their boundary edges as lines: a polygon drawn as lines
// shows its own edges, never the diagonal a quad is split along (OpenGL 1.1,
// section 3.5.4); every edge of a triangle strip's triangles is a boundary
// edge.
//
// A quad that is not flat, or whose colours do not vary linearly, looks
// different split along one diagonal or the other, so the layer splits as
// Mesa, whose pictures it is held to: along the diagonal from the first
// vertex when the drawing lies inside the view volume, and along the one
// that ends at the last vertex when Mesa has to clip it (its clipper takes
// another path). Both orders are kept and the draw picks one.
void addPolygons(GLenum mode, size_t first, size_t count, Geometry* g) {
  auto index = [&](size_t i) { return uint16_t(first + i); };
  auto triangle = [&](std::vector<uint16_t>* to, size_t a, size_t b, size_t c) {
    to->insert(to->end(), {index(a), index(b), index(c)});
  };
  auto line = [&](size_t a, size_t b) { g->lines.insert(g->lines.end(), {index(a), index(b)}); };
  switch (mode) {
    case GL_TRIANGLE_STRIP:
      // Triangle i is vertices i, i+1, i+2, the first two swapped for odd i
      // so that every triangle keeps the strip's orientation (section 2.6.1).
      for (size_t i = 0; i + 2 < count; ++i) {
        const size_t a = i & 1 ? i + 1 : i, b = i & 1 ? i : i + 1, c = i + 2;
        triangle(&g->triangles, a, b, c);
        triangle(&g->clippedTriangles, a, b, c);
        line(c, a);
        line(a, b);
        line(b, c);
      }
      break;
    case GL_QUADS:
      // Vertices 4j .. 4j+3 bound quad j (section 2.6.1).
      for (size_t i = 0; i + 3 < count; i += 4) {
        triangle(&g->triangles, i, i + 1, i + 2);
        triangle(&g->triangles, i, i + 2, i + 3);
        triangle(&g->clippedTriangles, i, i + 1, i + 3);
        triangle(&g->clippedTriangles, i + 1, i + 2, i + 3);
        line(i + 3, i);
        line(i, i + 1);
        line(i + 1, i + 2);
        line(i + 2, i + 3);
      }
      break;
    case GL_QUAD_STRIP:
      // Vertices 2j, 2j+1, 2j+3, 2j+2 bound quad j (section 2.6.1).
      for (size_t i = 0; i + 3 < count; i += 2) {
        triangle(&g->triangles, i, i + 1, i + 3);
        triangle(&g->triangles, i, i + 3, i + 2);
        triangle(&g->clippedTriangles, i + 2, i, i + 3);
        triangle(&g->clippedTriangles, i, i + 1, i + 3);
        line(i + 3, i + 2);
        line(i + 2, i);
        line(i, i + 1);
        line(i + 1, i + 3);
      }
      break;
  }
}

// Whether a vertex lies outside the view volume: -w <= x, y, z <= w in clip
// coordinates (OpenGL 1.1, section 2.11).
bool reachesOutside(const Vertex* vertices, size_t count) {
  const Matrix m = multiply(projectionMatrix(), modelviewMatrix());
  for (size_t i = 0; i < count; ++i) {
    const float* p = vertices[i].position;
    float clip[4];
    for (int r = 0; r < 4; ++r) clip[r] = m.m[r] * p[0] + m.m[4 + r] * p[1] + m.m[8 + r] * p[2] + m.m[12 + r];
    const float w = clip[3];
    if (!(std::fabs(clip[0]) <= w && std::fabs(clip[1]) <= w && std::fabs(clip[2]) <= w)) return true;
  }
  return false;
}

// Whether polygons are drawn as lines. The show sets both faces alike before
// it draws.
bool drawsLines() {
  gl11esSupported(layer.polygonModeFront == layer.polygonModeBack, "glPolygonMode",
                  "front and back alike when drawing");
  return layer.polygonModeFront == GL_LINE;
}

void bindArrayBuffer(uint32_t buffer) {
  if (layer.boundArrayBuffer == buffer) return;
  es2(BindBuffer)(GL_ARRAY_BUFFER, buffer);
  layer.boundArrayBuffer = buffer;
}

void bindIndexBuffer(uint32_t buffer) {
  if (layer.boundIndexBuffer == buffer) return;
  es2(BindBuffer)(GL_ELEMENT_ARRAY_BUFFER, buffer);
  layer.boundIndexBuffer = buffer;
}

uint32_t newBuffer() {
  GLuint name = 0;
  es2(GenBuffers)(1, &name);
  return name;
}

// Points the vertex attributes at the bound array buffer.
void pointAttributes() {
  if (layer.pointedBuffer == layer.boundArrayBuffer) return;
  if (layer.pointedBuffer == ~0u)
    for (GLuint i = 0; i < 5; ++i) es2(EnableVertexAttribArray)(i);
  const GLsizei stride = sizeof(Vertex);
  es2(VertexAttribPointer)(0, 3, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, position)));
  es2(VertexAttribPointer)(1, 4, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, color)));
  es2(VertexAttribPointer)(2, 3, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, normal)));
  es2(VertexAttribPointer)(3, 2, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, texCoord)));
  es2(VertexAttribPointer)(4, 3, GL_FLOAT, GL_FALSE, stride,
                           reinterpret_cast<void*>(offsetof(Vertex, inherit)));
  layer.pointedBuffer = layer.boundArrayBuffer;
}

void draw(bool lines, size_t first, size_t count, bool inheritsCurrent) {
  if (count == 0) return;
  useProgramForState(inheritsCurrent);
  pointAttributes();
  es2(DrawElements)(lines ? GL_LINES : GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_SHORT,
                    reinterpret_cast<void*>(first * sizeof(uint16_t)));
}

// The primitive just ended, drawn from the stream buffers.
void drawImmediate() {
  Geometry& g = layer.immediate;
  const bool lines = drawsLines();
  const std::vector<uint16_t>& indices = lines ? g.lines
                                         : reachesOutside(g.vertices.data(), g.vertices.size())
                                             ? g.clippedTriangles
                                             : g.triangles;
  if (indices.empty()) return;
  if (!layer.streamVertexBuffer) {
    layer.streamVertexBuffer = newBuffer();
    layer.streamIndexBuffer = newBuffer();
  }
  bindArrayBuffer(layer.streamVertexBuffer);
  es2(BufferData)(GL_ARRAY_BUFFER, GLsizeiptr(g.vertices.size() * sizeof(Vertex)), g.vertices.data(),
                  GL_STREAM_DRAW);
  bindIndexBuffer(layer.streamIndexBuffer);
  es2(BufferData)(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint16_t)), indices.data(),
                  GL_STREAM_DRAW);
  draw(lines, 0, indices.size(), false);
}

// The values a vertex takes: the current ones, or while a list is compiled
// the list's own, with the ones it has not set yet marked as inherited.
void addVertex(float x, float y, float z) {
  GL11ES_REQUIRE(layer.inBegin, "glVertex3f (outside glBegin/glEnd)");
  Geometry& g = layer.compiling ? layer.compiled.geometry : layer.immediate;
  GL11ES_REQUIRE(g.vertices.size() < kMaxVertices, "glVertex3f (too many vertices)");
  const CurrentValues& c = layer.compiling ? layer.compileCurrent : layer.current;
  Vertex v;
  v.position[0] = x;
  v.position[1] = y;
  v.position[2] = z;
  std::memcpy(v.color, c.color, sizeof v.color);
  std::memcpy(v.normal, c.normal, sizeof v.normal);
  std::memcpy(v.texCoord, c.texCoord, sizeof v.texCoord);
  if (layer.compiling) {
    v.inherit[0] = layer.compiled.setColor ? 0.0f : 1.0f;
    v.inherit[1] = layer.compiled.setNormal ? 0.0f : 1.0f;
    v.inherit[2] = layer.compiled.setTexCoord ? 0.0f : 1.0f;
  } else {
    v.inherit[0] = v.inherit[1] = v.inherit[2] = 0.0f;
  }
  g.vertices.push_back(v);
}

// The current values a command sets: while a list is compiled, the list's
// (the context's current values change only when the list is called).
CurrentValues& valuesToSet() { return layer.compiling ? layer.compileCurrent : layer.current; }

// Current values may be set inside and outside begin/end (section 2.6.3);
// colours are kept as given and clamped per vertex when drawn (section 2.13.6).
void setColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
  CurrentValues& c = valuesToSet();
  c.color[0] = red;
  c.color[1] = green;
  c.color[2] = blue;
  c.color[3] = alpha;
  if (layer.compiling) layer.compiled.setColor = true;
}

void setTexCoord(GLfloat s, GLfloat t) {
  CurrentValues& c = valuesToSet();
  c.texCoord[0] = s;
  c.texCoord[1] = t;
  if (layer.compiling) layer.compiled.setTexCoord = true;
}

}  // namespace

void GLAPIENTRY glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
  ++showCallCount;
  setColor(red, green, blue, 1.0f);
}

void GLAPIENTRY glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
  ++showCallCount;
  setColor(red, green, blue, alpha);
}

void GLAPIENTRY glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
  ++showCallCount;
  CurrentValues& c = valuesToSet();
  c.normal[0] = x;
  c.normal[1] = y;
  c.normal[2] = z;
  if (layer.compiling) layer.compiled.setNormal = true;
}

// glTexCoord2f sets r = 0 and q = 1, glTexCoord3f q = 1 (section 2.7); with
// q = 1 and two-dimensional textures only s and t matter.
void GLAPIENTRY glTexCoord2f(GLfloat s, GLfloat t) {
  ++showCallCount;
  setTexCoord(s, t);
}

void GLAPIENTRY glTexCoord3f(GLfloat s, GLfloat t, GLfloat) {
  ++showCallCount;
  setTexCoord(s, t);
}

void GLAPIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  ++showCallCount;
  addVertex(x, y, z);
}

void GLAPIENTRY glBegin(GLenum mode) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin, "glBegin (inside glBegin/glEnd)");
  GL11ES_REQUIRE(mode == GL_QUADS || mode == GL_QUAD_STRIP || mode == GL_TRIANGLE_STRIP, "glBegin");
  layer.inBegin = true;
  layer.beginMode = mode;
  if (layer.compiling) {
    layer.beginFirst = layer.compiled.geometry.vertices.size();
  } else {
    layer.immediate.vertices.clear();
    layer.immediate.triangles.clear();
    layer.immediate.clippedTriangles.clear();
    layer.immediate.lines.clear();
    layer.beginFirst = 0;
  }
}

void GLAPIENTRY glEnd() {
  ++showCallCount;
  GL11ES_REQUIRE(layer.inBegin, "glEnd (without glBegin)");
  layer.inBegin = false;
  Geometry& g = layer.compiling ? layer.compiled.geometry : layer.immediate;
  addPolygons(layer.beginMode, layer.beginFirst, g.vertices.size() - layer.beginFirst, &g);
  if (!layer.compiling) drawImmediate();
}

// Display lists (section 5.4). Only begin/end and the current values can be
// compiled: that is all the show puts in a list.
GLuint GLAPIENTRY glGenLists(GLsizei range) {
  ++showCallCount;
  if (layer.inBegin || layer.compiling) gl11esUnsupported("glGenLists", "inside glBegin/glEnd or a list");
  if (range <= 0) return 0;
  const GLuint first = layer.nextListName;
  layer.nextListName += GLuint(range);
  for (GLuint name = first; name < layer.nextListName; ++name) layer.lists[name];
  return first;
}

void GLAPIENTRY glNewList(GLuint list, GLenum mode) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glNewList");
  GL11ES_REQUIRE(list != 0 && mode == GL_COMPILE, "glNewList");
  layer.compiling = true;
  layer.compilingName = list;
  DisplayList& target = layer.lists[list];
  // The buffers of a list compiled again are reused.
  layer.compiled = DisplayList{};
  layer.compiled.vertexBuffer = target.vertexBuffer;
  layer.compiled.indexBuffer = target.indexBuffer;
  layer.compileCurrent = layer.current;
}

void GLAPIENTRY glEndList() {
  ++showCallCount;
  GL11ES_REQUIRE(layer.compiling && !layer.inBegin, "glEndList");
  layer.compiling = false;
  DisplayList& list = layer.compiled;
  list.last = layer.compileCurrent;
  const Geometry& g = list.geometry;
  if (!g.vertices.empty()) {
    if (!list.vertexBuffer) {
      list.vertexBuffer = newBuffer();
      list.indexBuffer = newBuffer();
    }
    bindArrayBuffer(list.vertexBuffer);
    es2(BufferData)(GL_ARRAY_BUFFER, GLsizeiptr(g.vertices.size() * sizeof(Vertex)), g.vertices.data(),
                    GL_STATIC_DRAW);
    // Both orders of triangles, then lines, in one buffer.
    std::vector<uint16_t> indices(g.triangles);
    indices.insert(indices.end(), g.clippedTriangles.begin(), g.clippedTriangles.end());
    indices.insert(indices.end(), g.lines.begin(), g.lines.end());
    bindIndexBuffer(list.indexBuffer);
    es2(BufferData)(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint16_t)), indices.data(),
                    GL_STATIC_DRAW);
  }
  layer.lists[layer.compilingName] = std::move(list);
  layer.compiled = DisplayList{};
}

void GLAPIENTRY glCallList(GLuint name) {
  ++showCallCount;
  GL11ES_REQUIRE(!layer.inBegin && !layer.compiling, "glCallList");
  const auto found = layer.lists.find(name);
  if (found == layer.lists.end()) return;  // an undefined list does nothing
  const DisplayList& list = found->second;
  const Geometry& g = list.geometry;
  if (list.vertexBuffer) {
    bindArrayBuffer(list.vertexBuffer);
    bindIndexBuffer(list.indexBuffer);
    const size_t triangles = g.triangles.size();
    if (drawsLines())
      draw(true, 2 * triangles, g.lines.size(), true);
    else if (reachesOutside(g.vertices.data(), g.vertices.size()))
      draw(false, triangles, triangles, true);
    else
      draw(false, 0, triangles, true);
  }
  // The list's commands leave their values current.
  if (list.setColor) std::memcpy(layer.current.color, list.last.color, sizeof list.last.color);
  if (list.setNormal) std::memcpy(layer.current.normal, list.last.normal, sizeof list.last.normal);
  if (list.setTexCoord) std::memcpy(layer.current.texCoord, list.last.texCoord, sizeof list.last.texCoord);
}

void resetGeometryState() {
  layer.immediate = Geometry{};
  layer.compiled = DisplayList{};
  layer.lists.clear();
}
