#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Every fuzz target defines this; libFuzzer calls it in the fuzz build, ReplayMain.cpp in the
// ordinary one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace qv::fuzz {

// A broken property stops the run the way a sanitizer would, so both builds report it as a crash
// and keep the input.
[[noreturn]] inline void propertyFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

inline std::string_view bytesOf(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace qv::fuzz

#define FUZZ_CHECK(cond) \
    ((cond) ? static_cast<void>(0) : ::qv::fuzz::propertyFailed(#cond, __FILE__, __LINE__))
