# OpenGL as the show's routines see it in a browser: the GL 1.1 layer over
# WebGL 1 (OpenGL ES 2.0), which also answers the GLU call.
add_subdirectory(src/gl11es)
add_library(OpenGL::GL INTERFACE IMPORTED)
target_link_libraries(OpenGL::GL INTERFACE quendaloop_gl11es)
set(GLU_LIBRARY "")
