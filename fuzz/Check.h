// A broken property ends the run the way a crash does, so the fuzzer keeps
// the input and the regression run fails on it.
#pragma once
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FuzzPropertyFailed(const char* file, int line, const char* condition,
                                            const char* why) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n  (%s)\n", file, line, why, condition);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, why) \
    ((condition) ? (void)0 : FuzzPropertyFailed(__FILE__, __LINE__, #condition, why))
