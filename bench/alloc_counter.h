// Counts the bytes allocated through operator new in the benchmark program, for the memory
// benchmark. The benchmarks run on one thread; the counters are plain.
#pragma once

#include <cstdint>

namespace orn::bench {

// While Counting is set: the bytes allocated and not yet freed since it was set, and their
// highest value. Off, operator new costs what malloc costs (giflib allocates with malloc).
extern bool Counting;
extern int64_t LiveBytes;
extern int64_t PeakBytes;

}  // namespace orn::bench
