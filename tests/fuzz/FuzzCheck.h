// SPDX-License-Identifier: MIT
#pragma once
// A broken invariant prints what broke and aborts: libFuzzer keeps the input
// as a crash, and the corpus driver's test fails.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                     \
    ((cond) ? (void)0                                                                                        \
            : (std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
