#pragma once
// Shared by the fuzz targets: a failed invariant prints what broke and
// aborts, which libFuzzer reports as a crash (and keeps the input) and the
// corpus driver turns into a failing test.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                        \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond);  \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
