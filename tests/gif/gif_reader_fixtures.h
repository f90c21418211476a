// Small GIF streams built byte by byte for the reading-side tests.
#pragma once

#include <memory>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/stream.h"
#include "gif/gif_image.h"

namespace giftest {

using Bytes = std::vector<uint8_t>;

// LZW data for Pixels using literal codes only (a clear code first, an end code last), with
// the code width growing as the GIF rules say. Returns code-size byte, sub-blocks, terminator.
inline Bytes LiteralLZW(int CodeSize, const std::vector<int>& Pixels, bool EndCode = true,
                        bool Terminator = true) {
  Bytes Data;
  uint64_t Acc = 0;
  int Bits = 0;
  auto Put = [&](uint32_t Code, int Width) {
    Acc |= static_cast<uint64_t>(Code) << Bits;
    Bits += Width;
    while (Bits >= 8) {
      Data.push_back(static_cast<uint8_t>(Acc));
      Acc >>= 8;
      Bits -= 8;
    }
  };
  const int Clear = 1 << CodeSize;
  int Width = CodeSize + 1, Free = Clear + 2;
  Put(Clear, Width);
  for (size_t I = 0; I < Pixels.size(); ++I) {
    Put(Pixels[I], Width);
    // From the second code on every code defines an entry until the table is full.
    if (I > 0 && Free < 4096) {
      ++Free;
      if (Free == (1 << Width) && Width < 12) ++Width;
    }
  }
  if (EndCode) Put(Clear + 1, Width);
  if (Bits > 0) Data.push_back(static_cast<uint8_t>(Acc));
  Bytes Out{static_cast<uint8_t>(CodeSize)};
  for (size_t I = 0; I < Data.size(); I += 255) {
    const size_t N = std::min<size_t>(255, Data.size() - I);
    Out.push_back(static_cast<uint8_t>(N));
    Out.insert(Out.end(), Data.begin() + I, Data.begin() + I + N);
  }
  if (Terminator) Out.push_back(0);
  return Out;
}

struct TRGB {
  uint8_t R, G, B;
};

// Appends GIF blocks to a byte vector.
struct TGIFBuilder {
  Bytes B;

  TGIFBuilder& Raw(std::initializer_list<int> Values) {
    for (int V : Values) B.push_back(static_cast<uint8_t>(V));
    return *this;
  }
  TGIFBuilder& Raw(const Bytes& Values) {
    B.insert(B.end(), Values.begin(), Values.end());
    return *this;
  }
  TGIFBuilder& Text(const std::string& S) {
    B.insert(B.end(), S.begin(), S.end());
    return *this;
  }
  TGIFBuilder& Word(int V) { return Raw({V & 255, (V >> 8) & 255}); }
  TGIFBuilder& Header(const std::string& Version = "89a") { return Text("GIF" + Version); }
  // Logical screen descriptor; a non-empty Table adds the global colour table.
  TGIFBuilder& Screen(int W, int H, const std::vector<TRGB>& Table = {}, int Background = 0,
                      int Aspect = 0) {
    Word(W).Word(H);
    int Flags = 0;
    if (!Table.empty()) Flags = 0x80 | 0x70 | SizeBits(Table.size());
    Raw({Flags, Background, Aspect});
    return Colors(Table);
  }
  TGIFBuilder& Colors(const std::vector<TRGB>& Table) {
    for (const TRGB& C : Table) Raw({C.R, C.G, C.B});
    return *this;
  }
  TGIFBuilder& GraphicControl(int Flags, int Delay, int Transparent) {
    Raw({0x21, 0xF9, 4, Flags}).Word(Delay);
    return Raw({Transparent, 0});
  }
  TGIFBuilder& SubBlocks(const std::vector<std::string>& Blocks) {
    for (const std::string& S : Blocks) {
      B.push_back(static_cast<uint8_t>(S.size()));
      Text(S);
    }
    return Raw({0});
  }
  TGIFBuilder& Comment(const std::vector<std::string>& Blocks) {
    Raw({0x21, 0xFE});
    return SubBlocks(Blocks);
  }
  TGIFBuilder& Application(const std::string& Id11, const std::vector<std::string>& Blocks) {
    Raw({0x21, 0xFF, 11}).Text(Id11);
    return SubBlocks(Blocks);
  }
  TGIFBuilder& Loop(const std::string& Id11, int Count) {
    return Application(Id11, {std::string{1, static_cast<char>(Count & 255),
                                          static_cast<char>((Count >> 8) & 255)}});
  }
  TGIFBuilder& PlainText() {
    Raw({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0});
    return SubBlocks({"hi"});
  }
  // Image descriptor, optional local table and the image data.
  TGIFBuilder& Image(int L, int T, int W, int H, const Bytes& Data,
                     const std::vector<TRGB>& Local = {}, bool Interlaced = false) {
    Raw({0x2C}).Word(L).Word(T).Word(W).Word(H);
    int Flags = Interlaced ? 0x40 : 0;
    if (!Local.empty()) Flags |= 0x80 | SizeBits(Local.size());
    Raw({Flags});
    Colors(Local);
    return Raw(Data);
  }
  TGIFBuilder& Trailer() { return Raw({0x3B}); }

  static int SizeBits(size_t Count) {
    int N = 0;
    while ((2u << N) < Count) ++N;
    return N;
  }
};

inline const std::vector<TRGB> Four = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

// Two 2x2 frames over a 4-colour global table: frame 0 pixels 0 1 / 2 3 with delay 10 and
// transparent index 3, frame 1 at (1, 1) all colour 1 with a local table, disposal 2.
inline Bytes TwoFrameGIF() {
  TGIFBuilder G;
  G.Header().Screen(3, 3, Four, 2).Loop("NETSCAPE2.0", 0);
  G.GraphicControl(0x01 | (1 << 2), 10, 3).Image(0, 0, 2, 2, LiteralLZW(2, {0, 1, 2, 3}));
  G.GraphicControl(2 << 2, 20, 0)
      .Image(1, 1, 2, 2, LiteralLZW(2, {1, 1, 1, 1}),
             {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}});
  G.Trailer();
  return G.B;
}

inline void Fill(orn::TMemoryStream& S, const Bytes& Data) {
  S.Clear();
  if (!Data.empty()) S.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  S.SetPosition(0);
}

// An image read from Data without decoding any frame yet.
inline std::unique_ptr<orn::TGIFImage> Loaded(const Bytes& Data) {
  auto I = std::make_unique<orn::TGIFImage>();
  orn::TMemoryStream S;
  Fill(S, Data);
  I->LoadGIFData(static_cast<int64_t>(Data.size()), S, false);
  return I;
}

}  // namespace giftest
