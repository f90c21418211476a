#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/exceptions.h"
#include "core/stream.h"
#include "gif/gif_errors.h"
#include "gif/lzw_decoder.h"
#include "gif/lzw_encoder.h"

using namespace orn;

namespace {

// Packs codes least-significant bit first, as GIF stores them.
struct TBitPacker {
  std::vector<uint8_t> Bytes;
  uint64_t Acc = 0;
  int Bits = 0;
  void Put(uint32_t Code, int Width) {
    Acc |= static_cast<uint64_t>(Code) << Bits;
    Bits += Width;
    while (Bits >= 8) {
      Bytes.push_back(static_cast<uint8_t>(Acc));
      Acc >>= 8;
      Bits -= 8;
    }
  }
  std::vector<uint8_t> Finish() {
    if (Bits > 0) Bytes.push_back(static_cast<uint8_t>(Acc));
    Acc = 0;
    Bits = 0;
    return Bytes;
  }
};

// Code-size byte, the data cut into sub-blocks of at most BlockSize bytes, and (optionally)
// the zero terminator.
std::vector<uint8_t> Frame(int CodeSize, const std::vector<uint8_t>& Data, bool Terminator = true,
                           size_t BlockSize = 255) {
  std::vector<uint8_t> Out{static_cast<uint8_t>(CodeSize)};
  for (size_t I = 0; I < Data.size(); I += BlockSize) {
    const size_t N = std::min(BlockSize, Data.size() - I);
    Out.push_back(static_cast<uint8_t>(N));
    Out.insert(Out.end(), Data.begin() + I, Data.begin() + I + N);
  }
  if (Terminator) Out.push_back(0);
  return Out;
}

struct TDecoded {
  std::vector<uint8_t> Rows;
  int W = 0, H = 0, Depth = 8;
  bool Corrupt = false;
  // Pixel (X, Y) with Y = 0 the top row (stored last).
  int At(int X, int Y) const {
    const uint8_t* Row = Rows.data() + (H - 1 - Y) * DIBStride(W, Depth);
    if (Depth == 8) return Row[X];
    if (Depth == 4) return (X % 2 == 0) ? Row[X / 2] >> 4 : Row[X / 2] & 15;
    return (Row[X / 8] >> (7 - X % 8)) & 1;
  }
  std::vector<int> Top(int Count) const {
    std::vector<int> V;
    for (int I = 0; I < Count; ++I) V.push_back(At(I % W, I / W));
    return V;
  }
};

TDecoded Decode(const std::vector<uint8_t>& Bytes, int W, int H, int Depth, int PixelBits,
                bool Interlaced = false, bool Lenient = true,
                const TDecodeProgress* Progress = nullptr) {
  TMemoryStream S;
  S.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  S.SetPosition(0);
  TDecoded D;
  D.W = W;
  D.H = H;
  D.Depth = Depth;
  D.Rows.assign(DIBStride(W, Depth) * H, 0);
  DecodeLZW(S, W, H, Depth, Interlaced, Progress, D.Corrupt, D.Rows, PixelBits, Lenient);
  return D;
}

std::string ErrorOf(const std::vector<uint8_t>& Bytes, int W, int H, int PixelBits, bool Lenient) {
  try {
    Decode(Bytes, W, H, 8, PixelBits, false, Lenient);
  } catch (const EInvalidGraphicOperation& E) {
    return std::string("invalid:") + E.what();
  } catch (const EReadError& E) {
    return std::string("read:") + E.what();
  }
  return "ok";
}

// Decodes Bytes into 32-bit rows through Colors; the outcome is "ok" or the error text.
std::pair<std::string, std::vector<uint32_t>> DecodeColors(const std::vector<uint8_t>& Bytes, int W,
                                                           int H, int PixelBits, bool Interlaced,
                                                           bool Lenient,
                                                           const uint32_t (&Colors)[256],
                                                           bool* Corrupt = nullptr) {
  std::vector<uint32_t> Pixels(static_cast<size_t>(W) * H, 0xDEADBEEF);
  try {
    const TLZWResult R = DecodeLZWToColors(Bytes, TLZWFrame{W, H, 8, PixelBits, Interlaced},
                                           Lenient, Colors, Pixels.data());
    if (Corrupt) *Corrupt = R.DataCorrupt;
  } catch (const Exception& E) {
    return {E.what(), {}};
  }
  return {"ok", Pixels};
}

}  // namespace

// Four pixels of colour 1, minimum code size 2 (clear 4, end 5, first entry 6), encoded by
// hand:
//   codes  4 (clear, 3 bits)  1 (3 bits)  6 (3 bits: not yet defined, so "1"+"1")
//          1 (3 bits; storing entry 7 makes the next code 4 bits wide)  5 (end, 4 bits)
//   bits, least significant first: 001 100 011 100 1010 -> 0x8C 0x53
TEST(LZWDecode, HandEncodedStream) {
  const std::vector<uint8_t> Bytes = {0x02, 0x02, 0x8C, 0x53, 0x00};
  TBitPacker P;
  for (auto [Code, Width] : {std::pair{4, 3}, {1, 3}, {6, 3}, {1, 3}, {5, 4}}) P.Put(Code, Width);
  ASSERT_EQ(Frame(2, P.Finish()), Bytes);  // the helper agrees with the hand encoding

  TDecoded D = Decode(Bytes, 4, 1, 8, 2);
  EXPECT_EQ(D.Top(4), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_FALSE(D.Corrupt);
  // The same pixels over two rows land bottom-up.
  D = Decode(Bytes, 2, 2, 8, 2);
  EXPECT_EQ(D.Rows, (std::vector<uint8_t>{1, 1, 0, 0, 1, 1, 0, 0}));
}

TEST(LZWDecode, InterlacedRowOrder) {
  // Independent statement of the four passes.
  auto Expected = [](int H) {
    std::vector<int> Order;
    for (int Y = 0; Y < H; Y += 8) Order.push_back(Y);
    for (int Y = 4; Y < H; Y += 8) Order.push_back(Y);
    for (int Y = 2; Y < H; Y += 4) Order.push_back(Y);
    for (int Y = 1; Y < H; Y += 2) Order.push_back(Y);
    return Order;
  };
  for (int H = 1; H <= 20; ++H) {
    SCOPED_TRACE(H);
    std::vector<int> Order{0};
    int Pass = 0;
    for (int Y = NextInterlacedRow(0, H, Pass); Y < H; Y = NextInterlacedRow(Y, H, Pass))
      Order.push_back(Y);
    EXPECT_EQ(Order, Expected(H));

    // Decode a one-pixel-wide frame whose n-th stored row holds the value n; every row must
    // be filled exactly once, in that order.
    TBitPacker P;
    P.Put(32, 6);  // clear, code size 5
    int Free = 34, Width = 6;
    for (int I = 0; I < H; ++I) {
      P.Put(I, Width);
      if (I > 0 && ++Free == (1 << Width) && Width < 12) ++Width;
    }
    P.Put(33, Width);
    TDecoded D = Decode(Frame(5, P.Finish()), 1, H, 8, 5, true);
    for (int N = 0; N < H; ++N) EXPECT_EQ(D.At(0, Expected(H)[N]), N);
  }
  std::vector<int> Three{0};
  int Pass = 0;
  for (int Y = NextInterlacedRow(0, 3, Pass); Y < 3; Y = NextInterlacedRow(Y, 3, Pass))
    Three.push_back(Y);
  EXPECT_EQ(Three, (std::vector<int>{0, 2, 1}));
}

TEST(LZWDecode, PacksFourAndOneBitPixelsBottomUpWithPadding) {
  // 3 x 2 pixels, values 1..6, code size 4 (16 colours), all literal codes.
  TBitPacker P;
  P.Put(16, 5);
  for (int V = 1; V <= 6; ++V) P.Put(V, 5);
  P.Put(17, 5);
  TDecoded D = Decode(Frame(4, P.Finish()), 3, 2, 4, 4);
  // Stride 4; bottom row (logical row 1) first; high nibble first.
  EXPECT_EQ(D.Rows, (std::vector<uint8_t>{0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}));

  // 10 x 2 one-bit pixels: row 0 = 1011001110, row 1 = 0000000001, minimum code size 2.
  const int Bits[20] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  TBitPacker Q;
  Q.Put(4, 3);
  int Free = 6, Width = 3;
  for (int I = 0; I < 20; ++I) {
    Q.Put(Bits[I], Width);
    if (I > 0 && ++Free == (1 << Width) && Width < 12) ++Width;
  }
  Q.Put(5, Width);
  D = Decode(Frame(2, Q.Finish()), 10, 2, 1, 1);
  EXPECT_EQ(D.Rows, (std::vector<uint8_t>{0x00, 0x40, 0, 0, 0xB3, 0x80, 0, 0}));
}

TEST(LZWDecode, CodeSizeEightGrowsToTwelveBitsAndStaysFull) {
  // Literal codes only, after one clear: entries 258.. are made from the second code on, the
  // width grows at 512, 1024 and 2048, and after entry 4095 the table is full at 12 bits
  // until the next clear, after which codes are 9 bits wide again.
  const int N = 5000, After = 300;
  std::vector<int> Pixels;
  TBitPacker P;
  P.Put(256, 9);
  int Free = 258, Width = 9;
  for (int I = 0; I < N; ++I) {
    const int V = (I * 7 + I / 256) & 255;
    Pixels.push_back(V);
    P.Put(V, Width);
    if (I > 0 && Free < 4096) {
      ++Free;
      if (Free == (1 << Width) && Width < 12) ++Width;
    }
  }
  ASSERT_EQ(Width, 12);
  P.Put(256, 12);
  Width = 9;
  Free = 258;
  for (int I = 0; I < After; ++I) {
    const int V = (I * 13) & 255;
    Pixels.push_back(V);
    P.Put(V, Width);
    if (I > 0 && ++Free == (1 << Width)) ++Width;
  }
  P.Put(257, Width);
  const int W = 53, H = (N + After + W - 1) / W;
  TDecoded D = Decode(Frame(8, P.Finish()), W, H, 8, 8);
  EXPECT_EQ(D.Top(N + After), Pixels);
}

TEST(LZWDecode, UnusualButWellDefinedStreams) {
  struct TCase {
    const char* Name;
    int CodeSize, PixelBits, W;
    std::vector<std::pair<int, int>> Codes;  // code, width
    std::vector<int> Pixels;
  };
  const TCase Cases[] = {
      // No clear code first: read as if one preceded it, so 1 is a literal that adds no entry
      // and 6 is the next code to be defined ("1" + "1").
      {"no leading clear", 2, 2, 3, {{1, 3}, {6, 3}, {5, 3}}, {1, 1, 1}},
      // The code after a clear is a literal even when it is the clear code; its pixel is the
      // code masked with the pixel mask (4 & 7).
      {"two clears", 2, 3, 2, {{4, 3}, {4, 3}, {1, 3}, {5, 3}}, {4, 1}},
      // After that, entry 6 has the clear code as prefix, whose never-written entry reads as
      // prefix 0 / pixel 0: 6 unwinds to 0 0 1.
      {"entry through clear", 2, 2, 5, {{4, 3}, {4, 3}, {1, 3}, {6, 3}, {5, 3}}, {0, 1, 0, 0, 1}},
      // A 2-colour frame with code size 2: pixel mask 1 (3 -> 1), clear 4, end 5, first entry 6.
      {"mask 1", 2, 1, 4, {{4, 3}, {3, 3}, {2, 3}, {6, 3}, {5, 3}}, {1, 0, 1, 0}},
      // A code far above the next free one is taken like the next free one.
      {"code above free", 2, 2, 3, {{4, 3}, {2, 3}, {7, 3}, {5, 3}}, {2, 2, 2}},
      // Strings that wrap from one row to the next.
      {"wrapping string", 2, 2, 2, {{4, 3}, {3, 3}, {6, 3}, {7, 4}, {5, 4}}, {3, 3, 3, 3, 3, 3}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TBitPacker P;
    for (auto [Code, Width] : C.Codes) P.Put(Code, Width);
    const int H = static_cast<int>(C.Pixels.size()) / C.W;
    TDecoded D = Decode(Frame(C.CodeSize, P.Finish()), C.W, H, 8, C.PixelBits);
    EXPECT_EQ(D.Top(static_cast<int>(C.Pixels.size())), C.Pixels);
    EXPECT_FALSE(D.Corrupt);
  }
}

TEST(LZWDecode, EndOfDataAndDamage) {
  auto Codes = [](int CodeSize, std::vector<std::pair<int, int>> List, bool Terminator = true) {
    TBitPacker P;
    for (auto [Code, Width] : List) P.Put(Code, Width);
    return Frame(CodeSize, P.Finish(), Terminator);
  };
  const std::string ReadError = std::string("invalid:") + SGIFReadError;
  // All four pixels, no end code, no terminator: complete, no error.
  EXPECT_EQ(ErrorOf(Codes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 3}}, false), 4, 1, 2, false),
            "ok");
  // Data end after four of five pixels (the padding bits of the last byte make a fourth
  // code, 0): read error in both modes.
  const auto Short = Codes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}});
  EXPECT_EQ(ErrorOf(Short, 5, 1, 2, false), ReadError);
  EXPECT_EQ(ErrorOf(Short, 5, 1, 2, true), ReadError);
  // An end code before the last row is no error; the rest stays 0.
  TDecoded D = Decode(Codes(2, {{4, 3}, {2, 3}, {5, 3}}), 3, 1, 8, 2);
  EXPECT_EQ(D.Top(3), (std::vector<int>{2, 0, 0}));
  // No data at all: the stream's own read error.
  EXPECT_EQ(ErrorOf({}, 1, 1, 2, true), "read:Stream read error");
  // A clear code as the last code of the data (8-bit codes, so no padding bits).
  EXPECT_EQ(ErrorOf(Codes(7, {{128, 8}}), 1, 1, 7, true), ReadError);

  // Minimum code size out of range: strict refuses, lenient clamps to 2, marks the frame and
  // keeps only the pixels that directly follow clear codes.
  const auto Odd = Codes(2, {{4, 3}, {1, 3}, {6, 3}, {4, 3}, {3, 3}, {5, 3}});
  for (uint8_t Bad : {0, 1, 10, 255}) {
    auto Bytes = Odd;
    Bytes[0] = Bad;
    const int Clamped = Bad < 2 ? 2 : 9;
    EXPECT_EQ(ErrorOf(Bytes, 4, 1, 2, false), std::string("invalid:") + SGIFCodeSizeRange);
    if (Clamped == 2) {
      D = Decode(Bytes, 4, 1, 8, 2, false, true);
      EXPECT_TRUE(D.Corrupt);
      EXPECT_EQ(D.Top(4), (std::vector<int>{1, 0, 0, 0}));
    } else {
      EXPECT_NO_THROW(D = Decode(Bytes, 4, 1, 8, 2, false, true));
      EXPECT_TRUE(D.Corrupt);
    }
  }

  // A self-referring entry: 7 is decoded as "above free" and becomes OldCode, so entry 7 is
  // stored with prefix 7. Unwinding 7 never ends.
  const auto Loop = Codes(2, {{4, 3}, {1, 3}, {7, 3}, {6, 3}, {7, 4}, {5, 4}});
  EXPECT_EQ(ErrorOf(Loop, 8, 1, 2, false), std::string("invalid:") + SGIFBadData);
  D = Decode(Loop, 8, 1, 8, 2, false, true);
  EXPECT_TRUE(D.Corrupt);
  EXPECT_EQ(D.Top(8), (std::vector<int>{1, 1, 1, 1, 1, 0, 0, 0}));
}

TEST(LZWDecode, ProgressReports) {
  struct TReport {
    TDecodeStage Stage;
    int Percent;
    std::string Message;
    bool operator==(const TReport&) const = default;
  };
  std::vector<TReport> Log;
  const TDecodeProgress Sink = [&](TDecodeStage S, int P, const std::string& M) {
    Log.push_back({S, P, M});
  };
  // The hand-made stream: the first sub-block is read with the first code, so after every
  // code the position is 4 of 5 bytes.
  Decode({0x02, 0x02, 0x8C, 0x53, 0x00}, 4, 1, 8, 2, false, true, &Sink);
  EXPECT_EQ(Log, (std::vector<TReport>{{TDecodeStage::dsStarting, 0, ""},
                                       {TDecodeStage::dsRunning, 80, ""},
                                       {TDecodeStage::dsRunning, 80, ""},
                                       {TDecodeStage::dsRunning, 80, ""},
                                       {TDecodeStage::dsEnding, 100, ""}}));
  // A failure ends with 0 % and the error text, then passes on.
  Log.clear();
  EXPECT_THROW(Decode({0x02, 0x01, 0x8C}, 4, 1, 8, 2, false, true, &Sink),
               EInvalidGraphicOperation);
  ASSERT_FALSE(Log.empty());
  EXPECT_EQ(Log.back(), (TReport{TDecodeStage::dsEnding, 0, SGIFReadError}));
  EXPECT_EQ(Log.front().Stage, TDecodeStage::dsStarting);
}

TEST(LZWDecode, SmallBuffersAndEmptyFramesAreSafe) {
  TMemoryStream S;
  const uint8_t Bytes[] = {2, 2, 0x8C, 0x53, 0};
  S.WriteBuffer(Bytes, 5);
  S.SetPosition(0);
  std::vector<uint8_t> Small(3);
  bool Corrupt = false;
  EXPECT_THROW(DecodeLZW(S, 4, 1, 8, false, nullptr, Corrupt, Small, 2, true),
               EInvalidGraphicOperation);
  // A frame without pixels needs no data beyond the code size.
  S.SetPosition(0);
  EXPECT_NO_THROW(DecodeLZW(S, 0, 5, 8, false, nullptr, Corrupt, {}, 2, true));
}

TEST(LZWDecode, GarbageNeverCrashes) {
  std::mt19937 Rng(12345);
  int Failures = 0, Successes = 0;
  for (int Round = 0; Round < 3000; ++Round) {
    std::vector<uint8_t> Bytes(1 + Rng() % 300);
    for (auto& B : Bytes) B = static_cast<uint8_t>(Rng());
    if (Round % 2) Bytes[0] = static_cast<uint8_t>(2 + Rng() % 8);
    // Mostly well-formed sub-block framing, sometimes not.
    if (Round % 3 == 0) {
      std::vector<uint8_t> Data(Bytes.begin() + 1, Bytes.end());
      Bytes = Frame(Bytes[0], Data, Round % 6 == 0, 1 + Rng() % 255);
    }
    const int Depth = (Round % 3 == 0) ? 1 : (Round % 3 == 1 ? 4 : 8);
    const int PixelBits = 1 + static_cast<int>(Rng() % Depth);
    try {
      Decode(Bytes, 1 + Rng() % 40, 1 + Rng() % 40, Depth, PixelBits, Round % 5 == 0,
             Round % 4 != 0);
      ++Successes;
    } catch (const EInvalidGraphicOperation&) {
      ++Failures;
    } catch (const EReadError&) {
      ++Failures;
    }
  }
  EXPECT_GT(Failures, 0);
  EXPECT_GT(Successes, 0);
}

// Two decoders stand behind DecodeLZW: one that follows the progress after every code and one
// that copies known strings within its output. They must agree on every input, damaged or
// not: pixels, damage flag and error.
TEST(LZWDecode, ProgressAndFastDecodersAgree) {
  const TDecodeProgress Quiet = [](TDecodeStage, int, const std::string&) {};
  auto Run = [&](const std::vector<uint8_t>& Bytes, int W, int H, int Depth, int Bits,
                 bool Interlaced, bool Lenient, bool WithProgress) {
    std::string Outcome = "ok";
    TDecoded D;
    try {
      D = Decode(Bytes, W, H, Depth, Bits, Interlaced, Lenient, WithProgress ? &Quiet : nullptr);
    } catch (const Exception& E) {
      Outcome = E.what();
    }
    return std::make_tuple(Outcome, D.Rows, D.Corrupt);
  };
  std::mt19937 Rng(99);
  // A long well-formed stream with repeats (flat areas make long strings), then damaged
  // copies of it, then random codes of every width.
  std::vector<int> Pixels;
  for (int I = 0; I < 6000; ++I) Pixels.push_back((I / 37 + (I % 300 < 150 ? 0 : I % 5)) & 15);
  TBitPacker Base;
  Base.Put(16, 5);
  int Free = 18, Width = 5;
  for (size_t I = 0; I < Pixels.size(); ++I) {
    Base.Put(Pixels[I], Width);
    if (I > 0 && Free < 4096 && ++Free == (1 << Width) && Width < 12) ++Width;
  }
  const std::vector<uint8_t> Good = Frame(4, Base.Finish());
  int Compared = 0, Damaged = 0;
  for (int Round = 0; Round < 1500; ++Round) {
    std::vector<uint8_t> Bytes;
    if (Round % 3 == 0) {
      Bytes = Good;
      for (int K = 0; K < 1 + static_cast<int>(Rng() % 6); ++K)
        Bytes[1 + Rng() % (Bytes.size() - 1)] = static_cast<uint8_t>(Rng());
    } else {
      const int CodeSize = 2 + Rng() % 8;
      TBitPacker P;
      int W = CodeSize + 1;
      for (int K = 0; K < 50 + static_cast<int>(Rng() % 2000); ++K) {
        const uint32_t Code = Rng() % 4 == 0 ? (1u << CodeSize) : Rng() % (1u << W);
        P.Put(Code, W);
        if (Rng() % 40 == 0 && W < 12) ++W;
      }
      Bytes = Frame(CodeSize, P.Finish(), true, 1 + Rng() % 255);
    }
    const int Depth = Round % 4 == 0 ? 4 : (Round % 7 == 0 ? 1 : 8);
    const int Bits = Depth == 1 ? 1 : (Depth == 4 ? 4 : 1 + Rng() % 8);
    const int W = 1 + Rng() % 120, H = 1 + Rng() % 90;
    const bool Interlaced = Rng() % 3 == 0, Lenient = Rng() % 2 == 0;
    const auto Fast = Run(Bytes, W, H, Depth, Bits, Interlaced, Lenient, false);
    const auto Slow = Run(Bytes, W, H, Depth, Bits, Interlaced, Lenient, true);
    ASSERT_EQ(std::get<0>(Fast), std::get<0>(Slow)) << Round;
    ASSERT_EQ(std::get<1>(Fast), std::get<1>(Slow)) << Round;
    ASSERT_EQ(std::get<2>(Fast), std::get<2>(Slow)) << Round;
    // Straight to colours: each pixel the colour of the index the reference decoder gives.
    uint32_t Colors[256];
    for (uint32_t& C : Colors) C = Rng() & 0xFFFFFF;
    bool ColorCorrupt = false;
    const auto [ColorOutcome, ColorPixels] =
        DecodeColors(Bytes, W, H, Bits, Interlaced, Lenient, Colors, &ColorCorrupt);
    ASSERT_EQ(ColorOutcome, std::get<0>(Slow)) << Round;
    if (ColorOutcome == "ok") {
      TDecoded Ref;
      Ref.W = W;
      Ref.H = H;
      Ref.Depth = Depth;
      Ref.Rows = std::get<1>(Slow);
      ASSERT_EQ(ColorCorrupt, std::get<2>(Slow)) << Round;
      for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
          ASSERT_EQ(ColorPixels[static_cast<size_t>(H - 1 - Y) * W + X], Colors[Ref.At(X, Y)])
              << Round << " at " << X << "," << Y;
    }
    ++Compared;
    Damaged += std::get<2>(Fast) || std::get<0>(Fast) != "ok";
  }
  EXPECT_EQ(Compared, 1500);
  EXPECT_GT(Damaged, 0);
  // The good stream itself decodes completely, both ways.
  const auto Fast = Run(Good, 100, 60, 8, 4, false, false, false);
  EXPECT_EQ(std::get<0>(Fast), "ok");
  TDecoded D;
  D.W = 100;
  D.H = 60;
  D.Rows = std::get<1>(Fast);
  EXPECT_EQ(D.Top(6000), Pixels);
  EXPECT_EQ(std::get<1>(Run(Good, 100, 60, 8, 4, false, false, true)), D.Rows);
}

// Some encoders leave out the clear code at the start of the data. Their codes are those of an
// encoder that starts with one, less the first code, and must give the same pixels.
TEST(LZWDecode, DataWithoutALeadingClearCode) {
  const int W = 97, H = 61;
  std::mt19937 Rng(5);
  std::vector<uint8_t> TopDown(static_cast<size_t>(W) * H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      TopDown[static_cast<size_t>(Y) * W + X] =
          static_cast<uint8_t>(X < 40 ? (X / 8 + Y / 5) % 6 : (Rng() % 4 == 0 ? Rng() % 200 : 7));
  const int64_t Stride = DIBStride(W, 8);
  std::vector<uint8_t> Rows(static_cast<size_t>(Stride * H));
  for (int Y = 0; Y < H; ++Y)
    std::copy_n(&TopDown[static_cast<size_t>(Y) * W], W,
                &Rows[static_cast<size_t>((H - 1 - Y) * Stride)]);
  TMemoryStream Encoded;
  EncodeImageData(Encoded, TEncodeHeader{W, H, 8}, Rows.data(), static_cast<int64_t>(Rows.size()),
                  {});
  // The code bits without their sub-block headers; the first code is the 9-bit clear code.
  const std::vector<uint8_t>& E = Encoded.Bytes();
  ASSERT_EQ(E[0], 8);
  std::vector<uint8_t> Bits;
  for (size_t Pos = 1; Pos < E.size() && E[Pos] != 0; Pos += E[Pos] + 1)
    Bits.insert(Bits.end(), E.begin() + Pos + 1, E.begin() + Pos + 1 + E[Pos]);
  ASSERT_EQ(Bits[0] | ((Bits[1] & 1) << 8), 256);
  TBitPacker Stripped;
  for (size_t Bit = 9; Bit < Bits.size() * 8; ++Bit)
    Stripped.Put((Bits[Bit / 8] >> (Bit % 8)) & 1, 1);
  const std::vector<uint8_t> NoClear = Frame(8, Stripped.Finish());

  const TDecodeProgress Quiet = [](TDecodeStage, int, const std::string&) {};
  for (const bool WithProgress : {false, true}) {
    SCOPED_TRACE(WithProgress);
    const TDecoded D = Decode(NoClear, W, H, 8, 8, false, false, WithProgress ? &Quiet : nullptr);
    EXPECT_FALSE(D.Corrupt);
    EXPECT_EQ(D.Rows, Rows);
  }
  uint32_t Colors[256];
  for (uint32_t C = 0; C < 256; ++C) Colors[C] = C * 0x010203u;
  const auto [Outcome, Pixels] = DecodeColors(NoClear, W, H, 8, false, false, Colors);
  ASSERT_EQ(Outcome, "ok");
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      ASSERT_EQ(Pixels[static_cast<size_t>(H - 1 - Y) * W + X],
                Colors[TopDown[static_cast<size_t>(Y) * W + X]]);
}

// A string written at the very end of the rows (the end of the top row, stored last) and used
// again later must not be copied as a chunk read past the rows; the address sanitizer watches
// the exact-size buffer.
TEST(LZWDecode, CopiesNeverReadPastTheRows) {
  const int W = 10, H = 2;
  const std::vector<int> Top = {1, 2, 3, 1, 2, 3, 1, 2, 3, 0};
  TBitPacker P;
  P.Put(4, 3);  // clear, code size 2
  for (int I = 0; I < 10; ++I) P.Put(Top[I], I < 3 ? 3 : 4);
  // Entry 14 is the last two pixels of the top row; it starts the second row, 8 more follow.
  P.Put(14, 4);
  const std::vector<int> Rest = {3, 3, 2, 2, 1, 1, 0, 0};
  for (int V : Rest) P.Put(V, 5);
  P.Put(5, 5);
  const std::vector<uint8_t> Bytes = Frame(2, P.Finish());

  std::vector<int> Expected = Top;
  Expected.insert(Expected.end(), {3, 0});
  Expected.insert(Expected.end(), Rest.begin(), Rest.end());
  EXPECT_EQ(Decode(Bytes, W, H, 8, 2).Top(W * H), Expected);
  uint32_t Colors[256];
  for (uint32_t C = 0; C < 256; ++C) Colors[C] = 0x100000 + C;
  const auto [Outcome, Pixels] = DecodeColors(Bytes, W, H, 2, false, false, Colors);
  ASSERT_EQ(Outcome, "ok");
  for (int I = 0; I < W * H; ++I)
    EXPECT_EQ(Pixels[static_cast<size_t>(H - 1 - I / W) * W + I % W], Colors[Expected[I]]) << I;
}
