#include "tools/png_io.h"

#include <png.h>

#include <cstdio>
#include <memory>

#include "core/exceptions.h"

namespace orn::tools {

namespace {
struct FileCloser {
  void operator()(FILE* F) const { std::fclose(F); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
}  // namespace

TRgbaImage ReadPng(const std::string& FileName) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Img, FileName.c_str()))
    throw Exception("cannot read PNG file " + FileName + ": " + Img.message);
  Img.format = PNG_FORMAT_RGBA;
  TRgbaImage R;
  R.Width = static_cast<int>(Img.width);
  R.Height = static_cast<int>(Img.height);
  if (Img.width > 65535 || Img.height > 65535) {
    png_image_free(&Img);
    throw Exception("PNG file " + FileName + " is too large for a GIF frame");
  }
  R.Pixels.resize(PNG_IMAGE_SIZE(Img));
  if (!png_image_finish_read(&Img, nullptr, R.Pixels.data(), 0, nullptr)) {
    const std::string Why = Img.message;
    png_image_free(&Img);
    throw Exception("cannot read PNG file " + FileName + ": " + Why);
  }
  return R;
}

void WritePng(const std::string& FileName, const TRgbaImage& Image, bool WithAlpha) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  Img.width = static_cast<png_uint_32>(Image.Width);
  Img.height = static_cast<png_uint_32>(Image.Height);
  Img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> Rgb;
  const void* Data = Image.Pixels.data();
  if (!WithAlpha) {
    Img.format = PNG_FORMAT_RGB;
    Rgb.resize(static_cast<size_t>(Image.Width) * Image.Height * 3);
    for (size_t I = 0, N = static_cast<size_t>(Image.Width) * Image.Height; I < N; ++I) {
      Rgb[I * 3] = Image.Pixels[I * 4];
      Rgb[I * 3 + 1] = Image.Pixels[I * 4 + 1];
      Rgb[I * 3 + 2] = Image.Pixels[I * 4 + 2];
    }
    Data = Rgb.data();
  }
  if (!png_image_write_to_file(&Img, FileName.c_str(), 0, Data, 0, nullptr))
    throw Exception("cannot write PNG file " + FileName + ": " + Img.message);
}

}  // namespace orn::tools
