#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/exceptions.h"
#include "core/system.h"
#include "gfx/bitmap.h"
#include "gfx/picture.h"

namespace orn {
namespace {

// A graphic that keeps the bytes it was loaded from.
class TFakeGraphic : public TGraphic {
 public:
  std::string ClassName() const override { return "TFakeGraphic"; }
  void Draw(TCanvas&, const TRect&) override {}
  bool GetEmpty() const override { return Bytes.empty(); }
  int GetWidth() override { return static_cast<int>(Bytes.size()); }
  int GetHeight() override { return 1; }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void LoadFromStream(TStream& S) override {
    Bytes.resize(static_cast<size_t>(S.Size() - S.Position()));
    if (!Bytes.empty()) S.ReadBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    Changed(this);
  }
  void SaveToStream(TStream& S) override {
    if (!Bytes.empty()) S.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  }
  void LoadFromClipboardFormat(TClipboardFormat, const std::vector<uint8_t>& Data,
                               HPALETTE) override {
    Bytes = Data;
  }
  void SaveToClipboardFormat(TClipboardFormat& Format, std::vector<uint8_t>& Data,
                             HPALETTE& Palette) override {
    Format = 0xC777;
    Data = Bytes;
    Palette = nullptr;
  }
  void Assign(TPersistent* Source) override {
    if (auto* F = dynamic_cast<TFakeGraphic*>(Source)) {
      Bytes = F->Bytes;
      Changed(this);
      return;
    }
    TGraphic::Assign(Source);
  }
  std::vector<uint8_t> Bytes;
};

class TRecordingFiler : public TFiler {
 public:
  explicit TRecordingFiler(TPersistent* Ancestor) { FAncestor = Ancestor; }
  void DefineBinaryProperty(const std::string& Name, TStreamProc, TStreamProc,
                            bool HasData) override {
    Names.push_back(Name);
    Stored = HasData;
  }
  std::vector<std::string> Names;
  bool Stored = false;
};

bool Stores(TPersistent& Object, TPersistent* Ancestor) {
  TRecordingFiler Filer(Ancestor);
  Object.DefineProperties(Filer);
  EXPECT_EQ(Filer.Names, std::vector<std::string>{"Data"});
  return Filer.Stored;
}

std::string TempFile(const std::string& Name) {
  return testing::TempDir() + "/gfx_" + Name;
}

void WriteFile(const std::string& Path, const std::string& Content) {
  TFileStream S(Path, TFileMode::fmCreate);
  S.WriteBuffer(Content.data(), static_cast<int64_t>(Content.size()));
}

TEST(PictureRegistry, LoadFromFilePicksTheClassByExtension) {
  TPicture::RegisterFileFormat("fake", "Fake pictures",
                               MakeGraphicClass<TFakeGraphic>("TFakeGraphic"));
  std::string Path = TempFile("picture.FAKE");  // extensions compare without case
  WriteFile(Path, "abc");
  TPicture P;
  int Changes = 0;
  P.OnChange = [&](TObject*) { ++Changes; };
  P.LoadFromFile(Path);
  auto* G = dynamic_cast<TFakeGraphic*>(P.Graphic());
  ASSERT_NE(G, nullptr);
  EXPECT_EQ(G->Bytes, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(Changes, 1);

  // Bitmaps are known from the start.
  TBitmap B;
  B.SetSize(2, 3);
  std::string BmpPath = TempFile("picture.bmp");
  B.SaveToFile(BmpPath);
  P.LoadFromFile(BmpPath);
  ASSERT_NE(dynamic_cast<TBitmap*>(P.Graphic()), nullptr);
  EXPECT_EQ(P.Height(), 3);

  TPicture::UnregisterGraphicClass("TFakeGraphic");
  try {
    P.LoadFromFile(Path);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& E) {
    EXPECT_EQ(E.Message(), "Unknown picture file extension (.FAKE)");
  }
  EXPECT_EQ(P.Height(), 3);  // the picture keeps what it had
  EXPECT_THROW(P.LoadFromFile(TempFile("noextension")), EInvalidGraphic);
  std::remove(Path.c_str());
  std::remove(BmpPath.c_str());
}

TEST(PictureRegistry, ClipboardFormatsByClassAndUnregistering) {
  const TClipboardFormat Fmt = 0xC777;
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(CF_BITMAP));
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(Fmt));
  TPicture::RegisterFileFormat("fk", "Fake", MakeGraphicClass<TFakeGraphic>("TFakeGraphic"));
  TPicture::RegisterClipboardFormat(Fmt, MakeGraphicClass<TFakeGraphic>("TFakeGraphic"));
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(Fmt));
  TPicture P;
  P.LoadFromClipboardFormat(Fmt, {1, 2}, nullptr);
  ASSERT_NE(dynamic_cast<TFakeGraphic*>(P.Graphic()), nullptr);
  TClipboardFormat Out = 0;
  std::vector<uint8_t> Data;
  HPALETTE Pal = nullptr;
  P.SaveToClipboardFormat(Out, Data, Pal);
  EXPECT_EQ(Out, Fmt);
  EXPECT_EQ(Data, (std::vector<uint8_t>{1, 2}));

  TPicture::UnregisterGraphicClass("TFakeGraphic");
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(Fmt));
  for (const TFileFormatInfo& I : TPicture::FileFormats()) EXPECT_NE(I.Extension, "fk");
  try {
    P.LoadFromClipboardFormat(Fmt, {1}, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& E) {
    EXPECT_EQ(E.Message(), "Unsupported clipboard format");
  }
}

TEST(PictureClipboard, BitmapGoesThroughTheSystemClipboardAsBmpBytes) {
  TBitmap B;
  B.SetSize(3, 1);
  B.Canvas().SetPixels(2, 0, clMaroon);
  TPicture Source;
  Source.SetGraphic(&B);
  TClipboardFormat Fmt = 0;
  std::vector<uint8_t> Data;
  HPALETTE Pal = nullptr;
  Source.SaveToClipboardFormat(Fmt, Data, Pal);
  TSystemServices& Sys = SystemServices();
  Sys.OpenClipboard();
  Sys.EmptyClipboard();
  Sys.SetClipboardData(Fmt, Data);
  Sys.CloseClipboard();

  Sys.OpenClipboard();
  std::optional<std::vector<uint8_t>> Back = Sys.GetClipboardData(CF_BITMAP);
  Sys.CloseClipboard();
  ASSERT_TRUE(Back.has_value());
  TPicture Target;
  Target.LoadFromClipboardFormat(CF_BITMAP, *Back, Pal);
  ASSERT_NE(dynamic_cast<TBitmap*>(Target.Graphic()), nullptr);
  EXPECT_EQ(Target.Bitmap()->Canvas().Pixels(2, 0), clMaroon);
}

TEST(PictureData, ClassNameFramingRoundTrips) {
  TPicture P;
  TMemoryStream Empty;
  P.WriteData(Empty);
  EXPECT_EQ(Empty.Bytes(), std::vector<uint8_t>{0});

  P.Bitmap()->SetSize(2, 2);
  P.Bitmap()->Canvas().SetPixels(0, 1, clOlive);
  TMemoryStream S;
  P.WriteData(S);
  const std::vector<uint8_t>& Bytes = S.Bytes();
  ASSERT_GT(Bytes.size(), 12u);
  EXPECT_EQ(std::string(Bytes.begin(), Bytes.begin() + 8), std::string("\x07TBitmap"));
  // Then the bitmap's own data: its size, then the BMP file.
  uint32_t Size = Bytes[8] | (Bytes[9] << 8) | (Bytes[10] << 16) | (Bytes[11] << 24);
  EXPECT_EQ(Size, Bytes.size() - 12);
  EXPECT_EQ(Bytes[12], 'B');

  S.SetPosition(0);
  TPicture Q;
  Q.ReadData(S);
  EXPECT_EQ(Q.Bitmap()->Canvas().Pixels(0, 1), clOlive);
  Empty.SetPosition(0);
  Q.ReadData(Empty);
  EXPECT_EQ(Q.Graphic(), nullptr);

  std::vector<uint8_t> Unknown = {4, 'T', 'X', 'Y', 'Z'};
  TMemoryStream U;
  U.WriteBuffer(Unknown.data(), 5);
  U.SetPosition(0);
  EXPECT_THROW(Q.ReadData(U), EClassNotFound);
  // A truncated payload raises the read error.
  TMemoryStream T;
  T.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size() - 3));
  T.SetPosition(0);
  EXPECT_THROW(Q.ReadData(T), EReadError);
}

TEST(PictureData, StoredOnlyWhenItDiffersFromTheAncestor) {
  TPicture P;
  EXPECT_FALSE(Stores(P, nullptr));
  P.Bitmap();
  EXPECT_TRUE(Stores(P, nullptr));  // a picture holding even an empty bitmap is stored

  TBitmap A;
  A.SetSize(2, 1);
  A.Canvas().SetPixels(0, 0, clRed);
  TBitmap Same;
  Same.Assign(&A);
  TBitmap Different;
  Different.SetSize(2, 1);
  TBitmap EmptyBmp;
  EXPECT_FALSE(Stores(EmptyBmp, nullptr));
  EXPECT_TRUE(Stores(A, nullptr));
  EXPECT_FALSE(Stores(Same, &A));
  EXPECT_TRUE(Stores(Different, &A));
  TPicture NotAGraphic;
  EXPECT_TRUE(Stores(A, &NotAGraphic));

  TPicture WithA, WithSame, WithDifferent;
  WithA.SetGraphic(&A);
  WithSame.SetGraphic(&Same);
  WithDifferent.SetGraphic(&Different);
  EXPECT_FALSE(Stores(WithSame, &WithA));
  EXPECT_TRUE(Stores(WithDifferent, &WithA));
  TPicture None;
  EXPECT_FALSE(Stores(None, &None));
  EXPECT_TRUE(Stores(None, &WithA));
}

TEST(Picture, HoldsCopiesForwardsEventsAndHandsOutItsBitmap) {
  TBitmap B;
  B.SetSize(1, 1);
  TPicture P;
  int Changes = 0;
  std::vector<TProgressStage> Stages;
  P.OnChange = [&](TObject*) { ++Changes; };
  P.OnProgress = [&](TObject*, TProgressStage Stage, uint8_t, bool, const TRect&,
                     const std::string&) { Stages.push_back(Stage); };
  P.Assign(&B);
  EXPECT_EQ(Changes, 1);
  TBitmap* Held = P.Bitmap();
  EXPECT_NE(Held, &B);          // a copy
  EXPECT_EQ(P.Bitmap(), Held);  // the stored bitmap, unchanged
  B.Canvas().SetPixels(0, 0, clRed);
  EXPECT_EQ(Held->Canvas().Pixels(0, 0), clWhite);
  Held->Canvas().SetPixels(0, 0, clBlue);  // drawing on the held graphic changes the picture
  EXPECT_GE(Changes, 2);
  Held->Progress(Held, TProgressStage::psStarting, 0, false, TRect{}, "");
  Held->Progress(Held, TProgressStage::psEnding, 100, false, TRect{}, "");
  EXPECT_EQ(Stages,
            (std::vector<TProgressStage>{TProgressStage::psStarting, TProgressStage::psEnding}));

  TPicture Q;
  Q.Assign(&P);
  EXPECT_EQ(Q.Bitmap()->Canvas().Pixels(0, 0), clBlue);
  TFakeGraphic Fake;
  Fake.Bytes = {9};
  EXPECT_THROW(Q.SetGraphic(&Fake), EClassNotFound);  // unregistered class
  Q.Assign(nullptr);
  EXPECT_EQ(Q.Graphic(), nullptr);
  EXPECT_EQ(Q.Width(), 0);
}

}  // namespace
}  // namespace orn
