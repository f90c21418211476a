// Reading and writing PNG files for the command-line tools (through libpng).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace orn::tools {

// An 8-bit RGBA picture, rows top-down, 4 bytes a pixel.
struct TRgbaImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;
  uint8_t* Row(int Y) { return Pixels.data() + static_cast<size_t>(Y) * Width * 4; }
  const uint8_t* Row(int Y) const { return Pixels.data() + static_cast<size_t>(Y) * Width * 4; }
};

// Reads a PNG held in memory (palette, grey, 16-bit, with or without alpha or tRNS) as 8-bit
// RGBA. Samples of a file without colour-space information are taken as sRGB, also at 16
// bits; a file gamma is honoured. A picture of more than MaxPixels pixels is refused from its
// header, before anything is allocated. Raises orn::Exception with libpng's reason.
TRgbaImage ReadPngFromMemory(const uint8_t* Data, size_t Size,
                             int64_t MaxPixels = std::numeric_limits<int64_t>::max());
// The same for a file; the message names the file.
TRgbaImage ReadPng(const std::string& FileName);

// The PNG file of Image: RGBA (WithAlpha) or RGB (alpha dropped).
std::vector<uint8_t> EncodePng(const TRgbaImage& Image, bool WithAlpha);
// Writes EncodePng's bytes to a file, replacing it safely.
void WritePng(const std::string& FileName, const TRgbaImage& Image, bool WithAlpha);

}  // namespace orn::tools
