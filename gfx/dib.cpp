// Device-independent pixel storage and BMP files.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/exceptions.h"
#include "gfx/gdi.h"

namespace orn {

namespace {

bool SupportedDepth(int BitCount) {
  return BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 24 || BitCount == 32;
}

[[noreturn]] void InvalidBitmap() {
  throw EInvalidGraphic("Bitmap image is not valid");
}

void CheckSize(int64_t Width, int64_t Height, int BitCount) {
  if (Width < 0 || Height < 0) InvalidBitmap();
  if (Width > MaxBitmapDimension || Height > MaxBitmapDimension ||
      ((Width * BitCount + 31) / 32) * 4 * Height > MaxBitmapBytes)
    throw EInvalidGraphic("Bitmap is too large (" + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels)");
}

uint32_t Le32(const uint8_t* P) {
  return uint32_t{P[0]} | (uint32_t{P[1]} << 8) | (uint32_t{P[2]} << 16) | (uint32_t{P[3]} << 24);
}
uint16_t Le16(const uint8_t* P) {
  return static_cast<uint16_t>(P[0] | (P[1] << 8));
}
void Put32(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
  P[2] = static_cast<uint8_t>(V >> 16);
  P[3] = static_cast<uint8_t>(V >> 24);
}
void Put16(uint8_t* P, uint16_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}

}  // namespace

TDib::TDib(int AWidth, int AHeight, int ABitCount) : TDib(AWidth, AHeight, ABitCount, {}) {}

TDib::TDib(int AWidth, int AHeight, int ABitCount, std::vector<uint8_t> Storage) {
  if (!SupportedDepth(ABitCount)) InvalidBitmap();
  CheckSize(AWidth, AHeight, ABitCount);
  Width = AWidth;
  Height = AHeight;
  BitCount = ABitCount;
  if (BitCount <= 8) Colors.assign(size_t{1} << BitCount, TRGBQuad{});
  Bits = std::move(Storage);
  Bits.assign(static_cast<size_t>(Stride()) * Height, 0);
}

void TDib::SetRaw(int X, int Y, uint32_t Value) {
  uint8_t* Row = ScanLine(Y);
  switch (BitCount) {
    case 1: {
      uint8_t Bit = static_cast<uint8_t>(0x80 >> (X & 7));
      if (Value & 1)
        Row[X >> 3] |= Bit;
      else
        Row[X >> 3] &= static_cast<uint8_t>(~Bit);
      break;
    }
    case 4:
      if (X & 1)
        Row[X >> 1] = static_cast<uint8_t>((Row[X >> 1] & 0xF0) | (Value & 0x0F));
      else
        Row[X >> 1] = static_cast<uint8_t>((Row[X >> 1] & 0x0F) | ((Value & 0x0F) << 4));
      break;
    case 8:
      Row[X] = static_cast<uint8_t>(Value);
      break;
    case 24: {
      uint8_t* P = Row + X * 3;
      P[0] = GetBValue(Value);
      P[1] = GetGValue(Value);
      P[2] = GetRValue(Value);
      break;
    }
    default: {
      uint8_t* P = Row + X * 4;
      P[0] = GetBValue(Value);
      P[1] = GetGValue(Value);
      P[2] = GetRValue(Value);
      P[3] = 0;
      break;
    }
  }
}

int TDib::NearestIndex(TColor Color) const {
  int Best = 0;
  int BestDist = INT32_MAX;
  for (size_t I = 0; I < Colors.size(); ++I) {
    int DR = Colors[I].rgbRed - GetRValue(Color);
    int DG = Colors[I].rgbGreen - GetGValue(Color);
    int DB = Colors[I].rgbBlue - GetBValue(Color);
    int D = DR * DR + DG * DG + DB * DB;
    if (D < BestDist) {
      BestDist = D;
      Best = static_cast<int>(I);
      if (D == 0) break;
    }
  }
  return Best;
}

TDib ReadBMP(TStream& Stream) {
  uint8_t FileHeader[14];
  Stream.ReadBuffer(FileHeader, sizeof FileHeader);
  if (FileHeader[0] != 'B' || FileHeader[1] != 'M') InvalidBitmap();

  uint8_t Info[40];
  Stream.ReadBuffer(Info, sizeof Info);
  uint32_t HeaderSize = Le32(Info);
  // Only the 40-byte header and its longer successors (which start the same way) are known.
  if (HeaderSize < 40 || HeaderSize > 1024) InvalidBitmap();
  if (HeaderSize > 40) {
    std::vector<uint8_t> Rest(HeaderSize - 40);
    Stream.ReadBuffer(Rest.data(), static_cast<int64_t>(Rest.size()));
  }
  int64_t Width = static_cast<int32_t>(Le32(Info + 4));
  int64_t Height = static_cast<int32_t>(Le32(Info + 8));
  int BitCount = Le16(Info + 14);
  uint32_t Compression = Le32(Info + 16);
  uint32_t ColorsUsed = Le32(Info + 32);
  if (!SupportedDepth(BitCount) || Compression != 0) InvalidBitmap();
  bool TopDown = Height < 0;
  if (TopDown) Height = -Height;
  CheckSize(Width, Height, BitCount);
  if (ColorsUsed > 256) InvalidBitmap();

  // The colour table has as many entries as colours-used names, all 2^bits when it is 0
  // (pictures of more than 8 bits have none then).
  uint32_t TableEntries = ColorsUsed;
  if (TableEntries == 0 && BitCount <= 8) TableEntries = 1u << BitCount;
  int64_t Stride = TDib::StrideOf(static_cast<int>(Width), BitCount);
  int64_t ImageBytes = Stride * Height;
  // Refuse before allocating when the stream cannot hold what the headers promise.
  int64_t Remaining = Stream.Size() - Stream.Position();
  if (Remaining < int64_t{TableEntries} * 4 + ImageBytes) throw EReadError();

  TDib Dib(static_cast<int>(Width), static_cast<int>(Height), BitCount);
  std::vector<uint8_t> Table(size_t{TableEntries} * 4);
  Stream.ReadBuffer(Table.data(), static_cast<int64_t>(Table.size()));
  for (size_t I = 0; I < TableEntries && I < Dib.Colors.size(); ++I)
    Dib.Colors[I] = TRGBQuad{Table[I * 4], Table[I * 4 + 1], Table[I * 4 + 2], 0};
  // The rows go straight into place: a bottom-up file in one read, a top-down one row by row
  // from the last stored row. A picture without pixels (zero width or height) reads nothing.
  if (ImageBytes > 0) {
    if (!TopDown) {
      Stream.ReadBuffer(Dib.Bits.data(), ImageBytes);
    } else {
      for (int64_t Y = Height - 1; Y >= 0; --Y)
        Stream.ReadBuffer(Dib.Bits.data() + Y * Stride, Stride);
    }
  }
  return Dib;
}

int64_t BMPFileSize(const TDib& Dib) {
  return 54 + int64_t{4} * static_cast<int64_t>(Dib.BitCount <= 8 ? (1 << Dib.BitCount) : 0) +
         int64_t{Dib.Stride()} * Dib.Height;
}

void WriteBMP(const TDib& Dib, TStream& Stream) {
  uint32_t TableEntries = Dib.BitCount <= 8 ? (1u << Dib.BitCount) : 0;
  uint32_t ImageBytes = static_cast<uint32_t>(Dib.Stride()) * static_cast<uint32_t>(Dib.Height);
  uint32_t Offset = 54 + TableEntries * 4;
  uint8_t H[54] = {};
  H[0] = 'B';
  H[1] = 'M';
  Put32(H + 2, Offset + ImageBytes);
  Put32(H + 10, Offset);
  Put32(H + 14, 40);
  Put32(H + 18, static_cast<uint32_t>(Dib.Width));
  Put32(H + 22, static_cast<uint32_t>(Dib.Height));
  Put16(H + 26, 1);
  Put16(H + 28, static_cast<uint16_t>(Dib.BitCount));
  Put32(H + 34, ImageBytes);
  Stream.WriteBuffer(H, sizeof H);
  std::vector<uint8_t> Table(size_t{TableEntries} * 4, 0);
  for (size_t I = 0; I < TableEntries; ++I) {
    TRGBQuad Q = I < Dib.Colors.size() ? Dib.Colors[I] : TRGBQuad{};
    Table[I * 4] = Q.rgbBlue;
    Table[I * 4 + 1] = Q.rgbGreen;
    Table[I * 4 + 2] = Q.rgbRed;
  }
  if (!Table.empty()) Stream.WriteBuffer(Table.data(), static_cast<int64_t>(Table.size()));
  if (ImageBytes) Stream.WriteBuffer(Dib.Bits.data(), ImageBytes);
}

}  // namespace orn
