#include <gtest/gtest.h>

#include <string>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gfx/gdi.h"
#include "gfx/picture.h"

namespace orn {
namespace {

void Put(std::vector<uint8_t>& B, uint32_t V, int Bytes) {
  for (int I = 0; I < Bytes; ++I) B.push_back(static_cast<uint8_t>(V >> (8 * I)));
}

// A BMP file with every header field given; Rows are appended as they are.
std::vector<uint8_t> BmpBytes(int32_t Width, int32_t Height, int Bits, uint32_t ColorsUsed,
                              uint32_t OffsetField, uint32_t SizeField,
                              const std::vector<uint32_t>& Table, const std::vector<uint8_t>& Rows,
                              uint32_t Compression = 0) {
  std::vector<uint8_t> B;
  B.push_back('B');
  B.push_back('M');
  Put(B, SizeField, 4);
  Put(B, 0, 4);
  Put(B, OffsetField, 4);
  Put(B, 40, 4);
  Put(B, static_cast<uint32_t>(Width), 4);
  Put(B, static_cast<uint32_t>(Height), 4);
  Put(B, 1, 2);
  Put(B, static_cast<uint32_t>(Bits), 2);
  Put(B, Compression, 4);
  Put(B, static_cast<uint32_t>(Rows.size()), 4);
  Put(B, 0, 4);
  Put(B, 0, 4);
  Put(B, ColorsUsed, 4);
  Put(B, 0, 4);
  for (uint32_t C : Table) Put(B, C, 4);  // as blue, green, red, reserved
  B.insert(B.end(), Rows.begin(), Rows.end());
  return B;
}

TMemoryStream StreamOf(const std::vector<uint8_t>& Bytes) {
  TMemoryStream S;
  if (!Bytes.empty()) S.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  S.SetPosition(0);
  return S;
}

// A picture of the depth with a pattern that touches every padding boundary.
TDib Pattern(int Bits, int W, int H) {
  TDib D(W, H, Bits);
  for (size_t I = 0; I < D.Colors.size(); ++I)
    D.Colors[I] = TRGBQuad{static_cast<uint8_t>(I * 7), static_cast<uint8_t>(255 - I),
                           static_cast<uint8_t>(I * 3), 0};
  uint32_t Max = Bits > 8 ? 0xFFFFFF : (1u << Bits) - 1;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      D.SetRaw(X, Y, static_cast<uint32_t>((X * 2654435761u + Y * 97) % (Max + 1)));
  return D;
}

TEST(BmpFiles, EveryDepthRoundTripsThroughFileAndBitmap) {
  for (int Bits : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(Bits);
    TDib D = Pattern(Bits, 13, 5);  // odd width: rows need padding at every depth
    TMemoryStream S;
    WriteBMP(D, S);
    EXPECT_EQ(S.Size(), BMPFileSize(D));
    // Header fields as written: offset right after the full colour table, colours-used 0.
    const uint8_t* M = S.Memory();
    uint32_t Table = Bits <= 8 ? (1u << Bits) : 0;
    EXPECT_EQ(M[10] | (M[11] << 8), static_cast<int>(54 + 4 * Table));
    EXPECT_EQ(M[46], 0);
    S.SetPosition(0);
    TDib Back = ReadBMP(S);
    EXPECT_EQ(S.Position(), S.Size());
    EXPECT_EQ(Back.Width, 13);
    EXPECT_EQ(Back.Height, 5);
    EXPECT_EQ(Back.BitCount, Bits);
    EXPECT_EQ(Back.Bits, D.Bits);
    ASSERT_EQ(Back.Colors.size(), D.Colors.size());
    for (size_t I = 0; I < D.Colors.size(); ++I) {
      EXPECT_EQ(Back.Colors[I].rgbRed, D.Colors[I].rgbRed);
      EXPECT_EQ(Back.Colors[I].rgbGreen, D.Colors[I].rgbGreen);
      EXPECT_EQ(Back.Colors[I].rgbBlue, D.Colors[I].rgbBlue);
    }

    // Through TBitmap: loading keeps the depth, saving writes the same file again.
    S.SetPosition(0);
    TBitmap Bmp;
    Bmp.LoadFromStream(S);
    EXPECT_EQ(Bmp.HandleType(), TBitmapHandleType::bmDIB);
    EXPECT_EQ(Bmp.Monochrome(), Bits == 1);
    EXPECT_EQ(Bmp.Canvas().Pixels(12, 4), D.PixelColor(12, 4));
    TMemoryStream Again;
    Bmp.SaveToStream(Again);
    EXPECT_EQ(Again.Bytes(), S.Bytes());
  }
}

// The stored mask picture: 4 bits per pixel, a colour table of the 2 entries colours-used
// names, a pixel offset and a file size that count 16 entries.
std::vector<uint8_t> LyingMask() {
  // 10 x 3, stride 8; top row: 0 0 1 1 1 0 0 0 0 1, the others all 1 (white).
  std::vector<uint8_t> Rows = {0x11, 0x11, 0x11, 0x11, 0x11, 0, 0, 0,   // bottom row
                               0x11, 0x11, 0x11, 0x11, 0x11, 0, 0, 0,   //
                               0x00, 0x11, 0x10, 0x00, 0x01, 0, 0, 0};  // top row
  return BmpBytes(10, 3, 4, 2, 118, 118 + 24, {0x000000, 0xFFFFFF}, Rows);
}

TEST(BmpFiles, ColourTableLengthComesFromColoursUsedNotFromTheOffsetField) {
  std::vector<uint8_t> Bytes = LyingMask();
  ASSERT_EQ(Bytes.size(), 54u + 8 + 24);  // shorter than both lying fields say
  TMemoryStream S = StreamOf(Bytes);
  TBitmap Bmp;
  Bmp.LoadFromStream(S);
  EXPECT_EQ(S.Position(), S.Size());
  ASSERT_EQ(Bmp.Width(), 10);
  ASSERT_EQ(Bmp.Height(), 3);
  std::string Top;
  for (int X = 0; X < 10; ++X) Top += Bmp.Canvas().Pixels(X, 0) == clWhite ? 'W' : 'b';
  EXPECT_EQ(Top, "bbWWWbbbbW");
  EXPECT_EQ(Bmp.Canvas().Pixels(0, 2), clWhite);
  EXPECT_EQ(Bmp.Canvas().Pixels(9, 2), clWhite);
}

TEST(BmpFiles, FramedDataTrustsTheHeadersNotTheSizeField) {
  std::vector<uint8_t> Bmp = LyingMask();
  // The size field repeats the lying file size: more than the bytes that follow.
  std::vector<uint8_t> Framed;
  Put(Framed, 118 + 24, 4);
  Framed.insert(Framed.end(), Bmp.begin(), Bmp.end());
  TMemoryStream S = StreamOf(Framed);
  TBitmap B;
  B.ReadData(S);
  EXPECT_EQ(B.Width(), 10);
  EXPECT_EQ(S.Position(), S.Size());

  // The same inside a picture's "Data": class name, then the bitmap's own data.
  std::vector<uint8_t> PictureData = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
  PictureData.insert(PictureData.end(), Framed.begin(), Framed.end());
  TMemoryStream P = StreamOf(PictureData);
  TPicture Pic;
  Pic.ReadData(P);
  ASSERT_NE(dynamic_cast<TBitmap*>(Pic.Graphic()), nullptr);
  EXPECT_EQ(Pic.Height(), 3);
  EXPECT_EQ(Pic.Bitmap()->Canvas().Pixels(2, 0), clWhite);
}

TEST(BmpFiles, DataPropertyRoundTripsAndEmptyBitmapStoresSizeZero) {
  TBitmap B;
  TMemoryStream Empty;
  B.WriteData(Empty);
  EXPECT_EQ(Empty.Bytes(), (std::vector<uint8_t>{0, 0, 0, 0}));
  B.SetSize(3, 2);
  B.Canvas().SetPixels(1, 1, clRed);
  TMemoryStream S;
  B.WriteData(S);
  EXPECT_EQ(S.Size(), 4 + BMPFileSize(TDib(3, 2, 32)));
  S.SetPosition(0);
  TBitmap C;
  C.ReadData(S);
  EXPECT_EQ(C.Canvas().Pixels(1, 1), clRed);
  Empty.SetPosition(0);
  C.ReadData(Empty);
  EXPECT_TRUE(C.Empty());
}

TEST(BmpFiles, TopDownRowsAreAccepted) {
  // 1 x 2, 24 bits, negative height: the first stored row is the top.
  std::vector<uint8_t> Rows = {0, 0, 255, 0, 255, 0, 0, 0};  // red, then blue
  TMemoryStream S = StreamOf(BmpBytes(1, -2, 24, 0, 54, 62, {}, Rows));
  TDib D = ReadBMP(S);
  EXPECT_EQ(D.PixelColor(0, 0), clRed);
  EXPECT_EQ(D.PixelColor(0, 1), clBlue);

  // 3 x 3 at 8 bits (rows padded to 4 bytes): every row lands in its place, the middle too.
  std::vector<uint8_t> Rows3 = {0, 1, 2, 9, 1, 2, 0, 9, 2, 0, 1, 9};
  TMemoryStream S3 = StreamOf(BmpBytes(3, -3, 8, 3, 0, 0, {0x0000FF, 0x00FF00, 0xFF0000}, Rows3));
  TDib D3 = ReadBMP(S3);
  const TColor Expected[3][3] = {
      {clBlue, clLime, clRed}, {clLime, clRed, clBlue}, {clRed, clBlue, clLime}};
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 3; ++X) EXPECT_EQ(D3.PixelColor(X, Y), Expected[Y][X]) << X << "," << Y;
  EXPECT_EQ(S3.Position(), S3.Size());
}

TEST(BmpFiles, TopDownPictureWithoutColumnsLoadsEmpty) {
  // Zero width and a negative height: no pixel rows at all, which used to reach the row flip
  // with no storage. It loads as an empty picture and reads just the headers and the table.
  for (int Bits : {1, 8, 24, 32}) {
    SCOPED_TRACE(Bits);
    std::vector<uint8_t> File =
        BmpBytes(0, -5, Bits, Bits <= 8 ? 2 : 0, 0, 0,
                 Bits <= 8 ? std::vector<uint32_t>{0, 0xFFFFFF} : std::vector<uint32_t>{}, {});
    File.push_back(0xAB);  // what follows the picture stays unread
    TMemoryStream S = StreamOf(File);
    TBitmap B;
    B.LoadFromStream(S);
    EXPECT_TRUE(B.Empty());
    EXPECT_EQ(B.Width(), 0);
    EXPECT_EQ(B.Height(), 5);
    EXPECT_EQ(S.Position(), S.Size() - 1);
    B.SetHandleType(TBitmapHandleType::bmDDB);
    EXPECT_TRUE(B.Empty());
  }
}

TEST(BmpFiles, MalformedFilesAreRefusedWithoutLargeAllocations) {
  std::vector<uint8_t> Good = LyingMask();
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
    bool ReadError;  // EReadError rather than EInvalidGraphic
    std::string Message;
  };
  std::vector<uint8_t> Truncated(Good.begin(), Good.end() - 1);
  std::vector<uint8_t> BadSig = Good;
  BadSig[0] = 'X';
  std::vector<uint8_t> ShortTable(Good.begin(), Good.begin() + 58);
  const TCase Cases[] = {
      {"truncated rows", Truncated, true, "Stream read error"},
      {"truncated colour table", ShortTable, true, "Stream read error"},
      {"header only", std::vector<uint8_t>(Good.begin(), Good.begin() + 20), true,
       "Stream read error"},
      {"signature", BadSig, false, "Bitmap image is not valid"},
      {"16 bits", BmpBytes(2, 2, 16, 0, 54, 0, {}, std::vector<uint8_t>(8)), false,
       "Bitmap image is not valid"},
      {"compressed", BmpBytes(2, 2, 8, 0, 54, 0, {}, {}, 1), false, "Bitmap image is not valid"},
      {"colours used", BmpBytes(2, 2, 8, 100000, 54, 0, {}, {}), false,
       "Bitmap image is not valid"},
      {"negative width", BmpBytes(-2, 2, 8, 0, 54, 0, {}, {}), false, "Bitmap image is not valid"},
      {"huge", BmpBytes(60000, 60000, 32, 0, 54, 0, {}, {}), false,
       "Bitmap is too large (60000 x 60000 pixels)"},
      {"wide", BmpBytes(0x7FFFFFFF, 1, 1, 0, 54, 0, {0, 0}, {}), false,
       "Bitmap is too large (2147483647 x 1 pixels)"},
      // Plausible size, but the stream cannot hold it: refused before allocating.
      {"promised rows", BmpBytes(4000, 4000, 32, 0, 54, 0, {}, {}), true, "Stream read error"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TMemoryStream S = StreamOf(C.Bytes);
    try {
      TBitmap B;
      B.LoadFromStream(S);
      ADD_FAILURE() << "no error";
    } catch (const EReadError& E) {
      EXPECT_TRUE(C.ReadError);
      EXPECT_EQ(E.Message(), C.Message);
    } catch (const EInvalidGraphic& E) {
      EXPECT_FALSE(C.ReadError);
      EXPECT_EQ(E.Message(), C.Message);
    }
  }
}

TEST(BmpFiles, CorruptedHeaderBytesNeverCrash) {
  // Every header and colour-table byte of a small file replaced by a few hostile values: the
  // load either succeeds or raises one of the two documented errors.
  const std::vector<uint8_t> Good = LyingMask();
  int Loaded = 0, Refused = 0;
  for (size_t I = 0; I < 62; ++I) {
    for (uint8_t V : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF}}) {
      std::vector<uint8_t> Bytes = Good;
      Bytes[I] = V;
      TMemoryStream S = StreamOf(Bytes);
      try {
        TBitmap B;
        B.LoadFromStream(S);
        EXPECT_LE(S.Position(), S.Size());
        ++Loaded;
      } catch (const EReadError&) {
        ++Refused;
      } catch (const EInvalidGraphic&) {
        ++Refused;
      }
    }
  }
  EXPECT_GT(Loaded, 0);
  EXPECT_GT(Refused, 0);
}

}  // namespace
}  // namespace orn
