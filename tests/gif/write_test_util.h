// Test helpers for the writer: a plain GIF block parser used to look at written bytes, and
// bitmap builders.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/stream.h"
#include "gfx/bitmap.h"
#include "gfx/gdi.h"

namespace orn::testing {

struct TParsedBlock {
  char Kind = 0;                       // '!' extension, ',' image
  uint8_t Label = 0;                   // extension label
  std::vector<uint8_t> Fixed;          // extension fixed part / image descriptor
  std::vector<std::string> SubBlocks;  // extension sub-blocks
  std::vector<uint8_t> LocalTable;     // image: 3 bytes per entry
  std::vector<uint8_t> Data;           // image: code size, sub-blocks, terminator
  uint8_t Packed() const { return Fixed.at(8); }
};

struct TParsedGIF {
  std::string Signature;  // "GIF87a" or "GIF89a"
  int Width = 0, Height = 0;
  uint8_t ScreenPacked = 0, Background = 0, Aspect = 0;
  std::vector<uint8_t> GlobalTable;
  std::vector<TParsedBlock> Blocks;
  bool Trailer = false;
  size_t Length = 0;  // bytes up to and including the trailer
  std::string Error;
  std::vector<TParsedBlock> Images() const {
    std::vector<TParsedBlock> R;
    for (const auto& B : Blocks)
      if (B.Kind == ',') R.push_back(B);
    return R;
  }
};

// Walks a GIF stream strictly: every size must fit, the trailer must come last.
inline TParsedGIF ParseGIF(const std::vector<uint8_t>& In) {
  TParsedGIF G;
  size_t P = 0;
  auto Need = [&](size_t N) {
    if (P + N > In.size()) throw std::string("truncated at " + std::to_string(P));
  };
  auto Take = [&](size_t N) {
    Need(N);
    std::vector<uint8_t> V(In.begin() + P, In.begin() + P + N);
    P += N;
    return V;
  };
  auto SubBlocks = [&]() {
    std::vector<std::string> R;
    for (;;) {
      Need(1);
      const size_t N = In[P++];
      if (N == 0) break;
      auto V = Take(N);
      R.emplace_back(V.begin(), V.end());
    }
    return R;
  };
  try {
    auto H = Take(6);
    G.Signature.assign(H.begin(), H.end());
    auto S = Take(7);
    G.Width = S[0] | S[1] << 8;
    G.Height = S[2] | S[3] << 8;
    G.ScreenPacked = S[4];
    G.Background = S[5];
    G.Aspect = S[6];
    if (S[4] & 0x80) G.GlobalTable = Take(3u << ((S[4] & 7) + 1));
    for (;;) {
      Need(1);
      const uint8_t Intro = In[P++];
      if (Intro == 0x3B) {
        G.Trailer = true;
        break;
      }
      TParsedBlock B;
      B.Kind = static_cast<char>(Intro);
      if (Intro == 0x21) {
        Need(1);
        B.Label = In[P++];
        if (B.Label == 0xF9) {
          B.Fixed = Take(6);
        } else {
          if (B.Label == 0x01) B.Fixed = Take(13);
          if (B.Label == 0xFF) B.Fixed = Take(12);
          B.SubBlocks = SubBlocks();
        }
      } else if (Intro == 0x2C) {
        B.Fixed = Take(9);
        if (B.Fixed[8] & 0x80) B.LocalTable = Take(3u << ((B.Fixed[8] & 7) + 1));
        const size_t Start = P;
        Take(1);
        SubBlocks();
        B.Data.assign(In.begin() + Start, In.begin() + P);
      } else {
        throw std::string("bad introducer at " + std::to_string(P - 1));
      }
      G.Blocks.push_back(std::move(B));
    }
    G.Length = P;
  } catch (const std::string& E) {
    G.Error = E;
  }
  return G;
}

// A 24-bit bitmap whose pixel (X, Y from the top) has the colour Pixel returns.
inline std::unique_ptr<TBitmap> Bitmap24(int W, int H,
                                         const std::function<TColor(int, int)>& Pixel) {
  TDib D(W, H, 24);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) D.SetRaw(X, Y, Pixel(X, Y));
  TMemoryStream S;
  WriteBMP(D, S);
  S.SetPosition(0);
  auto B = std::make_unique<TBitmap>();
  B->LoadFromStream(S);
  return B;
}

// An indexed bitmap (1, 4 or 8 bits) with its own colour table.
inline std::unique_ptr<TBitmap> IndexedBitmap(int W, int H, int Bits,
                                              const std::vector<TColor>& Colors,
                                              const std::function<int(int, int)>& Index) {
  TDib D(W, H, Bits);
  for (size_t I = 0; I < Colors.size() && I < D.Colors.size(); ++I)
    D.Colors[I] = TRGBQuad{GetBValue(Colors[I]), GetGValue(Colors[I]), GetRValue(Colors[I]), 0};
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) D.SetRaw(X, Y, static_cast<uint32_t>(Index(X, Y)));
  TMemoryStream S;
  WriteBMP(D, S);
  S.SetPosition(0);
  auto B = std::make_unique<TBitmap>();
  B->LoadFromStream(S);
  return B;
}

}  // namespace orn::testing
