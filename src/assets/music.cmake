# The music start and its instrument hook. Links the sound and platform
# interfaces only: the program chooses the implementations.
add_library(quendaloop_music STATIC ${CMAKE_CURRENT_LIST_DIR}/music.cpp)
target_include_directories(quendaloop_music PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quendaloop_music PUBLIC quendaloop_sound_api quendaloop_platform_api)
