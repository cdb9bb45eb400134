// A recording stand-in for the GL calls the renderer makes: each call is
// appended to callLog() with its arguments and nothing is drawn. Linked
// instead of the GL library, so the logged tests need no context.
#include <GL/gl.h>

#include <string>

#include "demo_fakes.h"

namespace {

GLuint nextListName = 1;

template <typename... Args>
void log(const char* name, Args... args) {
  callLog().push_back(logLine(name, args...));
}

}  // namespace

void setNextListName(unsigned name) { nextListName = name; }

extern "C" {
void glClear(GLbitfield mask) { log("glClear", unsigned(mask)); }
void glEnable(GLenum cap) { log("glEnable", unsigned(cap)); }
void glDisable(GLenum cap) { log("glDisable", unsigned(cap)); }
void glShadeModel(GLenum mode) { log("glShadeModel", unsigned(mode)); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { log("glClearColor", r, g, b, a); }
void glClearDepth(GLclampd depth) { log("glClearDepth", depth); }
void glClearStencil(GLint s) { log("glClearStencil", s); }
void glDepthFunc(GLenum func) { log("glDepthFunc", unsigned(func)); }
void glHint(GLenum target, GLenum mode) { log("glHint", unsigned(target), unsigned(mode)); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { log("glColor4f", r, g, b, a); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { log("glColor3f", r, g, b); }
void glBlendFunc(GLenum s, GLenum d) { log("glBlendFunc", unsigned(s), unsigned(d)); }
void glFogi(GLenum name, GLint value) { log("glFogi", unsigned(name), value); }
void glFogf(GLenum name, GLfloat value) { log("glFogf", unsigned(name), value); }
void glFogfv(GLenum name, const GLfloat* v) { log("glFogfv", unsigned(name), v[0], v[1], v[2], v[3]); }
void glBindTexture(GLenum target, GLuint name) { log("glBindTexture", unsigned(target), unsigned(name)); }
void glBegin(GLenum mode) { log("glBegin", unsigned(mode)); }
void glEnd() { log("glEnd"); }
void glNormal3f(GLfloat x, GLfloat y, GLfloat z) { log("glNormal3f", x, y, z); }
void glTexCoord2f(GLfloat s, GLfloat t) { log("glTexCoord2f", s, t); }
void glTexCoord3f(GLfloat s, GLfloat t, GLfloat r) { log("glTexCoord3f", s, t, r); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { log("glVertex3f", x, y, z); }
GLuint glGenLists(GLsizei range) {
  log("glGenLists", int(range));
  const GLuint name = nextListName;
  if (nextListName != 0) nextListName += GLuint(range);
  return name;
}
void glNewList(GLuint list, GLenum mode) { log("glNewList", unsigned(list), unsigned(mode)); }
void glEndList() { log("glEndList"); }
void glCallList(GLuint list) { log("glCallList", unsigned(list)); }
void glLoadIdentity() { log("glLoadIdentity"); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { log("glTranslatef", x, y, z); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) { log("glRotatef", angle, x, y, z); }
void glPushMatrix() { log("glPushMatrix"); }
void glPopMatrix() { log("glPopMatrix"); }
void glPolygonMode(GLenum face, GLenum mode) { log("glPolygonMode", unsigned(face), unsigned(mode)); }
}
