// Reading and writing PNG files for the command-line tools (through libpng).
#pragma once

#include <cstdint>
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

// Reads any PNG (palette, grey, 16-bit, with or without alpha) as 8-bit RGBA.
// Raises orn::Exception with the file name and libpng's reason on failure.
TRgbaImage ReadPng(const std::string& FileName);

// Writes RGBA (WithAlpha) or RGB (alpha dropped).
void WritePng(const std::string& FileName, const TRgbaImage& Image, bool WithAlpha);

}  // namespace orn::tools
