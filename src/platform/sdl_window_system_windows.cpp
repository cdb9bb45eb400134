// The window system under SDL on Windows. There is always a desktop, and no
// other program can destroy a window of the show (only its own thread can);
// another program can only ask it to close, which SDL reports as a close
// event. So nothing is tracked by id.
#include "sdl_window_system.h"

bool windowSystemNamed() { return true; }

void windowSystemStarted(const char*) {}

unsigned long windowSystemId(SDL_Window*) { return 0; }

void windowSystemEvent(const SDL_Event&) {}

bool windowSystemWindowLost() { return false; }
