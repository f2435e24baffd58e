// What the fuzz targets share: a failed check stops the run with a message,
// so libFuzzer keeps the input as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (%s:%d): %s\n", #condition, __FILE__, __LINE__, \
                         std::string(what).c_str());                                               \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A fresh folder under $TMPDIR for this fuzzing process's scratch files.
std::string FuzzScratchFolder();
