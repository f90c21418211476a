#include <gtest/gtest.h>

#include <cstring>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gif/gif_image.h"
#include "gif_reader_fixtures.h"

using namespace orn;
using namespace giftest;

namespace {

std::vector<TRGB> Palette(int Count) {
  std::vector<TRGB> T;
  for (int I = 0; I < Count; ++I)
    T.push_back(
        {static_cast<uint8_t>(I), static_cast<uint8_t>(255 - I), static_cast<uint8_t>(I * 3)});
  return T;
}

uint32_t DWordAt(const std::vector<uint8_t>& B, size_t At) {
  return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (static_cast<uint32_t>(B[At + 3]) << 24);
}

struct TProgressLog {
  int Starting = 0, Running = 0, Ending = 0;
  int LastPercent = -1;
  std::string LastMessage;
  bool SenderOk = true;
};

void Listen(TGIFImage& Image, TProgressLog& Log) {
  Image.OnProgress = [&Image, &Log](TObject* Sender, TProgressStage Stage, uint8_t Percent,
                                    bool RedrawNow, const TRect& R, const std::string& Msg) {
    Log.SenderOk = Log.SenderOk && Sender == &Image && !RedrawNow && R == TRect{0, 0, 0, 0};
    if (Stage == TProgressStage::psStarting) ++Log.Starting;
    if (Stage == TProgressStage::psRunning) ++Log.Running;
    if (Stage == TProgressStage::psEnding) ++Log.Ending;
    Log.LastPercent = Percent;
    Log.LastMessage = Msg;
  };
}

}  // namespace

TEST(GIFDecodeBitmap, BuildsTheExactBMPFile) {
  // 3 x 2 pixels 0 1 2 / 3 2 1 over a 4-colour table: 2 bits per pixel become a 4-bit BMP.
  auto I = Loaded(TGIFBuilder()
                      .Header()
                      .Screen(3, 2, Four)
                      .Image(0, 0, 3, 2, LiteralLZW(2, {0, 1, 2, 3, 2, 1}))
                      .Trailer()
                      .B);
  TMemoryStream S;
  S.WriteByte(0xEE);  // emptied first
  I->Frames(0)->BuildDIBStream(S);
  EXPECT_EQ(S.Position(), 0);
  const std::vector<uint8_t>& B = S.Bytes();
  const uint32_t Offset = 54 + 16 * 4, Image = 4 * 2;
  ASSERT_EQ(B.size(), Offset + Image);
  EXPECT_EQ(B[0], 'B');
  EXPECT_EQ(B[1], 'M');
  EXPECT_EQ(DWordAt(B, 2), Offset + Image);
  EXPECT_EQ(DWordAt(B, 6), 0u);
  EXPECT_EQ(DWordAt(B, 10), Offset);
  EXPECT_EQ(DWordAt(B, 14), 40u);
  EXPECT_EQ(DWordAt(B, 18), 3u);
  EXPECT_EQ(DWordAt(B, 22), 2u);
  EXPECT_EQ(B[26] | (B[27] << 8), 1);
  EXPECT_EQ(B[28] | (B[29] << 8), 4);
  EXPECT_EQ(DWordAt(B, 30), 0u);
  EXPECT_EQ(DWordAt(B, 34), Image);
  for (size_t At : {38, 42, 46, 50}) EXPECT_EQ(DWordAt(B, At), 0u);
  // Colour table: blue, green, red, 0 for the four colours, then grey 128 with reserved 128.
  const std::vector<uint8_t> Quads(B.begin() + 54, B.begin() + Offset);
  EXPECT_EQ(std::vector<uint8_t>(Quads.begin(), Quads.begin() + 16),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0}));
  for (size_t K = 16; K < Quads.size(); ++K) EXPECT_EQ(Quads[K], 128);
  // Rows bottom-up, high nibble first, padded to 4 bytes.
  EXPECT_EQ(std::vector<uint8_t>(B.begin() + Offset, B.end()),
            (std::vector<uint8_t>{0x32, 0x10, 0, 0, 0x01, 0x20, 0, 0}));
}

TEST(GIFDecodeBitmap, DepthFollowsColourCount) {
  struct TCase {
    int Colors, Depth;
  };
  for (TCase C : {TCase{2, 1}, {4, 4}, {8, 4}, {16, 4}, {32, 8}, {64, 8}, {128, 8}, {256, 8}}) {
    SCOPED_TRACE(C.Colors);
    const int CodeSize = std::max(2, BitsForColorCount(C.Colors));
    auto I = Loaded(TGIFBuilder()
                        .Header()
                        .Screen(2, 1, Palette(C.Colors))
                        .Image(0, 0, 2, 1, LiteralLZW(CodeSize, {C.Colors - 1, 1}))
                        .Trailer()
                        .B);
    TGIFFrame& F = *I->Frames(0);
    TMemoryStream S;
    F.BuildDIBStream(S);
    EXPECT_EQ(S.Bytes()[28], C.Depth);
    if (C.Colors == 8) {  // entries 8..15 of a 4-bit table are grey
      for (int E = 8; E < 16; ++E) EXPECT_EQ(DWordAt(S.Bytes(), 54 + 4 * E), 0x80808080u);
    }
    TBitmap* B = F.DecodedBitmap();
    EXPECT_EQ(B->Width(), 2);
    EXPECT_EQ(B->Height(), 1);
    // A 1-bit bitmap stays device-independent; the others become the display's form.
    EXPECT_EQ(B->HandleType(), C.Depth == 1 ? TBitmapHandleType::bmDIB : TBitmapHandleType::bmDDB);
    const TRGB Last = Palette(C.Colors)[C.Colors - 1];
    EXPECT_EQ(B->Canvas().Pixels(0, 0), RGB(Last.R, Last.G, Last.B));
    EXPECT_EQ(F.DecodedBitmap(), B);  // decoded once, then kept
  }
}

TEST(GIFDecodeBitmap, InterlacedFramePixels) {
  // Stored rows 0..4 of a 1-pixel-wide interlaced frame hold colours 0..4; they belong to
  // rows 0, 4, 2, 1, 3.
  auto I = Loaded(TGIFBuilder()
                      .Header()
                      .Screen(1, 5, Palette(8))
                      .Image(0, 0, 1, 5, LiteralLZW(3, {0, 1, 2, 3, 4}), {}, true)
                      .Trailer()
                      .B);
  TBitmap* B = I->Frames(0)->DecodedBitmap();
  const int Row[5] = {0, 4, 2, 1, 3};
  for (int N = 0; N < 5; ++N) {
    const TRGB C = Palette(8)[N];
    EXPECT_EQ(B->Canvas().Pixels(0, Row[N]), RGB(C.R, C.G, C.B)) << N;
  }
}

TEST(GIFDecodeBitmap, ProgressAndFailures) {
  auto I = Loaded(TwoFrameGIF());
  TProgressLog Log;
  Listen(*I, Log);
  I->Frames(0)->DecodedBitmap();
  // Codes: clear (with its literal), 1, 2, 3 (each followed by a report), then the end code.
  EXPECT_EQ(Log.Starting, 1);
  EXPECT_EQ(Log.Running, 4);
  EXPECT_EQ(Log.Ending, 1);
  EXPECT_EQ(Log.LastPercent, 100);
  EXPECT_EQ(Log.LastMessage, "");
  EXPECT_TRUE(Log.SenderOk);

  // A frame whose data stop early: "Stream read error", also lenient; the bitmap stays empty,
  // the damage flag is untouched, and the next request decodes again.
  // Three codes for nine pixels (the padding bits of the last byte add one more pixel).
  Bytes Short = LiteralLZW(2, {0, 1, 2}, false);
  auto J = Loaded(TGIFBuilder().Header().Screen(3, 3, Four).Image(0, 0, 3, 3, Short).Trailer().B);
  TProgressLog Fail;
  Listen(*J, Fail);
  TGIFFrame& F = *J->Frames(0);
  for (int Attempt = 1; Attempt <= 2; ++Attempt) {
    try {
      F.DecodedBitmap();
      ADD_FAILURE();
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), "Stream read error");
    }
    ASSERT_TRUE(F.FrameBitmap());
    EXPECT_TRUE(F.FrameBitmap()->Empty());
    EXPECT_FALSE(F.DataCorrupt());
    EXPECT_EQ(Fail.Starting, Attempt);
    EXPECT_EQ(Fail.LastPercent, 0);
    EXPECT_EQ(Fail.LastMessage, "Stream read error");
  }
  // The failure passes out of everything that needs the frame's pixels; measuring takes the
  // size from the descriptor and needs none.
  EXPECT_THROW(J->GetWidth(), EInvalidGraphicOperation);
  EXPECT_NO_THROW(J->RecalcLogicalSize());
}

TEST(GIFDecodeBitmap, BadCodeSizeLenientAndStrict) {
  Bytes Data = LiteralLZW(2, {1, 2, 3, 1});
  Data[0] = 12;  // clamped to 9 in lenient mode
  auto I = Loaded(TGIFBuilder().Header().Screen(4, 1, Four).Image(0, 0, 4, 1, Data).Trailer().B);
  TGIFFrame& F = *I->Frames(0);
  GIFLenientLoading = false;
  try {
    F.DecodedBitmap();
    ADD_FAILURE();
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "Размер кода GIF не принадлежит диапазону от 2 до 9");
  }
  GIFLenientLoading = true;
  EXPECT_FALSE(F.DataCorrupt());
  TBitmap* B = F.DecodedBitmap();
  EXPECT_TRUE(F.DataCorrupt());
  EXPECT_EQ(B->Width(), 4);
  // Rows the decoder did not reach show colour index 0.
  EXPECT_EQ(B->Canvas().Pixels(3, 0), RGB(0, 0, 0));
}

TEST(GIFDecodeBitmap, RefusesHugeFramesBeforeAllocating) {
  struct TCase {
    int W, H;
    const char* Error;
  };
  const TCase Cases[] = {
      {65535, 65535, "GIF frame too large: 65535 x 65535 pixels"},
      {8192, 8193, "GIF frame too large: 8192 x 8193 pixels"},
      {70000 / 2, 3000, "GIF frame too large: 35000 x 3000 pixels"},
      // Exactly 2^26 pixels is accepted; this frame then runs out of data.
      {8192, 8192, "Stream read error"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Error);
    auto I = Loaded(TGIFBuilder()
                        .Header()
                        .Screen(1, 1, {{0, 0, 0}, {255, 255, 255}})
                        .Image(0, 0, C.W, C.H, LiteralLZW(2, {1, 0, 1}, false))
                        .Trailer()
                        .B);
    try {
      I->Frames(0)->DecodedBitmap();
      ADD_FAILURE();
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), C.Error);
    }
  }
}

TEST(GIFDecodeBitmap, DrawHonoursTransparency) {
  // Frame 0 of the fixture: pixels black, red / green, blue with blue as key colour.
  auto I = Loaded(TwoFrameGIF());
  auto Paint = [&](bool Transparent) {
    auto Target = std::make_unique<TBitmap>();
    Target->Canvas().Brush().SetColor(clWhite);
    Target->SetSize(4, 4);
    I->SetTransparent(Transparent);
    I->Draw(Target->Canvas(), TRect{0, 0, 2, 2});
    return Target;
  };
  auto Opaque = Paint(false);
  EXPECT_EQ(Opaque->Canvas().Pixels(1, 0), RGB(255, 0, 0));
  EXPECT_EQ(Opaque->Canvas().Pixels(1, 1), RGB(0, 0, 255));
  auto Keyed = Paint(true);
  EXPECT_EQ(Keyed->Canvas().Pixels(1, 0), RGB(255, 0, 0));
  EXPECT_EQ(Keyed->Canvas().Pixels(1, 1), clWhite);
  // Stretched into a larger rectangle.
  auto Big = std::make_unique<TBitmap>();
  Big->SetSize(4, 4);
  I->SetTransparent(false);
  I->Draw(Big->Canvas(), TRect{0, 0, 4, 4});
  EXPECT_EQ(Big->Canvas().Pixels(3, 3), RGB(0, 0, 255));
  EXPECT_EQ(Big->Canvas().Pixels(2, 0), RGB(255, 0, 0));
  // Without a current frame nothing is drawn.
  I->SetCurrentIndex(-1);
  auto None = std::make_unique<TBitmap>();
  None->Canvas().Brush().SetColor(clWhite);
  None->SetSize(2, 2);
  I->Draw(None->Canvas(), TRect{0, 0, 2, 2});
  EXPECT_EQ(None->Canvas().Pixels(0, 0), clWhite);
}

// A two-colour frame becomes a 1-bit bitmap; drawn keyed, its own transparent colour is left
// out, whichever of its two colours that is: a red circle on a transparent black background,
// and black-and-white pictures with either colour transparent.
TEST(GIFDecodeBitmap, TwoColourFrameKeysItsTransparentColour) {
  struct TCase {
    const char* Name;
    std::vector<TRGB> Table;
    int TransparentIndex;
  };
  const TCase Cases[] = {
      {"red on transparent black", {{0, 0, 0}, {255, 0, 0}}, 0},
      {"black transparent, white shown", {{0, 0, 0}, {255, 255, 255}}, 0},
      {"white transparent, black shown", {{255, 255, 255}, {0, 0, 0}}, 0},
      {"index 1 transparent", {{0, 0, 255}, {0, 255, 0}}, 1},
  };
  const TColor Below = RGB(10, 20, 30);
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    // 3 x 1: indices 0 1 0, drawn stretched to 6 x 1.
    auto I = Loaded(TGIFBuilder()
                        .Header()
                        .Screen(3, 1, C.Table)
                        .GraphicControl(0x01, 0, C.TransparentIndex)
                        .Image(0, 0, 3, 1, LiteralLZW(2, {0, 1, 0}))
                        .Trailer()
                        .B);
    ASSERT_TRUE(I->Frames(0)->DecodedBitmap()->Monochrome());
    I->SetTransparent(true);
    auto Shown = [&](int Index) {
      const TRGB& T = C.Table[static_cast<size_t>(Index)];
      return Index == C.TransparentIndex ? Below : RGB(T.R, T.G, T.B);
    };
    TBitmap Target;
    Target.Canvas().Brush().SetColor(Below);
    Target.SetSize(6, 1);
    I->Draw(Target.Canvas(), TRect{0, 0, 6, 1});
    std::vector<TColor> Got;
    for (int X = 0; X < 6; ++X) Got.push_back(Target.Canvas().Pixels(X, 0));
    EXPECT_EQ(Got,
              (std::vector<TColor>{Shown(0), Shown(0), Shown(1), Shown(1), Shown(0), Shown(0)}));
  }
}

// The decoded bitmap is made in one pass; it must equal what loading the frame's BMP file into
// a bitmap and converting that to the display's form gives: pixels and palette.
TEST(GIFDecodeBitmap, DirectConversionMatchesLoadingTheFile) {
  for (int Colors : {4, 8, 16, 64, 256}) {
    SCOPED_TRACE(Colors);
    std::vector<int> Pixels;
    for (int K = 0; K < 7 * 5; ++K) Pixels.push_back((K * 5 + K / 7) % Colors);
    auto I =
        Loaded(TGIFBuilder()
                   .Header()
                   .Screen(7, 5, Palette(Colors))
                   .Image(0, 0, 7, 5, LiteralLZW(std::max(2, BitsForColorCount(Colors)), Pixels))
                   .Trailer()
                   .B);
    TGIFFrame& F = *I->Frames(0);
    TMemoryStream File;
    F.BuildDIBStream(File);
    TBitmap Expected;
    Expected.LoadFromStream(File);
    Expected.SetHandleType(TBitmapHandleType::bmDDB);
    TBitmap* Got = F.DecodedBitmap();
    ASSERT_EQ(Got->HandleType(), TBitmapHandleType::bmDDB);
    ASSERT_EQ(Got->PixelFormat(), Expected.PixelFormat());
    for (int Y = 0; Y < 5; ++Y)
      EXPECT_EQ(std::memcmp(Got->ScanLine(Y), Expected.ScanLine(Y), 7 * 4), 0) << Y;
    std::vector<TPaletteEntry> A(256), B(256);
    const int NA = GetPaletteEntries(Got->Palette(), 0, 256, A.data());
    const int NB = GetPaletteEntries(Expected.Palette(), 0, 256, B.data());
    ASSERT_EQ(NA, NB);
    for (int K = 0; K < NA; ++K) {
      EXPECT_EQ(A[K].peRed, B[K].peRed);
      EXPECT_EQ(A[K].peGreen, B[K].peGreen);
      EXPECT_EQ(A[K].peBlue, B[K].peBlue);
    }
    EXPECT_TRUE(Got->PaletteModified());
  }
}
