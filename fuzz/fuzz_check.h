#pragma once
// CHECK for fuzz targets: a broken promise aborts, so libFuzzer keeps the input that broke it
// (and the replay test fails), whatever the build's assertions.
#include <cstdio>
#include <cstdlib>

namespace zento_fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace zento_fuzz

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) zento_fuzz::fail(#cond);                                                      \
    } while (0)
