#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "core/exceptions.h"
#include "core/stream.h"

using namespace orn;

TEST(MemoryStream, WriteSeekReadAndShortReads) {
  TMemoryStream S;
  S.WriteDWord(0x04030201);
  S.WriteWord(0x0605);
  EXPECT_EQ(S.Size(), 6);
  EXPECT_EQ(S.Position(), 6);
  S.SetPosition(1);
  uint8_t B[8] = {};
  EXPECT_EQ(S.Read(B, 8), 5);  // plain read returns what there was
  EXPECT_EQ(B[0], 2);
  EXPECT_EQ(B[4], 6);
  S.SetPosition(4);
  EXPECT_EQ(S.ReadWord(), 0x0605);
  try {
    S.ReadByte();
    FAIL() << "short ReadBuffer must raise";
  } catch (const EReadError& E) {
    EXPECT_STREQ(E.what(), "Stream read error");
  }
}

TEST(MemoryStream, WritePastEndGrowsAndSetSizeClampsPosition) {
  TMemoryStream S;
  S.SetPosition(3);
  S.WriteByte(9);
  ASSERT_EQ(S.Size(), 4);
  EXPECT_EQ(S.Memory()[0], 0);
  EXPECT_EQ(S.Memory()[3], 9);
  S.SetSize(2);
  EXPECT_EQ(S.Position(), 2);
}

TEST(Stream, CopyFromWholeAndPartial) {
  TMemoryStream Src, Dst;
  for (int I = 0; I < 100000; ++I) Src.WriteByte(static_cast<uint8_t>(I * 7));
  EXPECT_EQ(Dst.CopyFrom(Src, 0), 100000);  // 0 = everything from the start
  EXPECT_EQ(Dst.Bytes(), Src.Bytes());
  Src.SetPosition(99990);
  TMemoryStream Short;
  EXPECT_THROW(Short.CopyFrom(Src, 20), EReadError);
}

TEST(FileStream, RoundTripAndOpenErrorNamesFile) {
  const auto Path = std::filesystem::temp_directory_path() / "orn_stream_test.bin";
  {
    TFileStream F(Path.string(), TFileMode::fmCreate);
    F.WriteDWord(0xDEADBEEF);
  }
  TMemoryStream M;
  M.LoadFromFile(Path.string());
  EXPECT_EQ(M.ReadDWord(), 0xDEADBEEFu);
  std::filesystem::remove(Path);
  try {
    TFileStream F("/nonexistent/dir/x.bin", TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_NE(std::string(E.what()).find("/nonexistent/dir/x.bin"), std::string::npos);
  }
}
