// Damaged and hostile input that must neither lose data nor take memory or time out of
// proportion to the picture: truncated headers, delays beyond the 16-bit field, stored data
// without their terminator, frames beyond the size limit, and the budget of decoded bitmaps.
#include <gtest/gtest.h>

#include <string>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gif/gif_image.h"
#include "gif_reader_fixtures.h"

using namespace orn;
using namespace giftest;

namespace {

std::string LoadError(const Bytes& Data) {
  try {
    Loaded(Data);
  } catch (const Exception& E) {
    return E.what();
  }
  return "";
}

Bytes Saved(TGIFImage& Image) {
  TMemoryStream S;
  Image.SaveToStream(S);
  return Bytes(S.Memory(), S.Memory() + S.Size());
}

// A picture of Count frames, W x H each, every frame filled with its own index (mod 4).
Bytes FramesOf(int Count, int W, int H) {
  TGIFBuilder G;
  G.Header().Screen(W, H, Four);
  for (int I = 0; I < Count; ++I)
    G.Image(0, 0, W, H, LiteralLZW(2, std::vector<int>(static_cast<size_t>(W * H), I % 4)));
  G.Trailer();
  return G.B;
}

}  // namespace

TEST(GIFLimits, DataThatEndInsideTheHeaderScreenOrGlobalTableAreAReadError) {
  TGIFBuilder Full;
  Full.Header().Screen(2, 2, Four).Trailer();
  const Bytes& B = Full.B;
  // Cut inside the signature, right after the version, inside the screen descriptor, inside
  // the global table.
  for (size_t Cut : {size_t{2}, size_t{6}, size_t{9}, size_t{13}, size_t{20}}) {
    SCOPED_TRACE(Cut);
    EXPECT_EQ(LoadError(Bytes(B.begin(), B.begin() + static_cast<std::ptrdiff_t>(Cut))),
              "Stream read error");
  }
  // Header, screen and table followed directly by the trailer: a valid picture of no frames.
  EXPECT_EQ(LoadError(B), "");
  EXPECT_EQ(Loaded(B)->FrameCount(), 0);

  // A stream with nothing left in it is no picture; a stored length of 0 is an empty one.
  TGIFImage I;
  TMemoryStream Empty;
  try {
    I.LoadFromStream(Empty);
    FAIL() << "an empty stream must not load";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "Stream read error");
  }
  EXPECT_EQ(I.FrameCount(), 0);
}

TEST(GIFLimits, DelaysBeyondTheMillisecondFieldKeepTheLargestValue) {
  const struct {
    int Hundredths;
    int Ms;
  } Cases[] = {{6553, 65530}, {6554, 65535}, {7000, 65535}, {65535, 65535}, {1, 10}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Hundredths);
    TGIFBuilder G;
    G.Header().Screen(1, 1, Four).GraphicControl(0, C.Hundredths, 0);
    G.Image(0, 0, 1, 1, LiteralLZW(2, {1})).Trailer();
    EXPECT_EQ(Loaded(G.B)->Frames(0)->DelayMs(), C.Ms);
  }
}

TEST(GIFLimits, StoredDataWithoutTheirTerminatorAreWrittenAsAClosedChain) {
  // The last frame's data end after a complete sub-block, or inside one (as a damaged file,
  // or data put into the model by hand, may leave them).
  Bytes Good = LiteralLZW(2, {1, 2, 3, 0});
  Bytes NoTerminator(Good.begin(), Good.end() - 1);
  Bytes CutBlock(Good.begin(), Good.end() - 2);
  for (const Bytes* Data : {&NoTerminator, &CutBlock}) {
    TGIFBuilder G;
    G.Header().Screen(2, 2, Four).Image(0, 0, 2, 2, Good).Image(0, 0, 2, 2, *Data);
    auto I = Loaded(G.B);
    ASSERT_EQ(I->FrameCount(), 2);
    // Put the damaged data in directly, whatever the reader made of them.
    TMemoryStream& Code = *I->Frames(1)->Item()->FCodeStream;
    Code.Clear();
    Code.WriteBuffer(Data->data(), static_cast<int64_t>(Data->size()));
    const Bytes Out = Saved(*I);
    // The chain is closed before the trailer, and the file reads back with both frames.
    ASSERT_GE(Out.size(), 2u);
    EXPECT_EQ(Out[Out.size() - 2], 0);
    EXPECT_EQ(Out.back(), 0x3B);
    auto Back = Loaded(Out);
    ASSERT_EQ(Back->FrameCount(), 2);
    EXPECT_FALSE(Back->Frames(1)->DataCorrupt());
    const Bytes Kept(Back->Frames(1)->Item()->FCodeStream->Memory(),
                     Back->Frames(1)->Item()->FCodeStream->Memory() +
                         Back->Frames(1)->Item()->FCodeStream->Size());
    // Every stored byte is kept; a cut sub-block keeps what it holds under a corrected size.
    if (Data == &NoTerminator) {
      EXPECT_EQ(Kept, Good);
    } else {
      ASSERT_EQ(Kept.size(), Data->size() + 1);
      EXPECT_EQ(Kept[1], Data->size() - 2);
    }
  }
}

TEST(GIFLimits, AFrameBeyondTheReadersLimitIsRefusedBeforeAnythingIsWritten) {
  // 8193 x 8193 is just over the limit; a monochrome bitmap keeps the test small.
  TBitmap Big;
  Big.SetMonochrome(true);
  Big.SetSize(8193, 8193);
  TGIFImage I;
  I.AppendFrame(&Big);
  TMemoryStream Target;
  Target.WriteByte(0x55);
  try {
    I.SaveToStream(Target);
    FAIL() << "a frame the reader refuses must not be written";
  } catch (const EInvalidGraphicOperation& E) {
    EXPECT_STREQ(E.what(), "GIF frame too large: 8193 x 8193 pixels");
  }
  EXPECT_EQ(Target.Bytes(), Bytes{0x55});
  EXPECT_FALSE(I.Frames(0)->Item()->FCodeStream);  // nothing was encoded

  // The limit counts pixels, whatever the shape.
  EXPECT_NO_THROW(CheckGIFFrameSize(8192, 8192));
  EXPECT_NO_THROW(CheckGIFFrameSize(65535, 1024));
  EXPECT_THROW(CheckGIFFrameSize(65535, 1025), EInvalidGraphicOperation);
}

TEST(GIFLimits, MeasuringAndCopyingNeverDecode) {
  // Frames far beyond what could be decoded in a test, made only of end codes.
  TGIFBuilder G;
  G.Header().Screen(8192, 8192, Four);
  for (int I = 0; I < 64; ++I) G.Image(0, 0, 8192, 8192, {2, 1, 5, 0});
  G.Trailer();
  auto Image = Loaded(G.B);
  ASSERT_EQ(Image->FrameCount(), 64);
  Image->RecalcLogicalSize();
  EXPECT_EQ(Image->LogicalWidth(), 8192);
  EXPECT_EQ(Image->Frames(63)->PixelHeight(), 8192);
  TGIFImage Copy;
  Copy.Assign(Image.get());
  EXPECT_EQ(Copy.FrameCount(), 64);
  EXPECT_EQ(Copy.LogicalHeight(), 8192);
  // A resave copies the stored data as they are.
  auto Back = Loaded(Saved(Copy));
  EXPECT_EQ(Back->FrameCount(), 64);
  for (int I = 0; I < 64; ++I) {
    EXPECT_FALSE(Image->Frames(I)->FrameBitmap());
    EXPECT_FALSE(Copy.Frames(I)->FrameBitmap());
  }
  EXPECT_EQ(Image->BitmapCache().Count(), 0);
}

TEST(GIFLimits, DecodedBitmapsStayWithinTheBudgetAndAreDecodedAgainOnDemand) {
  auto Image = Loaded(FramesOf(12, 16, 16));
  const int64_t FrameBytes = 16 * 16 * 4;  // frames are held in the display's 32-bit form
  Image->BitmapCache().SetBudget(3 * FrameBytes);
  for (int I = 0; I < 12; ++I) {
    TBitmap* B = Image->Frames(I)->DecodedBitmap();
    EXPECT_EQ(B->Canvas().Pixels(5, 5),
              TripleToColor(Image->GlobalData()->FGlobalTable.Entries[I % 4]));
    EXPECT_LE(Image->BitmapCache().Bytes(), 3 * FrameBytes);
  }
  // The three used last are kept, the others were released, least recently used first.
  EXPECT_EQ(Image->BitmapCache().Count(), 3);
  for (int I = 0; I < 9; ++I) EXPECT_FALSE(Image->Frames(I)->FrameBitmap()) << I;
  for (int I = 9; I < 12; ++I) EXPECT_TRUE(Image->Frames(I)->FrameBitmap()) << I;
  // Using frame 9 again makes frame 10 the oldest; decoding frame 0 again releases it.
  Image->Frames(9)->DecodedBitmap();
  TBitmap* Again = Image->Frames(0)->DecodedBitmap();
  EXPECT_EQ(Again->Canvas().Pixels(0, 0),
            TripleToColor(Image->GlobalData()->FGlobalTable.Entries[0]));
  EXPECT_FALSE(Image->Frames(10)->FrameBitmap());
  EXPECT_TRUE(Image->Frames(9)->FrameBitmap());

  // A budget smaller than one frame still keeps the bitmap just asked for.
  Image->BitmapCache().SetBudget(1);
  EXPECT_EQ(Image->BitmapCache().Count(), 1);
  EXPECT_EQ(Image->Frames(5)->DecodedBitmap()->Width(), 16);
  EXPECT_EQ(Image->BitmapCache().Count(), 1);

  // Deleting frames takes their bitmaps out of the cache.
  Image->DeleteAllFrames();
  EXPECT_EQ(Image->BitmapCache().Count(), 0);
  EXPECT_EQ(Image->BitmapCache().Bytes(), 0);
}

TEST(GIFLimits, BitmapsAFrameWasMadeFromAreNeverReleased) {
  TGIFImage I;
  I.BitmapCache().SetBudget(1);
  TBitmap A;
  A.SetPixelFormat(TPixelFormat::pf32bit);
  A.SetSize(8, 8);
  for (int K = 0; K < 3; ++K) I.AppendFrame(&A);
  Saved(I);  // encodes every frame; their bitmaps are still the only full-colour copies
  for (int K = 0; K < 3; ++K) EXPECT_TRUE(I.Frames(K)->FrameBitmap()) << K;
  EXPECT_EQ(I.BitmapCache().Count(), 0);
}
