#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/classregistry.h"
#include "core/exceptions.h"
#include "core/system.h"
#include "gfx/bitmap.h"
#include "gfx/picture.h"
#include "gif/gif_image.h"
#include "gif_reader_fixtures.h"

using namespace orn;
using namespace giftest;

namespace {

// The "Data" payload: 32-bit length, then the GIF bytes, then Extra.
Bytes Payload(const Bytes& Gif, uint32_t Length, const Bytes& Extra = {}) {
  // Sized once and filled in place: growing a 4-byte vector by insertion makes GCC 12 at -O3
  // report a false out-of-bounds copy.
  Bytes P(4 + Gif.size() + Extra.size());
  for (int I = 0; I < 4; ++I) P[static_cast<size_t>(I)] = static_cast<uint8_t>(Length >> (8 * I));
  std::copy(Gif.begin(), Gif.end(), P.begin() + 4);
  std::copy(Extra.begin(), Extra.end(), P.begin() + 4 + static_cast<std::ptrdiff_t>(Gif.size()));
  return P;
}

std::vector<uint8_t> BitmapBytes(TColor Color, int W, int H) {
  TBitmap B;
  B.Canvas().Brush().SetColor(Color);
  B.SetSize(W, H);
  TClipboardFormat Format = 0;
  std::vector<uint8_t> Data;
  HPALETTE Palette = nullptr;
  B.SaveToClipboardFormat(Format, Data, Palette);
  if (Palette) DeleteObject(Palette);
  return Data;
}

void PutOnClipboard(const std::vector<std::pair<TClipboardFormat, std::vector<uint8_t>>>& Items) {
  TSystemServices& S = SystemServices();
  S.OpenClipboard();
  S.EmptyClipboard();
  for (auto& [Format, Data] : Items) S.SetClipboardData(Format, Data);
  S.CloseClipboard();
}

}  // namespace

TEST(GIFLoad, ReadDataTakesTheLengthPrefixedStream) {
  const Bytes Gif = TwoFrameGIF();
  TMemoryStream S;
  Fill(S, Payload(Gif, static_cast<uint32_t>(Gif.size()), {1, 2, 3}));
  TGIFImage I;
  I.ReadData(S);
  EXPECT_EQ(I.FrameCount(), 2);
  EXPECT_EQ(S.Position(), static_cast<int64_t>(4 + Gif.size()));  // not past the payload
  ASSERT_TRUE(I.Frames(0)->FrameBitmap());  // the first frame is decoded at once

  // A stored length of 0 loads as an empty image.
  Fill(S, Payload({}, 0));
  I.ReadData(S);
  EXPECT_TRUE(I.GetEmpty());
  EXPECT_EQ(I.FrameCount(), 0);

  // A length beyond the data: the stream's read error before anything is parsed.
  Fill(S, Payload(Gif, static_cast<uint32_t>(Gif.size() + 1)));
  EXPECT_THROW(I.ReadData(S), EReadError);
  EXPECT_EQ(I.FrameCount(), 0);
}

TEST(GIFLoad, LoadFromStreamReadsFromThePositionToTheEnd) {
  Bytes Data{'j', 'u', 'n', 'k'};
  const Bytes Gif = TwoFrameGIF();
  Data.insert(Data.end(), Gif.begin(), Gif.end());
  TMemoryStream S;
  Fill(S, Data);
  S.SetPosition(4);
  TGIFImage I;
  I.LoadFromStream(S);
  EXPECT_EQ(I.FrameCount(), 2);
  EXPECT_EQ(S.Position(), S.Size());
}

TEST(GIFLoad, RegistrationWithClassRegistryAndPictureFramework) {
  TGIFImage Any;  // creating an image makes sure the codec is registered
  EXPECT_NE(GIFClipboardFormat, 0u);
  EXPECT_EQ(GIFClipboardFormat, SystemServices().RegisterClipboardFormat("GIF Image"));
  EXPECT_EQ(SystemServices().ClipboardFormatName(GIFClipboardFormat), "GIF Image");
  for (const char* Name : {"TGIFImage", "TGIFFrame"}) {
    TPersistentClass C = GetClass(Name);
    ASSERT_TRUE(C) << Name;
    std::unique_ptr<TPersistent> Made(C->CreatePersistent());
    EXPECT_EQ(Made->ClassName(), Name);
  }
  bool Found = false;
  for (const TFileFormatInfo& F : TPicture::FileFormats())
    if (F.Extension == "gif") {
      Found = true;
      EXPECT_EQ(F.Description, "CompuServe GIF Image");
      EXPECT_EQ(F.GraphicClass.ClassName, "TGIFImage");
    }
  EXPECT_TRUE(Found);
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(GIFClipboardFormat));

  // The picture framework opens a .gif file as a GIF image.
  const auto Path = std::filesystem::temp_directory_path() / "gifread_load_test.gif";
  {
    TMemoryStream S;
    Fill(S, TwoFrameGIF());
    S.SaveToFile(Path.string());
  }
  TPicture P;
  P.LoadFromFile(Path.string());
  auto* Image = dynamic_cast<TGIFImage*>(P.Graphic());
  ASSERT_TRUE(Image);
  EXPECT_EQ(Image->FrameCount(), 2);

  // A picture's stored data (class name, then the payload) makes a GIF image too.
  const Bytes Gif = TwoFrameGIF();
  Bytes Stored{9, 'T', 'G', 'I', 'F', 'I', 'm', 'a', 'g', 'e'};
  const Bytes Body = Payload(Gif, static_cast<uint32_t>(Gif.size()));
  Stored.insert(Stored.end(), Body.begin(), Body.end());
  TMemoryStream S;
  Fill(S, Stored);
  TPicture Q;
  Q.ReadData(S);
  ASSERT_TRUE(dynamic_cast<TGIFImage*>(Q.Graphic()));
  EXPECT_EQ(dynamic_cast<TGIFImage*>(Q.Graphic())->FrameCount(), 2);

  // Shut-down removes the file and clipboard formats; start-up brings them back.
  FinalizeGIFCodec();
  EXPECT_THROW(P.LoadFromFile(Path.string()), EInvalidGraphic);
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(GIFClipboardFormat));
  InitializeGIFCodec();
  P.LoadFromFile(Path.string());
  EXPECT_TRUE(dynamic_cast<TGIFImage*>(P.Graphic()));
  std::filesystem::remove(Path);
}

TEST(GIFLoad, Clipboard) {
  TGIFImage Any;  // registers the clipboard format
  const std::vector<uint8_t> Yellow = BitmapBytes(clYellow, 2, 2);

  // Only a bitmap on the clipboard: a one-frame image of that bitmap.
  PutOnClipboard({{CF_BITMAP, Yellow}});
  TGIFImage I;
  I.LoadFromClipboardFormat(CF_BITMAP, Yellow, nullptr);
  ASSERT_EQ(I.FrameCount(), 1);
  EXPECT_EQ(I.GetWidth(), 2);
  EXPECT_EQ(I.CurrentBitmap()->Canvas().Pixels(1, 1), clYellow);

  // GIF data and a bitmap: the GIF frames, frame 0 showing the clipboard bitmap undecoded.
  const Bytes Gif = TwoFrameGIF();
  PutOnClipboard(
      {{GIFClipboardFormat, Payload(Gif, static_cast<uint32_t>(Gif.size()))}, {CF_BITMAP, Yellow}});
  I.LoadFromClipboardFormat(CF_BITMAP, Yellow, nullptr);
  ASSERT_EQ(I.FrameCount(), 2);
  EXPECT_EQ(I.CurrentIndex(), 0);
  EXPECT_TRUE(I.LoopEnabled());
  EXPECT_EQ(I.Frames(0)->FrameBitmap()->Canvas().Pixels(0, 0), clYellow);
  EXPECT_FALSE(I.Frames(1)->FrameBitmap());
  // The clipboard is closed again afterwards.
  EXPECT_THROW(SystemServices().GetClipboardData(GIFClipboardFormat), EClipboardException);

  // GIF data alone: frames only, nothing decoded.
  PutOnClipboard({{GIFClipboardFormat, Payload(Gif, static_cast<uint32_t>(Gif.size()))}});
  I.LoadFromClipboardFormat(CF_BITMAP, Yellow, nullptr);
  ASSERT_EQ(I.FrameCount(), 2);
  EXPECT_FALSE(I.Frames(0)->FrameBitmap());

  // A GIF block whose length promises more than it holds fails with the read error.
  PutOnClipboard({{GIFClipboardFormat, Payload(Gif, 100000)}});
  EXPECT_THROW(I.LoadFromClipboardFormat(CF_BITMAP, Yellow, nullptr), EReadError);
  PutOnClipboard({});
}
