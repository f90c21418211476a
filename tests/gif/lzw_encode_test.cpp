#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/stream.h"
#include "gif/encode_test_util.h"
#include "gif/gif_errors.h"
#include "gif/lzw_decoder.h"
#include "gif/lzw_encoder.h"

using namespace orn;
using namespace orn::testing;

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& TopDown, int W, int H, int Bits,
                            const TEncodeProgress& Progress = {}) {
  const std::vector<uint8_t> Rows = PackRows(TopDown, W, H, Bits);
  TMemoryStream S;
  EncodeImageData(S, TEncodeHeader{W, H, Bits}, Rows.data(), static_cast<int64_t>(Rows.size()),
                  Progress);
  return S.Bytes();
}

// A stream that accepts Limit bytes and then fails every write.
class TFailingStream : public TMemoryStream {
 public:
  explicit TFailingStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (Size() + Count > FLimit) return 0;
    return TMemoryStream::Write(Buffer, Count);
  }

 private:
  int64_t FLimit;
};

}  // namespace

TEST(LZWEncode, ExactBytesOfSmallPictures) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Pixels;
    int W, H, Bits;
    std::vector<uint8_t> Expected;
  };
  const std::vector<Case> Cases = {
      {"one 8-bit pixel 0", {0}, 1, 1, 8, {0x08, 0x04, 0x00, 0x01, 0x04, 0x04, 0x00}},
      {"1-bit 1,0,1,0", {1, 0, 1, 0}, 4, 1, 1, {0x02, 0x02, 0x0C, 0x5C, 0x00}},
      // clear 16, 3, end 17 at 5 bits
      {"one 4-bit pixel 3", {3}, 1, 1, 4, {0x04, 0x02, 0x70, 0x44, 0x00}},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Encode(C.Pixels, C.W, C.H, C.Bits), C.Expected) << C.Name;
  }
}

TEST(LZWEncode, RoundTripsThroughAStandardDecoder) {
  struct Case {
    const char* Name;
    int W, H, Bits;
    std::vector<uint8_t> Pixels;
  };
  std::vector<Case> Cases;
  for (int Bits : {1, 4, 8}) {
    Cases.push_back({"noise", 97, 61, Bits, NoisePixels(97 * 61, Bits, 7u + Bits)});
    Cases.push_back({"flat", 300, 200, Bits, std::vector<uint8_t>(300 * 200, 1)});
    std::vector<uint8_t> Stripes(50 * 40);
    for (size_t I = 0; I < Stripes.size(); ++I)
      Stripes[I] = static_cast<uint8_t>((I / 3) % (1u << Bits));
    Cases.push_back({"stripes", 50, 40, Bits, Stripes});
  }
  // Noise large enough to reset the table many times.
  Cases.push_back({"large noise", 640, 480, 8, NoisePixels(640 * 480, 8, 99)});
  Cases.push_back({"1x1 1-bit", 1, 1, 1, {1}});
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Name) + " bits " + std::to_string(C.Bits));
    const std::vector<uint8_t> Out = Encode(C.Pixels, C.W, C.H, C.Bits);
    const TDecodedCodes D = DecodeGIFBlock(Out);
    ASSERT_EQ(D.Error, "");
    EXPECT_EQ(D.BytesUsed, Out.size());
    EXPECT_EQ(D.MinCodeSize, C.Bits == 1 ? 2 : C.Bits);
    EXPECT_TRUE(D.SawEnd);
    EXPECT_EQ(D.Pixels, C.Pixels);
    for (auto [Code, Width] : D.Codes) ASSERT_LE(Width, 12);
    EXPECT_EQ(D.Codes.front().first, 1 << D.MinCodeSize);  // starts with the clear code
  }
}

TEST(LZWEncode, TableResetAt4094) {
  const std::vector<uint8_t> Pixels = NoisePixels(200 * 200, 8, 3);
  const TDecodedCodes D = DecodeGIFBlock(Encode(Pixels, 200, 200, 8));
  ASSERT_EQ(D.Error, "");
  size_t At = 0;  // the first clear code after the opening one
  for (size_t I = 1; I < D.Codes.size() && At == 0; ++I)
    if (D.Codes[I].first == 256) At = I;
  ASSERT_GT(At, 1u);
  // Codes before the reset: the opening clear, one code per assigned entry 258..4094, then the
  // pixel that did not fit as a 12-bit code of its own, then the clear at 12 bits; the code
  // after it is 9 bits wide again.
  EXPECT_EQ(At, 1 + (4094 - 258 + 1) + 1);
  EXPECT_LT(D.Codes[At - 1].first, 256);
  EXPECT_EQ(D.Codes[At - 1].second, 12);
  EXPECT_EQ(D.Codes[At].second, 12);
  EXPECT_EQ(D.Codes[At + 1].second, 9);

  // A picture that ends right at the reset: nothing follows the last clear but the end code.
  const size_t N = D.PixelsBefore[At];
  const std::vector<uint8_t> Head(Pixels.begin(), Pixels.begin() + N);
  const TDecodedCodes H = DecodeGIFBlock(Encode(Head, static_cast<int>(N), 1, 8));
  ASSERT_EQ(H.Error, "");
  ASSERT_EQ(H.Codes.size(), At + 2);
  EXPECT_EQ(H.Codes[At].first, 256);
  EXPECT_EQ(H.Codes[At + 1], std::make_pair(257, 9));
  EXPECT_EQ(H.Pixels, Head);
}

TEST(LZWEncode, CodesFillingExactly255BytesGiveOneFullSubBlock) {
  // Pictures of growing length until the codes take exactly 255 bytes.
  const std::vector<uint8_t> Pixels = NoisePixels(4000, 8, 11);
  bool Found = false;
  for (int N = 200; N < 4000 && !Found; ++N) {
    const std::vector<uint8_t> Head(Pixels.begin(), Pixels.begin() + N);
    const std::vector<uint8_t> Out = Encode(Head, N, 1, 8);
    if (Out.size() != 1 + 256 + 1) continue;
    Found = true;
    EXPECT_EQ(Out[1], 255);
    EXPECT_EQ(Out.back(), 0);
    EXPECT_EQ(DecodeGIFBlock(Out).Pixels, Head);
  }
  EXPECT_TRUE(Found);
  // One byte more of codes starts a second, one-byte sub-block.
  const std::vector<uint8_t> Big = Encode(Pixels, 4000, 1, 8);
  const TDecodedCodes D = DecodeGIFBlock(Big);
  EXPECT_EQ(D.Error, "");
  EXPECT_GT(D.SubBlocks, 1u);
  for (size_t P = 1, K = 0; K + 1 < D.SubBlocks; ++K, P += 256) EXPECT_EQ(Big[P], 255);
}

TEST(LZWEncode, PackedPixelsIgnoreUnusedNibblesBitsAndPadding) {
  // 3 pixels wide: the last pixel of a 4-bit row is the high nibble of byte 1; the low nibble
  // and the padding bytes must not matter. Likewise the unused bits of a 1-bit row.
  struct Case {
    int Bits, W, H;
  };
  for (const Case& C : {Case{4, 3, 2}, Case{4, 5, 3}, Case{1, 3, 2}, Case{1, 13, 3}}) {
    SCOPED_TRACE("bits " + std::to_string(C.Bits) + " width " + std::to_string(C.W));
    const std::vector<uint8_t> Pixels =
        NoisePixels(static_cast<size_t>(C.W) * C.H, C.Bits, 5u + C.W);
    std::vector<uint8_t> Clean = PackRows(Pixels, C.W, C.H, C.Bits);
    std::vector<uint8_t> Dirty = Clean;
    const size_t Stride = Clean.size() / C.H;
    const size_t UsedBits = static_cast<size_t>(C.W) * C.Bits;
    for (size_t R = 0; R < static_cast<size_t>(C.H); ++R)
      for (size_t Bit = UsedBits; Bit < Stride * 8; ++Bit)
        Dirty[R * Stride + Bit / 8] |= static_cast<uint8_t>(0x80 >> (Bit % 8));
    TMemoryStream A, B;
    EncodeImageData(A, {C.W, C.H, C.Bits}, Clean.data(), static_cast<int64_t>(Clean.size()), {});
    EncodeImageData(B, {C.W, C.H, C.Bits}, Dirty.data(), static_cast<int64_t>(Dirty.size()), {});
    EXPECT_EQ(A.Bytes(), B.Bytes());
    EXPECT_EQ(DecodeGIFBlock(A.Bytes()).Pixels, Pixels);
  }
}

namespace {
struct TReport {
  TEncodeStage Stage;
  int Percent;
  std::string Msg;
};
}  // namespace

TEST(LZWEncode, ProgressPerRow) {
  for (int H : {1, 3, 7}) {
    std::vector<TReport> Log;
    Encode(std::vector<uint8_t>(4 * H, 2), 4, H, 8,
           [&](TEncodeStage S, int P, const std::string& M) {
             Log.push_back({S, P, M});
           });
    ASSERT_EQ(Log.size(), static_cast<size_t>(H) + 2);
    EXPECT_EQ(Log.front().Stage, TEncodeStage::esStarting);
    EXPECT_EQ(Log.front().Percent, 0);
    for (int R = 1; R <= H; ++R) {
      EXPECT_EQ(Log[R].Stage, TEncodeStage::esRunning);
      EXPECT_EQ(Log[R].Percent, static_cast<int>(100.0 * R / H));
      EXPECT_GE(Log[R].Percent, Log[R - 1].Percent);
    }
    EXPECT_EQ(Log[H].Percent, 100);
    EXPECT_EQ(Log.back().Stage, TEncodeStage::esEnding);
    EXPECT_EQ(Log.back().Percent, 100);
    EXPECT_EQ(Log.back().Msg, "");
  }
}

TEST(LZWEncode, FailuresEndWithAZeroPercentReportAndPropagate) {
  const std::vector<uint8_t> Rows = PackRows(NoisePixels(64 * 64, 8, 1), 64, 64, 8);
  {  // a handler that cancels after the second row
    std::vector<TReport> Log;
    TMemoryStream S;
    auto Handler = [&](TEncodeStage St, int P, const std::string& M) {
      Log.push_back({St, P, M});
      if (St == TEncodeStage::esRunning && Log.size() == 3) throw EAbort();
    };
    EXPECT_THROW(
        EncodeImageData(S, {64, 64, 8}, Rows.data(), static_cast<int64_t>(Rows.size()), Handler),
        EAbort);
    ASSERT_EQ(Log.size(), 4u);
    EXPECT_EQ(Log.back().Stage, TEncodeStage::esEnding);
    EXPECT_EQ(Log.back().Percent, 0);
    EXPECT_EQ(Log.back().Msg, EAbort().Message());
    EXPECT_GT(S.Size(), 0);  // what was written stays
  }
  {  // a stream that stops accepting bytes
    std::vector<TReport> Log;
    TFailingStream S(100);
    EXPECT_THROW(EncodeImageData(S, {64, 64, 8}, Rows.data(), static_cast<int64_t>(Rows.size()),
                                 [&](TEncodeStage St, int P, const std::string& M) {
                                   Log.push_back({St, P, M});
                                 }),
                 EWriteError);
    ASSERT_FALSE(Log.empty());
    EXPECT_EQ(Log.back().Stage, TEncodeStage::esEnding);
    EXPECT_EQ(Log.back().Percent, 0);
    EXPECT_EQ(Log.back().Msg, EWriteError().Message());
  }
}

TEST(LZWEncode, RejectsPicturesItCannotRead) {
  const std::vector<uint8_t> Rows(64, 0);
  struct Case {
    TEncodeHeader H;
    int64_t Size;
  };
  for (const Case& C : {Case{{4, 4, 24}, 64}, Case{{4, 4, 2}, 64}, Case{{0, 4, 8}, 64},
                        Case{{4, 0, 8}, 64}, Case{{4, -4, 8}, 64}, Case{{4, 17, 8}, 64}}) {
    TMemoryStream S;
    try {
      EncodeImageData(S, C.H, Rows.data(), C.Size, {});
      ADD_FAILURE() << "no error for " << C.H.Width << "x" << C.H.Height << "x" << C.H.BitsPerPixel;
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), SGIFEncodeError);
    }
    EXPECT_EQ(S.Size(), 0);
  }
}

TEST(LZWEncode, TheCodecsOwnDecoderReadsEveryDepthBack) {
  struct Case {
    int W, H, Bits;
  };
  for (const Case& C : {Case{33, 17, 1}, Case{31, 9, 4}, Case{257, 129, 8}, Case{1, 1, 8}}) {
    SCOPED_TRACE(std::to_string(C.Bits) + " bits");
    const std::vector<uint8_t> Pixels =
        NoisePixels(static_cast<size_t>(C.W) * C.H, C.Bits, 17u + C.W);
    const std::vector<uint8_t> Rows = PackRows(Pixels, C.W, C.H, C.Bits);
    TMemoryStream Code;
    EncodeImageData(Code, {C.W, C.H, C.Bits}, Rows.data(), static_cast<int64_t>(Rows.size()), {});
    Code.SetPosition(0);
    std::vector<uint8_t> Out(Rows.size(), 0);
    bool Corrupt = false;
    DecodeLZW(Code, C.W, C.H, C.Bits, false, nullptr, Corrupt, Out, C.Bits, false);
    EXPECT_FALSE(Corrupt);
    EXPECT_EQ(Out, Rows);
  }
}
