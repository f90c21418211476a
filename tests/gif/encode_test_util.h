// Test helpers for the writing side: an independent, plain GIF LZW decoder used as the oracle
// for encoded data, and builders of stored-row pictures.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace orn::testing {

struct TDecodedCodes {
  int MinCodeSize = 0;
  std::vector<uint8_t> Pixels;
  std::vector<std::pair<int, int>> Codes;  // (code, width in bits) in stream order
  std::vector<size_t> PixelsBefore;        // pixels decoded before each code
  bool SawEnd = false;
  std::string Error;  // empty when the block is well formed
  size_t SubBlocks = 0;
  size_t BytesUsed = 0;  // bytes of the block, terminator included
};

// Decodes an image data block (minimum code size, sub-blocks, terminator) the way a standard
// GIF decoder does: the code width grows when the next free code reaches 2^width (up to 12).
inline TDecodedCodes DecodeGIFBlock(const std::vector<uint8_t>& Block) {
  TDecodedCodes R;
  if (Block.empty()) {
    R.Error = "empty block";
    return R;
  }
  R.MinCodeSize = Block[0];
  std::vector<uint8_t> Data;
  size_t Pos = 1;
  for (;;) {
    if (Pos >= Block.size()) {
      R.Error = "missing terminator";
      return R;
    }
    const size_t N = Block[Pos++];
    if (N == 0) break;
    if (Pos + N > Block.size()) {
      R.Error = "sub-block past the end";
      return R;
    }
    Data.insert(Data.end(), Block.begin() + Pos, Block.begin() + Pos + N);
    Pos += N;
    ++R.SubBlocks;
  }
  R.BytesUsed = Pos;
  const int Min = R.MinCodeSize;
  if (Min < 2 || Min > 8) {
    R.Error = "bad minimum code size";
    return R;
  }
  const int Clear = 1 << Min, End = Clear + 1;
  int Width = Min + 1, Next = End + 1, Prev = -1;
  std::vector<std::vector<uint8_t>> Table(4096);
  for (int I = 0; I < Clear; ++I) Table[I] = {static_cast<uint8_t>(I)};
  const size_t TotalBits = Data.size() * 8;
  size_t BitPos = 0;
  while (BitPos + Width <= TotalBits) {
    int Code = 0;
    for (int B = 0; B < Width; ++B, ++BitPos)
      Code |= ((Data[BitPos >> 3] >> (BitPos & 7)) & 1) << B;
    R.Codes.push_back({Code, Width});
    R.PixelsBefore.push_back(R.Pixels.size());
    if (Code == Clear) {
      Width = Min + 1;
      Next = End + 1;
      Prev = -1;
      continue;
    }
    if (Code == End) {
      R.SawEnd = true;
      break;
    }
    std::vector<uint8_t> Entry;
    if (Prev < 0) {
      if (Code >= Clear) {
        R.Error = "first code is not a pixel";
        return R;
      }
      Entry = Table[Code];
    } else {
      if (Code < Next && (Code < Clear || Code > End)) {
        Entry = Table[Code];
      } else if (Code == Next) {
        Entry = Table[Prev];
        Entry.push_back(Table[Prev][0]);
      } else {
        R.Error = "code beyond the table: " + std::to_string(Code);
        return R;
      }
      if (Next > 4095) {
        R.Error = "table overflow";
        return R;
      }
      Table[Next] = Table[Prev];
      Table[Next].push_back(Entry[0]);
      ++Next;
      if (Next == (1 << Width) && Width < 12) ++Width;
    }
    R.Pixels.insert(R.Pixels.end(), Entry.begin(), Entry.end());
    Prev = Code;
  }
  return R;
}

// A picture given top row first as one value per pixel, turned into stored rows (bottom-up,
// padded to 32 bits) at 1, 4 or 8 bits per pixel.
inline std::vector<uint8_t> PackRows(const std::vector<uint8_t>& TopDown, int Width, int Height,
                                     int Bits) {
  const size_t Stride = ((static_cast<size_t>(Width) * Bits + 31) / 32) * 4;
  std::vector<uint8_t> Out(Stride * Height, 0);
  for (int Y = 0; Y < Height; ++Y) {
    uint8_t* Row = Out.data() + (Height - 1 - Y) * Stride;
    for (int X = 0; X < Width; ++X) {
      const uint8_t V = TopDown[static_cast<size_t>(Y) * Width + X];
      if (Bits == 8)
        Row[X] = V;
      else if (Bits == 4)
        Row[X / 2] |= (X % 2 == 0) ? static_cast<uint8_t>(V << 4) : V;
      else
        Row[X / 8] |= static_cast<uint8_t>((V & 1) << (7 - X % 8));
    }
  }
  return Out;
}

inline std::vector<uint8_t> NoisePixels(size_t Count, int Bits, uint32_t Seed) {
  std::mt19937 Gen(Seed);
  std::vector<uint8_t> V(Count);
  for (auto& P : V) P = static_cast<uint8_t>(Gen() & ((1u << Bits) - 1));
  return V;
}

}  // namespace orn::testing
