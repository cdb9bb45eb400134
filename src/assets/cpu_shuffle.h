// Whether the processor shuffles 16 bytes in one instruction (x86's SSSE3),
// which the BMP loader's byte swap uses where it can. One file per kind of
// processor, chosen by the build: cpu_shuffle_x86.cpp asks the processor,
// cpu_shuffle_none.cpp (every other processor, and wasm) answers no.
// Any thread.
#pragma once

bool cpuHasByteShuffle();
