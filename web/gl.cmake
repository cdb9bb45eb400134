# OpenGL as the show's routines see it in a browser: the gl11es layer over
# WebGL 1 (OpenGL ES 2.0), which also answers the GLU call.
add_subdirectory(src/gl11es)
add_library(quendaloop_gl INTERFACE)
target_link_libraries(quendaloop_gl INTERFACE quendaloop_gl11es)
