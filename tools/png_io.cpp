#include "tools/png_io.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/exceptions.h"
#include "core/stream.h"

namespace orn::tools {

namespace {

struct TPngSource {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
  char Message[256] = {};
};

void ReadFromMemory(png_structp Png, png_bytep Out, png_size_t Count) {
  auto* S = static_cast<TPngSource*>(png_get_io_ptr(Png));
  if (Count > S->Size - S->Pos) png_error(Png, "PNG data end early");
  std::memcpy(Out, S->Data + S->Pos, Count);
  S->Pos += Count;
}

// libpng reports errors by jumping back to the setjmp in the reader; the message is kept.
void OnError(png_structp Png, png_const_charp Message) {
  auto* S = static_cast<TPngSource*>(png_get_error_ptr(Png));
  std::snprintf(S->Message, sizeof S->Message, "%s", Message);
  png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

}  // namespace

TRgbaImage ReadPngFromMemory(const uint8_t* Data, size_t Size, int64_t MaxPixels) {
  // Everything the jump back may leave behind is created before setjmp and only its heap
  // contents change afterwards.
  auto Source = std::make_unique<TPngSource>();
  Source->Data = Data;
  Source->Size = Size;
  auto Result = std::make_unique<TRgbaImage>();
  auto Rows = std::make_unique<std::vector<png_bytep>>();
  png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, Source.get(), OnError, OnWarning);
  if (!Png) throw Exception("out of memory for the PNG reader");
  png_infop Info = png_create_info_struct(Png);
  if (!Info) {
    png_destroy_read_struct(&Png, nullptr, nullptr);
    throw Exception("out of memory for the PNG reader");
  }
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_read_struct(&Png, &Info, nullptr);
    throw Exception(Source->Message);
  }
  png_set_read_fn(Png, Source.get(), ReadFromMemory);
  png_read_info(Png, Info);
  const png_uint_32 W = png_get_image_width(Png, Info);
  const png_uint_32 H = png_get_image_height(Png, Info);
  if (static_cast<int64_t>(W) * static_cast<int64_t>(H) > MaxPixels) {
    std::snprintf(Source->Message, sizeof Source->Message,
                  "PNG image too large for a GIF frame: %u x %u pixels", static_cast<unsigned>(W),
                  static_cast<unsigned>(H));
    png_longjmp(Png, 1);
  }
  const int Type = png_get_color_type(Png, Info);
  const bool HasTrns = png_get_valid(Png, Info, PNG_INFO_tRNS) != 0;
  // Palette to RGB, grey below 8 bits to 8, tRNS to an alpha channel.
  png_set_expand(Png);
  // 16-bit samples are scaled (rounded) to 8 bits as they are: without colour-space
  // information they are sRGB, as for 8-bit files.
  png_set_scale_16(Png);
  if (!(Type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(Png);
  if (!(Type & PNG_COLOR_MASK_ALPHA) && !HasTrns) png_set_add_alpha(Png, 0xFF, PNG_FILLER_AFTER);
  double FileGamma = 0;
  if (!png_get_valid(Png, Info, PNG_INFO_sRGB) && png_get_gAMA(Png, Info, &FileGamma) &&
      FileGamma > 0)
    png_set_gamma(Png, PNG_DEFAULT_sRGB, FileGamma);
  png_set_interlace_handling(Png);
  png_read_update_info(Png, Info);
  if (png_get_rowbytes(Png, Info) != static_cast<size_t>(W) * 4)
    png_error(Png, "unexpected PNG row layout");
  Result->Width = static_cast<int>(W);
  Result->Height = static_cast<int>(H);
  Result->Pixels.resize(static_cast<size_t>(W) * H * 4);
  Rows->resize(H);
  for (png_uint_32 Y = 0; Y < H; ++Y) (*Rows)[Y] = Result->Row(static_cast<int>(Y));
  png_read_image(Png, Rows->data());
  png_destroy_read_struct(&Png, &Info, nullptr);
  return std::move(*Result);
}

TRgbaImage ReadPng(const std::string& FileName) {
  TMemoryStream File;
  File.LoadFromFile(FileName);
  try {
    return ReadPngFromMemory(File.Memory(), static_cast<size_t>(File.Size()));
  } catch (const Exception& E) {
    throw Exception("cannot read PNG file " + FileName + ": " + E.what());
  }
}

std::vector<uint8_t> EncodePng(const TRgbaImage& Image, bool WithAlpha) {
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
  png_alloc_size_t Size = 0;
  if (!png_image_write_to_memory(&Img, nullptr, &Size, 0, Data, 0, nullptr))
    throw Exception(std::string("cannot make PNG: ") + Img.message);
  std::vector<uint8_t> Out(Size);
  if (!png_image_write_to_memory(&Img, Out.data(), &Size, 0, Data, 0, nullptr))
    throw Exception(std::string("cannot make PNG: ") + Img.message);
  Out.resize(Size);
  return Out;
}

void WritePng(const std::string& FileName, const TRgbaImage& Image, bool WithAlpha) {
  const std::vector<uint8_t> Bytes = EncodePng(Image, WithAlpha);
  SaveBytesToFile(FileName, Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

}  // namespace orn::tools
