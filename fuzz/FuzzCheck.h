#pragma once
// A failed property aborts, naming its line, so libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FuzzFail(int line) {
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
}

#define Check(ok) ((ok) ? void() : FuzzFail(__LINE__))
