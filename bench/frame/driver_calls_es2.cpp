#include "driver_calls.h"
#include "gl11es.h"

DriverCalls driverCalls() { return {true, gl11esShowCalls(), gl11esDriverCalls()}; }

const char* backendName() { return "es2"; }
