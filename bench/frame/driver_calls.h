// The GL calls the show makes and those that reach the driver, counted as
// far as the build's backend can count them (driver_calls_gl.cpp,
// driver_calls_es2.cpp).
#pragma once

#include <cstdint>

struct DriverCalls {
  bool counted;     // false: this backend cannot count them
  uint64_t show;    // GL 1.1 and GLU calls made by the show
  uint64_t driver;  // calls that reached the driver
};

// The counts since the program started.
DriverCalls driverCalls();

// The backend's name for the table: "gl" or "es2".
const char* backendName();
