#include "bench/giflib_baseline.h"

#include <gif_lib.h>

#include <cstring>
#include <stdexcept>

namespace orn::bench {

namespace {
struct Reader {
  const std::vector<uint8_t>* Data;
  size_t Pos = 0;
};

int ReadFunc(GifFileType* Gif, GifByteType* Buf, int Len) {
  auto* R = static_cast<Reader*>(Gif->UserData);
  const size_t N = std::min(static_cast<size_t>(Len), R->Data->size() - R->Pos);
  std::memcpy(Buf, R->Data->data() + R->Pos, N);
  R->Pos += N;
  return static_cast<int>(N);
}

int WriteFunc(GifFileType* Gif, const GifByteType* Buf, int Len) {
  auto* Out = static_cast<std::vector<uint8_t>*>(Gif->UserData);
  Out->insert(Out->end(), Buf, Buf + Len);
  return Len;
}

GifFileType* Slurp(Reader& R) {
  int Err = 0;
  GifFileType* Gif = DGifOpen(&R, ReadFunc, &Err);
  if (Gif == nullptr) throw std::runtime_error("giflib cannot open the data");
  if (DGifSlurp(Gif) != GIF_OK) {
    DGifCloseFile(Gif, &Err);
    throw std::runtime_error("giflib cannot decode the data");
  }
  return Gif;
}
}  // namespace

int64_t GiflibDecodeAll(const std::vector<uint8_t>& File) {
  Reader R{&File};
  GifFileType* Gif = Slurp(R);
  int64_t Pixels = 0;
  for (int I = 0; I < Gif->ImageCount; ++I)
    Pixels += static_cast<int64_t>(Gif->SavedImages[I].ImageDesc.Width) *
              Gif->SavedImages[I].ImageDesc.Height;
  int Err = 0;
  DGifCloseFile(Gif, &Err);
  return Pixels;
}

int64_t GiflibDecodeToRgba(const std::vector<uint8_t>& File, std::vector<uint32_t>& Out) {
  Reader R{&File};
  GifFileType* Gif = Slurp(R);
  int64_t Pixels = 0;
  for (int I = 0; I < Gif->ImageCount; ++I) {
    const SavedImage& Img = Gif->SavedImages[I];
    const ColorMapObject* Map = Img.ImageDesc.ColorMap ? Img.ImageDesc.ColorMap : Gif->SColorMap;
    uint32_t Lut[256] = {};
    for (int C = 0; Map != nullptr && C < Map->ColorCount && C < 256; ++C)
      Lut[C] = 0xFF000000u | (Map->Colors[C].Red << 16) | (Map->Colors[C].Green << 8) |
               Map->Colors[C].Blue;
    const size_t N = static_cast<size_t>(Img.ImageDesc.Width) * Img.ImageDesc.Height;
    Out.resize(N);
    for (size_t P = 0; P < N; ++P) Out[P] = Lut[Img.RasterBits[P]];
    Pixels += static_cast<int64_t>(N);
  }
  int Err = 0;
  DGifCloseFile(Gif, &Err);
  return Pixels;
}

std::vector<uint8_t> GiflibEncode(const std::vector<uint8_t>& Indices, int Width, int Height,
                                  const std::vector<uint8_t>& PaletteRgb) {
  std::vector<uint8_t> Out;
  int Err = 0;
  GifFileType* Gif = EGifOpen(&Out, WriteFunc, &Err);
  if (Gif == nullptr) throw std::runtime_error("giflib cannot open an encoder");
  GifColorType Colors[256];
  for (int C = 0; C < 256; ++C)
    Colors[C] = {PaletteRgb[C * 3], PaletteRgb[C * 3 + 1], PaletteRgb[C * 3 + 2]};
  ColorMapObject* Map = GifMakeMapObject(256, Colors);
  EGifPutScreenDesc(Gif, Width, Height, 8, 0, Map);
  EGifPutImageDesc(Gif, 0, 0, Width, Height, false, nullptr);
  std::vector<GifPixelType> Line(static_cast<size_t>(Width));
  for (int Y = 0; Y < Height; ++Y) {
    std::memcpy(Line.data(), Indices.data() + static_cast<size_t>(Y) * Width, Width);
    EGifPutLine(Gif, Line.data(), Width);
  }
  GifFreeMapObject(Map);
  EGifCloseFile(Gif, &Err);
  return Out;
}

}  // namespace orn::bench
