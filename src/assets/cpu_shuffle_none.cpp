#include "cpu_shuffle.h"

bool cpuHasByteShuffle() { return false; }
