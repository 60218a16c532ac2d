#pragma once

#include <cstdio>
#include <cstdlib>

// A property of the code under fuzzing that does not hold: said on stderr, then abort, which the
// fuzzer reports as a crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)
