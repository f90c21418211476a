// The comparison baseline for the codec benchmarks: the platform's standard GIF library,
// linked into the benchmark only.
#pragma once

#include <cstdint>
#include <vector>

namespace orn::bench {

// Decodes every frame of a GIF file held in memory to index rows; returns the pixel count.
int64_t GiflibDecodeAll(const std::vector<uint8_t>& File);

// Decodes every frame and expands each to 32-bit pixels through its colour table (local or
// global); returns the pixel count.
int64_t GiflibDecodeToRgba(const std::vector<uint8_t>& File, std::vector<uint32_t>& Out);

// Encodes one 8-bit frame (256-entry palette, RGB triples) as a complete GIF with line-by-line
// output; returns the file bytes.
std::vector<uint8_t> GiflibEncode(const std::vector<uint8_t>& Indices, int Width, int Height,
                                  const std::vector<uint8_t>& PaletteRgb);

}  // namespace orn::bench
