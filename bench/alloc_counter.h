// Counts the bytes allocated through operator new in the benchmark program, for the memory
// benchmark. The benchmarks run on one thread; the counters are plain.
#pragma once

#include <cstddef>

namespace orn::bench {

// Bytes currently allocated, and the highest value since it was last reset by the caller.
extern size_t LiveBytes;
extern size_t PeakBytes;

}  // namespace orn::bench
