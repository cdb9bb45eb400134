#include "es2_functions.h"

#include <cstdio>

Es2Functions es2Functions;
uint64_t es2CallCount = 0;

namespace {

template <typename Function>
bool load(void* (*getProcAddress)(const char*), const char* name, Function* out) {
  *out = reinterpret_cast<Function>(getProcAddress(name));
  if (*out) return true;
  std::fprintf(stderr, "gl11es: the context offers no %s\n", name);
  return false;
}

}  // namespace

bool loadEs2Functions(void* (*getProcAddress)(const char* name)) {
  Es2Functions& f = es2Functions;
  bool ok = true;
#define LOAD(name) ok = load(getProcAddress, "gl" #name, &f.name) && ok
  LOAD(AttachShader);
  LOAD(BindAttribLocation);
  LOAD(BindBuffer);
  LOAD(BindTexture);
  LOAD(BlendFunc);
  LOAD(BufferData);
  LOAD(Clear);
  LOAD(ClearColor);
  LOAD(ClearDepthf);
  LOAD(ClearStencil);
  LOAD(CompileShader);
  LOAD(CreateProgram);
  LOAD(CreateShader);
  LOAD(DepthFunc);
  LOAD(Disable);
  LOAD(DrawElements);
  LOAD(Enable);
  LOAD(EnableVertexAttribArray);
  LOAD(GenBuffers);
  LOAD(GenTextures);
  LOAD(GetProgramInfoLog);
  LOAD(GetProgramiv);
  LOAD(GetShaderInfoLog);
  LOAD(GetShaderiv);
  LOAD(GetUniformLocation);
  LOAD(LinkProgram);
  LOAD(PixelStorei);
  LOAD(ShaderSource);
  LOAD(TexImage2D);
  LOAD(TexParameteri);
  LOAD(Uniform1f);
  LOAD(Uniform1i);
  LOAD(Uniform2f);
  LOAD(Uniform3fv);
  LOAD(Uniform4fv);
  LOAD(UniformMatrix3fv);
  LOAD(UniformMatrix4fv);
  LOAD(UseProgram);
  LOAD(VertexAttribPointer);
  LOAD(Viewport);
#undef LOAD
  return ok;
}
