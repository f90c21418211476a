#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/exceptions.h"
#include "gif/color_reduction.h"
#include "gif/encode_test_util.h"
#include "gif/gif_image.h"
#include "gif/gif_reader_fixtures.h"
#include "gif/write_test_util.h"

using namespace orn;
using namespace orn::testing;

namespace {

std::vector<uint8_t> Save(TGIFImage& Image) {
  TMemoryStream S;
  Image.SaveToStream(S);
  return S.Bytes();
}

std::unique_ptr<TGIFImage> Load(const std::vector<uint8_t>& Bytes) {
  auto I = std::make_unique<TGIFImage>();
  TMemoryStream S;
  giftest::Fill(S, Bytes);
  I->LoadFromStream(S);
  return I;
}

// A 24-bit picture of a few colours that vary over the picture.
TColor Pattern(int X, int Y) {
  static const TColor Colors[] = {clRed, clLime, clBlue, clWhite, clBlack, RGB(10, 20, 30)};
  return Colors[(X + 2 * Y) % 6];
}

void ExpectPixels(TGIFFrame& F, int W, int H, const std::function<TColor(int, int)>& Pixel) {
  TBitmap* B = F.DecodedBitmap();
  ASSERT_EQ(B->Width(), W);
  ASSERT_EQ(B->Height(), H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) ASSERT_EQ(B->Canvas().Pixels(X, Y), Pixel(X, Y)) << X << "," << Y;
}

template <typename F>
void ExpectGIFError(F&& Call, const char* Message) {
  try {
    Call();
    ADD_FAILURE() << "no error, expected " << Message;
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), Message);
  }
}

}  // namespace

TEST(GIFWrite, OneBitmapIsA87aImageWithAFullGlobalTable) {
  TGIFImage I;
  auto B = Bitmap24(7, 5, Pattern);
  I.AppendFrame(B.get());
  const std::vector<uint8_t> Bytes = Save(I);
  const TParsedGIF G = ParseGIF(Bytes);
  ASSERT_EQ(G.Error, "");
  EXPECT_EQ(G.Signature, "GIF87a");
  EXPECT_EQ(G.Width, 7);
  EXPECT_EQ(G.Height, 5);
  EXPECT_EQ(G.ScreenPacked, 0xF7);
  EXPECT_EQ(G.GlobalTable.size(), 256u * 3);
  ASSERT_EQ(G.Blocks.size(), 1u);  // no extension
  const TParsedBlock& Img = G.Blocks[0];
  EXPECT_EQ(Img.Kind, ',');
  EXPECT_EQ(Img.Packed(), 0x00);
  EXPECT_EQ(Img.Fixed, std::vector<uint8_t>({0, 0, 0, 0, 7, 0, 5, 0, 0}));
  EXPECT_EQ(Img.Data[0], 8);
  EXPECT_EQ(G.Length, Bytes.size());
  // The popularity palette keeps the six colours exactly.
  auto Back = Load(Bytes);
  ASSERT_EQ(Back->FrameCount(), 1);
  ExpectPixels(*Back->Frames(0), 7, 5, Pattern);
  // The image was changed by the save: encoded frame, global table, logical size.
  EXPECT_TRUE(I.Frames(0)->Item()->FCodeStream);
  EXPECT_FALSE(I.Frames(0)->HasLocalTable());
  EXPECT_EQ(I.GlobalData()->FGlobalTable.EntryCount, 256);
  EXPECT_EQ(I.GlobalData()->FGlobalBits, 8);
  EXPECT_EQ(I.Frames(0)->Item()->FPixelBits, 8);
}

TEST(GIFWrite, SecondBitmapGetsALocalTableAnd89a) {
  TGIFImage I;
  auto A = Bitmap24(4, 4, Pattern);
  auto B = Bitmap24(3, 6, [](int X, int Y) { return Pattern(Y, X + 1); });
  I.AppendFrame(A.get());
  I.AppendFrame(B.get());
  const std::vector<uint8_t> Bytes = Save(I);
  const TParsedGIF G = ParseGIF(Bytes);
  ASSERT_EQ(G.Error, "");
  EXPECT_EQ(G.Signature, "GIF89a");
  EXPECT_EQ(G.Width, 4);
  EXPECT_EQ(G.Height, 6);
  const auto Images = G.Images();
  ASSERT_EQ(Images.size(), 2u);
  EXPECT_EQ(G.Blocks.size(), 2u);  // still no extensions
  EXPECT_EQ(Images[0].Packed(), 0x00);
  EXPECT_EQ(Images[1].Packed(), 0x87);
  EXPECT_EQ(Images[1].LocalTable.size(), 256u * 3);
  // The first frame's colours form the global table: its most frequent colour comes first.
  const TGIFTriple First = I.Frames(0)->Item()->FFrameTable.Entries[0];
  EXPECT_EQ(G.GlobalTable[0], First.Red);
  EXPECT_EQ(G.GlobalTable[1], First.Green);
  EXPECT_EQ(G.GlobalTable[2], First.Blue);
  auto Back = Load(Bytes);
  ASSERT_EQ(Back->FrameCount(), 2);
  ExpectPixels(*Back->Frames(0), 4, 4, Pattern);
  ExpectPixels(*Back->Frames(1), 3, 6, [](int X, int Y) { return Pattern(Y, X + 1); });
}

TEST(GIFWrite, IndexedBitmapsKeepTheirOwnColoursAndDepth) {
  const std::vector<TColor> Sixteen = {clBlack, clMaroon,  clGreen,  clOlive, clNavy, clPurple,
                                       clTeal,  clGray,    clSilver, clRed,   clLime, clYellow,
                                       clBlue,  clFuchsia, clAqua,   clWhite};
  struct Case {
    int Bits, MinCode, Entries;
    uint8_t Packed;
  };
  for (const Case& C : {Case{1, 2, 2, 0x80}, Case{4, 4, 16, 0xB3}, Case{8, 8, 256, 0xF7}}) {
    SCOPED_TRACE(C.Bits);
    auto Index = [&](int X, int Y) { return (X * 3 + Y) % C.Entries % 16; };
    auto B = IndexedBitmap(9, 4, C.Bits, Sixteen, Index);
    TGIFImage I;
    I.AppendFrame(B.get());
    const std::vector<uint8_t> Bytes = Save(I);
    const TParsedGIF G = ParseGIF(Bytes);
    ASSERT_EQ(G.Error, "");
    EXPECT_EQ(G.ScreenPacked, C.Packed);
    EXPECT_EQ(G.GlobalTable.size(), 3u * C.Entries);
    EXPECT_EQ(G.Images()[0].Data[0], C.MinCode);
    // The code data hold the bitmap's own indices, top row first.
    std::vector<uint8_t> Expected;
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < 9; ++X) Expected.push_back(static_cast<uint8_t>(Index(X, Y)));
    EXPECT_EQ(DecodeGIFBlock(G.Images()[0].Data).Pixels, Expected);
    auto Back = Load(Bytes);
    ExpectPixels(*Back->Frames(0), 9, 4, [&](int X, int Y) { return Sixteen[Index(X, Y)]; });
  }
}

TEST(GIFWrite, GraphicControlFromDelayKeyAndDisposal) {
  struct Case {
    uint16_t Delay;
    TColor Key;
    TGIFDisposal Dispose;
    bool Expect;
    uint8_t Packed;
    int Field;
  };
  const std::vector<Case> Cases = {
      {250, clNone, TGIFDisposal::gdUnspecified, true, 0x00, 25},
      {5, clNone, TGIFDisposal::gdUnspecified, true, 0x00, 0},
      {0, clNone, TGIFDisposal::gdRestoreBackground, true, 0x08, 0},
      {0, clNone, static_cast<TGIFDisposal>(7), true, 0x1C, 0},
      {0, clRed, TGIFDisposal::gdUnspecified, true, 0x01, 0},
      {0, clNone, TGIFDisposal::gdUnspecified, false, 0, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Delay);
    TGIFImage I;
    auto B = Bitmap24(2, 2, [](int X, int) { return X ? clRed : clBlue; });
    I.AppendFrame(B.get());
    TGIFFrame& F = *I.Frames(0);
    F.SetDelayMs(C.Delay);
    F.SetKeyColor(C.Key);
    F.SetDisposeMode(C.Dispose);
    const TParsedGIF G = ParseGIF(Save(I));
    ASSERT_EQ(G.Error, "");
    ASSERT_EQ(G.Blocks.size(), C.Expect ? 2u : 1u);
    EXPECT_EQ(G.Signature, C.Expect ? "GIF89a" : "GIF87a");
    if (!C.Expect) continue;
    const TParsedBlock& E = G.Blocks[0];
    EXPECT_EQ(E.Label, 0xF9);
    EXPECT_EQ(E.Fixed[0], 4);
    EXPECT_EQ(E.Fixed[1], C.Packed);
    EXPECT_EQ(E.Fixed[2] | E.Fixed[3] << 8, C.Field);
    EXPECT_EQ(E.Fixed[5], 0);
    if (C.Key != clNone) {
      EXPECT_EQ(E.Fixed[4], ColorIndexInTable(F.Item()->FFrameTable, clRed));
    }
  }
}

TEST(GIFWrite, KeyColourBecomesTheFirstMatchingIndexOrClearsTheFlag) {
  // Table: black, red, green, red. The read frame has transparent index 3 (red).
  giftest::TGIFBuilder G;
  G.Header().Screen(2, 1, {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 0, 0}});
  G.GraphicControl(0x01 | 0x02, 7, 3).Image(0, 0, 2, 1, giftest::LiteralLZW(2, {0, 3})).Trailer();
  auto I = Load(G.B);
  ASSERT_EQ(I->Frames(0)->KeyColor(), clRed);
  {
    const TParsedGIF P = ParseGIF(Save(*I));
    ASSERT_EQ(P.Error, "");
    const TParsedBlock& E = P.Blocks[0];
    EXPECT_EQ(E.Fixed[1], 0x03);  // user-input bit kept, transparency set
    EXPECT_EQ(E.Fixed[4], 1);     // the first red
    EXPECT_EQ(E.Fixed[2], 7);
  }
  I->Frames(0)->SetKeyColor(RGB(1, 2, 3));  // not in the table
  {
    const TParsedGIF P = ParseGIF(Save(*I));
    const TParsedBlock& E = P.Blocks[0];
    EXPECT_EQ(E.Fixed[1], 0x02);  // transparency cleared
    EXPECT_EQ(E.Fixed[4], 1);     // index byte left as it was
  }
}

TEST(GIFWrite, LoopingExtension) {
  auto B = Bitmap24(2, 2, Pattern);
  {  // a single frame never loops
    TGIFImage I;
    I.AppendFrame(B.get());
    I.SetLoopEnabled(true);
    const TParsedGIF P = ParseGIF(Save(I));
    EXPECT_EQ(P.Blocks.size(), 1u);
    EXPECT_EQ(P.Signature, "GIF87a");
  }
  for (uint16_t Count : {uint16_t{0}, uint16_t{0x1234}}) {
    TGIFImage I;
    I.AppendFrame(B.get());
    I.AppendFrame(B.get());
    I.SetLoopEnabled(true);
    I.SetLoopCount(Count);
    const std::vector<uint8_t> Bytes = Save(I);
    const TParsedGIF P = ParseGIF(Bytes);
    ASSERT_EQ(P.Error, "");
    ASSERT_EQ(P.Blocks[0].Label, 0xFF);
    const std::vector<uint8_t> Expected = {0x21,
                                           0xFF,
                                           0x0B,
                                           'N',
                                           'E',
                                           'T',
                                           'S',
                                           'C',
                                           'A',
                                           'P',
                                           'E',
                                           '2',
                                           '.',
                                           '0',
                                           0x03,
                                           0x01,
                                           static_cast<uint8_t>(Count & 0xFF),
                                           static_cast<uint8_t>(Count >> 8),
                                           0x00};
    const size_t At = 6 + 7 + P.GlobalTable.size();
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + At, Bytes.begin() + At + Expected.size()),
              Expected);
    auto Back = Load(Bytes);
    EXPECT_TRUE(Back->LoopEnabled());
    EXPECT_EQ(Back->LoopCount(), Count);
  }
}

TEST(GIFWrite, ImageCommentSubBlocks) {
  TGIFImage I;
  auto B = Bitmap24(2, 2, Pattern);
  I.AppendFrame(B.get());
  I.ImageComment().Add("");
  I.ImageComment().Add(std::string(300, 'x'));
  I.ImageComment().Add("ok");
  const std::vector<uint8_t> Bytes = Save(I);
  const TParsedGIF P = ParseGIF(Bytes);
  ASSERT_EQ(P.Error, "");
  EXPECT_EQ(P.Signature, "GIF89a");
  ASSERT_EQ(P.Blocks.size(), 2u);
  EXPECT_EQ(P.Blocks.back().Label, 0xFE);  // after the last frame
  EXPECT_EQ(P.Blocks.back().SubBlocks, std::vector<std::string>({std::string(255, 'x'), "ok"}));
  std::vector<uint8_t> Tail = {0x21, 0xFE, 0xFF};
  Tail.insert(Tail.end(), 255, 'x');
  Tail.insert(Tail.end(), {0x02, 'o', 'k', 0x00, 0x3B});
  EXPECT_EQ(std::vector<uint8_t>(Bytes.end() - Tail.size(), Bytes.end()), Tail);
}

TEST(GIFWrite, EmptyFrameCommentIsDroppedAndRaisesNothing) {
  TGIFImage I;
  auto B = Bitmap24(2, 2, Pattern);
  I.AppendFrame(B.get());
  I.Frames(0)->LookupComment(true);  // a comment extension with no lines
  const TParsedGIF P = ParseGIF(Save(I));
  EXPECT_EQ(P.Signature, "GIF87a");
  EXPECT_EQ(P.Blocks.size(), 1u);
  EXPECT_TRUE(I.Frames(0)->ExtensionList()->empty());
  // A frame comment with text is kept, before the frame's image.
  I.Frames(0)->CommentLines()->Add("frame note");
  const TParsedGIF Q = ParseGIF(Save(I));
  EXPECT_EQ(Q.Signature, "GIF89a");
  ASSERT_EQ(Q.Blocks.size(), 2u);
  EXPECT_EQ(Q.Blocks[0].Label, 0xFE);
  EXPECT_EQ(Q.Blocks[0].SubBlocks, std::vector<std::string>({"frame note"}));
}

TEST(GIFWrite, BackgroundIndex) {
  // Three colours seen once each: the global table starts red, lime, blue.
  auto B = Bitmap24(3, 1, [](int X, int) { return X == 0 ? clRed : X == 1 ? clLime : clBlue; });
  for (auto [Back, Index] : {std::pair{clLime, 1}, std::pair{clBlue, 2}, std::pair{RGB(1, 1, 1), 0},
                             std::pair{clNone, 0}}) {
    TGIFImage I;
    I.AppendFrame(B.get());
    I.SetBackColor(Back);
    EXPECT_EQ(ParseGIF(Save(I)).Background, Index) << std::hex << Back;
  }
}

TEST(GIFWrite, FailingSaveLeavesTheTargetAlone) {
  {  // no frames
    TGIFImage I;
    TMemoryStream Target;
    Target.WriteByte(0x55);
    ExpectGIFError([&] { I.SaveToStream(Target); }, SGIFNoData);
    EXPECT_EQ(Target.Bytes(), std::vector<uint8_t>{0x55});
  }
  {  // second frame with an empty bitmap and no code data
    TGIFImage I;
    auto A = Bitmap24(3, 3, Pattern);
    I.AppendFrame(A.get());
    I.AppendFrame(A.get());
    I.Frames(1)->FrameBitmap()->SetSize(0, 0);
    TMemoryStream Target;
    Target.WriteByte(0x55);
    ExpectGIFError([&] { I.SaveToStream(Target); }, SGIFNoData);
    EXPECT_EQ(Target.Bytes(), std::vector<uint8_t>{0x55});
    ASSERT_TRUE(I.Frames(0)->Item()->FCodeStream);  // the first frame keeps its new data
    EXPECT_GT(I.Frames(0)->Item()->FCodeStream->Size(), 0);
    EXPECT_EQ(I.GlobalData()->FGlobalTable.EntryCount, 256);
  }
  {  // a frame without a bitmap
    TGIFImage I;
    auto A = Bitmap24(3, 3, Pattern);
    I.AppendFrame(A.get());
    I.Frames(0)->FFrameBitmap.reset();
    ExpectGIFError([&] { Save(I); }, SGIFNoData);
  }
  {  // a global table whose size is not a power of two
    TGIFImage I;
    auto A = Bitmap24(3, 3, Pattern);
    I.AppendFrame(A.get());
    Save(I);
    I.GlobalData()->FGlobalTable.EntryCount = 3;
    TMemoryStream Target;
    ExpectGIFError([&] { I.SaveToStream(Target); }, SGIFColorCount);
    EXPECT_EQ(Target.Size(), 0);
  }
}

TEST(GIFWrite, EncodeDIBStreamRejectsOtherDepthsAndShortFiles) {
  TGIFImage I;
  auto A = Bitmap24(3, 3, Pattern);
  I.AppendFrame(A.get());
  TGIFFrame& F = *I.Frames(0);
  TMemoryStream Bmp24;
  A->SaveToStream(Bmp24);
  ExpectGIFError([&] { F.EncodeDIBStream(Bmp24); }, SGIFEncodeError);

  auto Reduced = ReduceBitmap(*A, TReductionMethod::rmGreyScale);
  for (int64_t Cut : {int64_t{20}, int64_t{600}, Reduced->Size() - 1}) {
    TMemoryStream Short;
    Short.WriteBuffer(Reduced->Memory(), Cut);
    ExpectGIFError([&] { F.EncodeDIBStream(Short); }, SGIFEncodeError);
  }
  // The whole file encodes; the grey palette becomes the frame table.
  F.EncodeDIBStream(*Reduced);
  EXPECT_EQ(F.Item()->FFrameTable.EntryCount, 256);
  EXPECT_EQ(F.Item()->FFrameTable.Entries[200].Green, 200);
  EXPECT_EQ(F.Item()->FExtent.Width, 3);
  EXPECT_EQ(F.Item()->FExtent.Height, 3);
}

TEST(GIFWrite, GreyFramesAndTheDefaultMethod) {
  auto A = Bitmap24(4, 2, Pattern);
  {
    TGIFImage I;
    I.AppendFrame(A.get());
    I.Frames(0)->SetUseGrayPalette(true);
    Save(I);
    EXPECT_EQ(I.GlobalData()->FGlobalTable.Entries[77].Red, 77);  // grey ramp
  }
  // The module-wide method is put back however the test ends.
  struct TRestore {
    TReductionMethod Old = DefaultReduction;
    ~TRestore() { DefaultReduction = Old; }
  } Restore;
  DefaultReduction = TReductionMethod::rmGreyScale;
  TGIFImage I;
  I.AppendFrame(A.get());
  Save(I);
  EXPECT_TRUE(I.Frames(0)->UseGrayPalette());
  DefaultReduction = TReductionMethod::rmUniform666;
  TGIFImage U;
  U.AppendFrame(A.get());
  Save(U);
  EXPECT_FALSE(U.Frames(0)->UseGrayPalette());
  EXPECT_EQ(U.GlobalData()->FGlobalTable.Entries[215].Blue, 255);  // the 6x6x6 cube
}

TEST(GIFWrite, ProgressAndCancelWhileEncoding) {
  auto A = Bitmap24(5, 4, Pattern);
  TGIFImage I;
  I.AppendFrame(A.get());
  I.Frames(0)->SetDelayMs(120);
  std::vector<std::pair<TProgressStage, int>> Log;
  I.OnProgress = [&](TObject* Sender, TProgressStage S, uint8_t P, bool Redraw, const TRect& R,
                     const std::string&) {
    EXPECT_EQ(Sender, &I);
    EXPECT_FALSE(Redraw);
    EXPECT_TRUE(R.IsEmpty());
    Log.push_back({S, P});
  };
  Save(I);
  // starting, one report per row, ending; decoding for the logical size may add its own.
  ASSERT_GE(Log.size(), 6u);
  EXPECT_EQ(Log[0], std::make_pair(TProgressStage::psStarting, 0));
  EXPECT_EQ(Log[4], std::make_pair(TProgressStage::psRunning, 100));
  EXPECT_EQ(Log[5], std::make_pair(TProgressStage::psEnding, 100));

  TGIFImage C;
  C.AppendFrame(A.get());
  C.Frames(0)->SetDelayMs(120);
  C.Frames(0)->SetOrigin(TPoint{2, 3});
  C.OnProgress = [&](TObject*, TProgressStage S, uint8_t, bool, const TRect&, const std::string&) {
    if (S == TProgressStage::psRunning) throw EAbort();
  };
  TMemoryStream Target;
  EXPECT_THROW(C.SaveToStream(Target), EAbort);
  EXPECT_EQ(Target.Size(), 0);
  TGIFFrame& F = *C.Frames(0);
  EXPECT_FALSE(F.Item()->FCodeStream);  // a fresh item
  EXPECT_EQ(F.DelayMs(), 0);
  EXPECT_EQ(F.Origin(), (TPoint{0, 0}));
  EXPECT_TRUE(F.FrameBitmap());  // the bitmap stays, so a later save can encode it
  C.OnProgress = nullptr;
  EXPECT_EQ(ParseGIF(Save(C)).Error, "");
}

TEST(GIFWrite, SecondSaveEncodesNothingAndWritesTheSameBytes) {
  TGIFImage I;
  auto A = Bitmap24(6, 3, Pattern);
  I.AppendFrame(A.get());
  I.AppendFrame(A.get());
  I.Frames(1)->SetDelayMs(40);
  const std::vector<uint8_t> First = Save(I);
  const TMemoryStream* Code = I.Frames(0)->Item()->FCodeStream.get();
  EXPECT_EQ(Save(I), First);
  EXPECT_EQ(I.Frames(0)->Item()->FCodeStream.get(), Code);
  // A read image that the writer made is written back byte for byte.
  auto Back = Load(First);
  EXPECT_EQ(Save(*Back), First);
}

TEST(GIFWrite, RoundTripThroughTheModelKeepsEverything) {
  auto A = Bitmap24(6, 4, Pattern);
  auto B = Bitmap24(3, 3, [](int X, int Y) { return (X + Y) % 2 ? clYellow : clNavy; });
  auto C = Bitmap24(8, 2, [](int X, int) { return RGB(static_cast<uint8_t>(X * 30), 7, 9); });
  TGIFImage I;
  I.AppendFrame(A.get());
  I.AppendFrame(B.get());
  I.AppendFrame(C.get());
  I.Frames(0)->SetDelayMs(100);
  I.Frames(1)->SetDelayMs(2500);
  I.Frames(1)->SetOrigin(TPoint{4, 2});
  I.Frames(1)->SetKeyColor(clYellow);
  I.Frames(1)->SetDisposeMode(TGIFDisposal::gdRestoreBackground);
  I.Frames(2)->SetDisposeMode(TGIFDisposal::gdRestorePrevious);
  I.Frames(2)->SetOrigin(TPoint{1, 5});
  I.SetLoopEnabled(true);
  I.SetLoopCount(3);
  I.ImageComment().Add("made by a test");

  for (bool ViaData : {false, true}) {
    SCOPED_TRACE(ViaData ? "WriteData/ReadData" : "SaveToStream/LoadFromStream");
    TMemoryStream S;
    if (ViaData)
      I.WriteData(S);
    else
      I.SaveToStream(S);
    S.SetPosition(0);
    if (ViaData) {
      uint32_t N = S.ReadDWord();
      EXPECT_EQ(N, S.Size() - 4);
      S.SetPosition(0);
    }
    TGIFImage R;
    if (ViaData)
      R.ReadData(S);
    else
      R.LoadFromStream(S);
    ASSERT_EQ(R.FrameCount(), 3);
    EXPECT_EQ(R.LogicalWidth(), 9);
    EXPECT_EQ(R.LogicalHeight(), 7);
    EXPECT_TRUE(R.LoopEnabled());
    EXPECT_EQ(R.LoopCount(), 3);
    ASSERT_EQ(R.ImageComment().Count(), 1);
    EXPECT_EQ(R.ImageComment()[0], "made by a test");
    const uint16_t Delays[] = {100, 2500, 0};
    const TGIFDisposal Disposals[] = {TGIFDisposal::gdUnspecified,
                                      TGIFDisposal::gdRestoreBackground,
                                      TGIFDisposal::gdRestorePrevious};
    const TColor Keys[] = {clNone, clYellow, clNone};
    const TPoint Origins[] = {{0, 0}, {4, 2}, {1, 5}};
    for (int K = 0; K < 3; ++K) {
      TGIFFrame& F = *R.Frames(K);
      EXPECT_EQ(F.DelayMs(), Delays[K]) << K;
      EXPECT_EQ(F.DisposeMode(), Disposals[K]) << K;
      EXPECT_EQ(F.KeyColor(), Keys[K]) << K;
      EXPECT_EQ(F.Origin(), Origins[K]) << K;
    }
    ExpectPixels(*R.Frames(0), 6, 4, Pattern);
    ExpectPixels(*R.Frames(1), 3, 3, [](int X, int Y) { return (X + Y) % 2 ? clYellow : clNavy; });
    ExpectPixels(*R.Frames(2), 8, 2,
                 [](int X, int) { return RGB(static_cast<uint8_t>(X * 30), 7, 9); });
  }
}

TEST(GIFWrite, ReadImagesAreCopiedNotReencoded) {
  const auto Original = giftest::TwoFrameGIF();
  auto I = Load(Original);
  const TParsedGIF Src = ParseGIF(Original);
  const TParsedGIF Out = ParseGIF(Save(*I));
  ASSERT_EQ(Out.Error, "");
  EXPECT_EQ(Out.Signature, "GIF89a");
  EXPECT_EQ(Out.GlobalTable, Src.GlobalTable);
  ASSERT_EQ(Out.Images().size(), 2u);
  for (int K = 0; K < 2; ++K) {
    EXPECT_EQ(Out.Images()[K].Data, Src.Images()[K].Data);
    EXPECT_EQ(Out.Images()[K].Fixed, Src.Images()[K].Fixed);
    EXPECT_EQ(Out.Images()[K].LocalTable, Src.Images()[K].LocalTable);
  }
  // The graphic control extensions carry the model's settings.
  auto Back = Load(Save(*I));
  EXPECT_EQ(Back->Frames(0)->DelayMs(), 100);
  EXPECT_EQ(Back->Frames(0)->KeyColor(), I->Frames(0)->KeyColor());
  EXPECT_EQ(Back->Frames(1)->DisposeMode(), TGIFDisposal::gdRestoreBackground);
}

TEST(GIFWrite, WriteSubBlocksAndExtensions) {
  TStringList Lines;
  Lines.Add("ab");
  Lines.Add("");
  Lines.Add(std::string(256, 'z'));
  TMemoryStream S;
  WriteSubBlocks(S, Lines);
  std::vector<uint8_t> Want = {2, 'a', 'b', 255};
  Want.insert(Want.end(), 255, 'z');
  Want.push_back(0);
  EXPECT_EQ(S.Bytes(), Want);

  TExtensionList List;
  auto Text = std::make_unique<TExtension>();
  Text->FKind = TGIFExtensionKind::ekPlainText;
  for (int K = 0; K < 13; ++K) Text->FFixedPart[K] = static_cast<uint8_t>(K == 0 ? 12 : K);
  Text->FSubBlocks = std::make_unique<TStringList>();
  Text->FSubBlocks->Add("t");
  List.push_back(std::move(Text));
  List.push_back(nullptr);
  auto App = std::make_unique<TExtension>();
  App->FKind = TGIFExtensionKind::ekApplication;
  App->FFixedPart[0] = 11;
  App->FFixedPart[1] = 'X';
  List.push_back(std::move(App));  // no sub-block list: just the terminator
  TMemoryStream E;
  WriteExtensions(E, List);
  std::vector<uint8_t> WantE = {0x21, 0x01, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 1, 't', 0};
  WantE.insert(WantE.end(), {0x21, 0xFF, 11, 'X'});
  WantE.insert(WantE.end(), 10, 0);  // the rest of the identifier and authentication code
  WantE.push_back(0);                // terminator
  EXPECT_EQ(E.Bytes(), WantE);
}

TEST(GIFWrite, MonochromeDeviceBitmapKeepsItsPixels) {
  auto B = std::make_unique<TBitmap>();
  B->SetSize(5, 3);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 5; ++X) B->Canvas().SetPixels(X, Y, (X + Y) % 2 ? clWhite : clBlack);
  B->SetMonochrome(true);
  TGIFImage I;
  I.AppendFrame(B.get());
  const std::vector<uint8_t> Bytes = Save(I);
  const TParsedGIF P = ParseGIF(Bytes);
  ASSERT_EQ(P.Error, "");
  // A device bitmap goes through colour reduction like any non-indexed picture.
  EXPECT_EQ(P.Images()[0].Data[0], B->PixelFormat() == TPixelFormat::pf1bit ? 2 : 8);
  ExpectPixels(*Load(Bytes)->Frames(0), 5, 3,
               [](int X, int Y) { return (X + Y) % 2 ? clWhite : clBlack; });
}

TEST(GIFWrite, OtherFailuresWhileEncodingLeaveNoHalfWrittenData) {
  auto A = Bitmap24(5, 4, Pattern);
  TGIFImage I;
  I.AppendFrame(A.get());
  I.Frames(0)->SetDelayMs(70);
  bool Fail = true;
  I.OnProgress = [&](TObject*, TProgressStage S, uint8_t, bool, const TRect&, const std::string&) {
    if (Fail && S == TProgressStage::psRunning) throw EInvalidGraphic("handler failed");
  };
  EXPECT_THROW(Save(I), EInvalidGraphic);
  TGIFFrame& F = *I.Frames(0);
  EXPECT_FALSE(F.Item()->FCodeStream);  // not taken for encoded data later
  EXPECT_EQ(F.DelayMs(), 70);           // the frame is otherwise untouched
  Fail = false;
  const std::vector<uint8_t> Bytes = Save(I);
  ExpectPixels(*Load(Bytes)->Frames(0), 5, 4, Pattern);
  EXPECT_EQ(Load(Bytes)->Frames(0)->DelayMs(), 70);
}

TEST(GIFWrite, FramesAddedWithoutAppendFrameStillGetAVersion) {
  TGIFImage I;
  auto A = Bitmap24(2, 2, Pattern);
  I.FFrames.push_back(std::make_unique<TGIFFrame>(&I));
  I.FFrames.back()->Assign(A.get());
  ASSERT_EQ(I.Revision(), TGIFRevision::grNone);
  const TParsedGIF P = ParseGIF(Save(I));
  EXPECT_EQ(P.Error, "");
  EXPECT_EQ(P.Signature, "GIF87a");
}

TEST(GIFWrite, FramesSharingDataEncodedElsewhereKeepTheirColours) {
  auto A = Bitmap24(3, 2, Pattern);
  auto B = Bitmap24(3, 2, [](int X, int Y) {
    return RGB(static_cast<uint8_t>(90 + X), 5, static_cast<uint8_t>(Y));
  });
  TGIFImage I;
  I.AppendFrame(A.get());
  I.AppendFrame(B.get());
  TGIFImage Copy;
  Copy.Assign(&I);
  Save(Copy);  // encodes the shared items and fills the shared global table
  const std::vector<uint8_t> Bytes = Save(I);
  EXPECT_EQ(ParseGIF(Bytes).Images()[1].Packed(), 0x87);
  auto Back = Load(Bytes);
  ExpectPixels(*Back->Frames(0), 3, 2, Pattern);
  ExpectPixels(*Back->Frames(1), 3, 2, [](int X, int Y) {
    return RGB(static_cast<uint8_t>(90 + X), 5, static_cast<uint8_t>(Y));
  });
}
