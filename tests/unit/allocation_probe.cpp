// Replaces the program's allocation functions to record the largest
// request: the archive readers must size what they allocate by the file,
// not by the numbers written in it.
#include <cstdlib>
#include <new>

#include "support.h"

std::size_t qev::testing::largestAllocation = 0;

void* operator new(std::size_t size) {
  if (size > qev::testing::largestAllocation) qev::testing::largestAllocation = size;
  if (void* p = std::malloc(size > 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
