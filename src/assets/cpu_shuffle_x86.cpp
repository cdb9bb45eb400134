#include "cpu_shuffle.h"

bool cpuHasByteShuffle() { return __builtin_cpu_supports("ssse3"); }
