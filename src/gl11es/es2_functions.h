// The OpenGL ES 2.0 functions the layer calls, loaded from the context, never
// linked: their names are the layer's own GL 1.1 names. Every call goes
// through es2() so that it is counted.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>

struct Es2Functions {
  void(GLAPIENTRY* AttachShader)(GLuint, GLuint);
  void(GLAPIENTRY* BindAttribLocation)(GLuint, GLuint, const GLchar*);
  void(GLAPIENTRY* BindBuffer)(GLenum, GLuint);
  void(GLAPIENTRY* BindTexture)(GLenum, GLuint);
  void(GLAPIENTRY* BlendFunc)(GLenum, GLenum);
  void(GLAPIENTRY* BufferData)(GLenum, GLsizeiptr, const void*, GLenum);
  void(GLAPIENTRY* Clear)(GLbitfield);
  void(GLAPIENTRY* ClearColor)(GLfloat, GLfloat, GLfloat, GLfloat);
  void(GLAPIENTRY* ClearDepthf)(GLfloat);
  void(GLAPIENTRY* ClearStencil)(GLint);
  void(GLAPIENTRY* CompileShader)(GLuint);
  GLuint(GLAPIENTRY* CreateProgram)();
  GLuint(GLAPIENTRY* CreateShader)(GLenum);
  void(GLAPIENTRY* DepthFunc)(GLenum);
  void(GLAPIENTRY* Disable)(GLenum);
  void(GLAPIENTRY* DrawElements)(GLenum, GLsizei, GLenum, const void*);
  void(GLAPIENTRY* Enable)(GLenum);
  void(GLAPIENTRY* EnableVertexAttribArray)(GLuint);
  void(GLAPIENTRY* GenBuffers)(GLsizei, GLuint*);
  void(GLAPIENTRY* GenTextures)(GLsizei, GLuint*);
  void(GLAPIENTRY* GetProgramInfoLog)(GLuint, GLsizei, GLsizei*, GLchar*);
  void(GLAPIENTRY* GetProgramiv)(GLuint, GLenum, GLint*);
  void(GLAPIENTRY* GetShaderInfoLog)(GLuint, GLsizei, GLsizei*, GLchar*);
  void(GLAPIENTRY* GetShaderiv)(GLuint, GLenum, GLint*);
  GLint(GLAPIENTRY* GetUniformLocation)(GLuint, const GLchar*);
  void(GLAPIENTRY* LinkProgram)(GLuint);
  void(GLAPIENTRY* PixelStorei)(GLenum, GLint);
  void(GLAPIENTRY* ShaderSource)(GLuint, GLsizei, const GLchar* const*, const GLint*);
  void(GLAPIENTRY* TexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*);
  void(GLAPIENTRY* TexParameteri)(GLenum, GLenum, GLint);
  void(GLAPIENTRY* Uniform1f)(GLint, GLfloat);
  void(GLAPIENTRY* Uniform1i)(GLint, GLint);
  void(GLAPIENTRY* Uniform2f)(GLint, GLfloat, GLfloat);
  void(GLAPIENTRY* Uniform3fv)(GLint, GLsizei, const GLfloat*);
  void(GLAPIENTRY* Uniform4fv)(GLint, GLsizei, const GLfloat*);
  void(GLAPIENTRY* UniformMatrix3fv)(GLint, GLsizei, GLboolean, const GLfloat*);
  void(GLAPIENTRY* UniformMatrix4fv)(GLint, GLsizei, GLboolean, const GLfloat*);
  void(GLAPIENTRY* UseProgram)(GLuint);
  void(GLAPIENTRY* VertexAttribPointer)(GLuint, GLint, GLenum, GLboolean, GLsizei, const void*);
  void(GLAPIENTRY* Viewport)(GLint, GLint, GLsizei, GLsizei);
};

extern Es2Functions es2Functions;
extern uint64_t es2CallCount;

// es2(Foo)(...) calls the loaded glFoo and counts the call.
#define es2(name) (++es2CallCount, es2Functions.name)

// Fills es2Functions; false (with the missing name on standard error) when a
// function cannot be had.
bool loadEs2Functions(void* (*getProcAddress)(const char* name));
