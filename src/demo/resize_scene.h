// The viewport and projection the scenes are drawn with, for a window or an
// offscreen frame. Main thread, with a GL context current.
#pragma once

// Sets the viewport and a 45-degree perspective for a client of width x height
// pixels (a height of 0 counts as 1).
void resizeScene(int width, int height);
