// Making a product's form description from its stored text and its assets. The stored text
// holds two markers where the binary properties go: "{@PICTURE@}" for the animator's picture
// (kept as a 32-bit little-endian length, then the GIF stream) and "{@MASK@}" for the mask
// bitmap (the class name "TBitmap" with a 1-byte length, a 32-bit little-endian size, then
// the BMP file).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orn {

// Raises Exception when a marker is missing or appears twice.
std::string MakeFormDescription(const std::string& Template, const std::vector<uint8_t>& Gif,
                                const std::vector<uint8_t>& Bmp);

// The framed bytes of the two binary properties.
std::vector<uint8_t> PictureData(const std::vector<uint8_t>& Gif);
std::vector<uint8_t> MaskData(const std::vector<uint8_t>& Bmp);

}  // namespace orn
