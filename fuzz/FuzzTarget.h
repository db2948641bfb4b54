#pragma once

// The entry every target defines. libFuzzer calls it in the clang build; the
// seed driver calls it once per corpus file in the ordinary build, so the same
// function is proven on every CI run without clang.

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size);
