#pragma once
// XXH3-128 over a byte stream, compiled twice from the header-only hash: once for processors
// with AVX2, where it runs at memory speed, and once for the x86-64 baseline (SSE2). Each
// kernel is a table of plain functions; RecordDigest picks one when the program starts.
// Only C headers here: a C++ inline function compiled for AVX2 could be taken by the linker
// for every caller, and fail on a processor without it.

#include <stddef.h>

struct Xxh128Kernel {
    // A new state, reset; null when memory is short.
    void* (*create)();
    void (*update)(void* state, const void* data, size_t length);
    // The canonical (big-endian) 16 bytes of the digest of what was fed; the state is reset.
    void (*digest)(void* state, unsigned char out[16]);
    void (*destroy)(void* state);
};

extern const Xxh128Kernel kXxh128Avx2;  // only on x86-64
extern const Xxh128Kernel kXxh128Baseline;
