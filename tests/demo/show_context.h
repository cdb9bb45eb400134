// An offscreen GL context set up as the show's window sets it up: the
// viewport and the 45-degree perspective projection for the size, and the
// modelview matrix mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Opens the context at width x height with the show's projection; false when
// no context can be had (the reason is on standard error).
bool openShowContext(int width, int height);

// The frame as RGB bytes, top row first.
std::vector<uint8_t> readShowFrame(int width, int height);

void closeShowContext();
