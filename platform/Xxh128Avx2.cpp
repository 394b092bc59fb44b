// The XXH3-128 kernel for processors with AVX2; this file alone is compiled with -mavx2.
#define XXH_VECTOR XXH_AVX2
#define KORVANE_XXH128_KERNEL kXxh128Avx2
#include "platform/Xxh128Kernel.inc"
