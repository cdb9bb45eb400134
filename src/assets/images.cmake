# The pictures: the BMP loader and the texture set.
add_library(quendaloop_images STATIC
  ${CMAKE_CURRENT_LIST_DIR}/bmp_loader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/texture_set.cpp)
target_include_directories(quendaloop_images PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quendaloop_images PUBLIC quendaloop_platform_api OpenGL::GL)
