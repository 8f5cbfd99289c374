// What every fuzz target does when a property fails: says which, on
// stderr, and aborts, which the fuzzing engine reports as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace qev::fuzz {

inline void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace qev::fuzz
