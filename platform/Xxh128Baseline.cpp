// The XXH3-128 kernel for every x86-64 processor.
#define KORVANE_XXH128_KERNEL kXxh128Baseline
#include "platform/Xxh128Kernel.inc"
