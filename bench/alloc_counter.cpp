// The replacement operator new and delete behind the counters of alloc_counter.h. Kept in a
// file of its own so that the compiler does not inline it into the benchmarks.
#include "bench/alloc_counter.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace orn::bench {
bool Counting = false;
int64_t LiveBytes = 0;
int64_t PeakBytes = 0;
}  // namespace orn::bench

void* operator new(std::size_t Size) {
  void* P = std::malloc(Size == 0 ? 1 : Size);
  if (P == nullptr) throw std::bad_alloc();
  if (orn::bench::Counting) {
    orn::bench::LiveBytes += static_cast<int64_t>(malloc_usable_size(P));
    orn::bench::PeakBytes = std::max(orn::bench::PeakBytes, orn::bench::LiveBytes);
  }
  return P;
}

void operator delete(void* P) noexcept {
  if (P == nullptr) return;
  if (orn::bench::Counting) orn::bench::LiveBytes -= static_cast<int64_t>(malloc_usable_size(P));
  std::free(P);
}

void operator delete(void* P, std::size_t) noexcept {
  operator delete(P);
}
