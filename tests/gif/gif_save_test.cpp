#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/filer.h"
#include "core/system.h"
#include "gif/gif_image.h"
#include "gif/gif_reader_fixtures.h"
#include "gif/write_test_util.h"

using namespace orn;
using namespace orn::testing;

namespace {

std::unique_ptr<TGIFImage> Load(const std::vector<uint8_t>& Bytes) {
  auto I = std::make_unique<TGIFImage>();
  TMemoryStream S;
  giftest::Fill(S, Bytes);
  I->LoadFromStream(S);
  return I;
}

// Puts Image on the clipboard the way the platform's clipboard object does: open, empty,
// let the graphic fill in its bitmap format (and add its own), store the bitmap, close.
void CopyToClipboard(TGIFImage& Image, TClipboardFormat& Format, std::vector<uint8_t>& Data) {
  TSystemServices& C = SystemServices();
  C.OpenClipboard();
  C.EmptyClipboard();
  HPALETTE Palette = nullptr;
  Format = 0;
  Image.SaveToClipboardFormat(Format, Data, Palette);
  if (Format != 0) C.SetClipboardData(Format, Data);
  C.CloseClipboard();
  if (Palette) DeleteObject(Palette);
}

std::optional<std::vector<uint8_t>> ClipboardBytes(TClipboardFormat Format) {
  TSystemServices& C = SystemServices();
  C.OpenClipboard();
  auto R = C.GetClipboardData(Format);
  C.CloseClipboard();
  return R;
}

// Records what a graphic declares in DefineProperties.
class TRecordingFiler : public TFiler {
 public:
  explicit TRecordingFiler(TPersistent* Ancestor) { FAncestor = Ancestor; }
  void DefineBinaryProperty(const std::string& Name, TStreamProc, TStreamProc WriteData,
                            bool HasData) override {
    Names.push_back(Name);
    this->HasData = HasData;
    if (HasData) WriteData(Written);
  }
  std::vector<std::string> Names;
  bool HasData = false;
  TMemoryStream Written;
};

}  // namespace

TEST(GIFSave, ClipboardCarriesTheBitmapAndTheGIF) {
  auto I = Load(giftest::TwoFrameGIF());
  TClipboardFormat Format = 0;
  std::vector<uint8_t> Data;
  CopyToClipboard(*I, Format, Data);
  EXPECT_EQ(Format, CF_BITMAP);
  EXPECT_FALSE(Data.empty());

  const auto Block = ClipboardBytes(GIFClipboardFormat);
  ASSERT_TRUE(Block);
  ASSERT_GE(Block->size(), 4u);
  const uint32_t N = (*Block)[0] | (*Block)[1] << 8 | (*Block)[2] << 16 | (*Block)[3] << 24;
  EXPECT_EQ(N, Block->size() - 4);
  const TParsedGIF G = ParseGIF(std::vector<uint8_t>(Block->begin() + 4, Block->end()));
  EXPECT_EQ(G.Error, "");
  EXPECT_EQ(G.Images().size(), 2u);

  // Pasting gives the GIF frames back, with frame 0 showing the clipboard bitmap.
  TGIFImage R;
  R.LoadFromClipboardFormat(Format, Data, nullptr);
  ASSERT_EQ(R.FrameCount(), 2);
  for (int K = 0; K < 2; ++K) {
    EXPECT_EQ(R.Frames(K)->DelayMs(), I->Frames(K)->DelayMs());
    EXPECT_EQ(R.Frames(K)->DisposeMode(), I->Frames(K)->DisposeMode());
    EXPECT_EQ(R.Frames(K)->KeyColor(), I->Frames(K)->KeyColor());
    EXPECT_EQ(R.Frames(K)->Origin(), I->Frames(K)->Origin());
  }
  TBitmap* Shown = R.Frames(0)->DecodedBitmap();
  TBitmap* Original = I->Frames(0)->DecodedBitmap();
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 2; ++X)
      EXPECT_EQ(Shown->Canvas().Pixels(X, Y), Original->Canvas().Pixels(X, Y));
}

TEST(GIFSave, ClipboardOffersOnlyTheBitmapForUnencodedFrames) {
  // Leave an old GIF block on the clipboard: the copy empties the clipboard first.
  auto Old = Load(giftest::TwoFrameGIF());
  TClipboardFormat Format = 0;
  std::vector<uint8_t> Data;
  CopyToClipboard(*Old, Format, Data);

  TGIFImage I;
  auto B = Bitmap24(3, 2, [](int X, int) { return X ? clRed : clBlue; });
  I.AppendFrame(B.get());
  Data.clear();
  CopyToClipboard(I, Format, Data);
  EXPECT_EQ(Format, CF_BITMAP);
  EXPECT_FALSE(Data.empty());
  EXPECT_FALSE(ClipboardBytes(GIFClipboardFormat));
  EXPECT_FALSE(I.Frames(0)->Item()->FCodeStream);  // nothing was encoded

  TGIFImage Empty;
  Data.clear();
  CopyToClipboard(Empty, Format, Data);
  EXPECT_EQ(Format, 0u);
  EXPECT_TRUE(Data.empty());
  EXPECT_FALSE(ClipboardBytes(GIFClipboardFormat));
  EXPECT_FALSE(ClipboardBytes(CF_BITMAP));
}

TEST(GIFSave, DataIsStoredUnlessEqualToTheAncestor) {
  auto I = Load(giftest::TwoFrameGIF());
  {  // no ancestor: stored, as length and GIF stream
    TRecordingFiler F(nullptr);
    I->DefineProperties(F);
    ASSERT_EQ(F.Names, std::vector<std::string>{"Data"});
    EXPECT_TRUE(F.HasData);
    F.Written.SetPosition(0);
    TGIFImage R;
    R.ReadData(F.Written);
    EXPECT_EQ(R.FrameCount(), 2);
  }
  {  // an unchanged copy as ancestor: left out
    TGIFImage Copy;
    Copy.Assign(I.get());
    TRecordingFiler F(&Copy);
    I->DefineProperties(F);
    EXPECT_FALSE(F.HasData);
  }
  {  // the same bytes loaded separately are a different picture
    auto Other = Load(giftest::TwoFrameGIF());
    TRecordingFiler F(Other.get());
    I->DefineProperties(F);
    EXPECT_TRUE(F.HasData);
  }
  {  // an empty image without ancestor stores nothing
    TGIFImage Empty;
    TRecordingFiler F(nullptr);
    Empty.DefineProperties(F);
    EXPECT_FALSE(F.HasData);
  }
}

TEST(GIFSave, SaveToFileWritesTheGIFStream) {
  auto I = Load(giftest::TwoFrameGIF());
  const std::string Path = ::testing::TempDir() + "gifwrite_save_test.gif";
  I->SaveToFile(Path);
  TMemoryStream Back;
  Back.LoadFromFile(Path);
  std::remove(Path.c_str());
  TMemoryStream Direct;
  I->SaveToStream(Direct);
  EXPECT_EQ(Back.Bytes(), Direct.Bytes());
  EXPECT_EQ(ParseGIF(Back.Bytes()).Error, "");
}
