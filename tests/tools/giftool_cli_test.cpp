// giftool as a user meets it: help, errors that name their file, output that a failure leaves
// alone, pipes, honest reports of damaged input, and input whose size would take unbounded
// memory or time.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gif/gif_reader_fixtures.h"
#include "tools/png_io.h"

namespace fs = std::filesystem;
using namespace giftest;
using orn::tools::ReadPng;
using orn::tools::TRgbaImage;

namespace {

struct TRun {
  int Status = -1;
  std::string Out;  // standard output
  std::string Err;  // standard error
};

class GiftoolCli : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("giftool-cli-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(Dir);
  }

  // Runs a shell command in Dir with giftool as $G; standard error is kept apart.
  TRun Sh(const std::string& Cmd) {
    const std::string ErrFile = (Dir / ".stderr").string();
    const std::string Full = "cd '" + Dir.string() + "' && G='" + GIFTOOL_PATH + "' && { " + Cmd +
                             " ; } 2>'" + ErrFile + "'";
    TRun R;
    FILE* P = popen(Full.c_str(), "r");
    if (P == nullptr) return R;
    std::array<char, 4096> Buf;
    size_t N;
    while ((N = fread(Buf.data(), 1, Buf.size(), P)) > 0) R.Out.append(Buf.data(), N);
    const int W = pclose(P);
    R.Status = WIFEXITED(W) ? WEXITSTATUS(W) : -1;
    R.Err = Read(ErrFile);
    fs::remove(ErrFile);
    return R;
  }

  std::string Read(const fs::path& F) {
    std::string S;
    if (FILE* In = std::fopen(F.c_str(), "rb")) {
      char Buf[4096];
      size_t N;
      while ((N = std::fread(Buf, 1, sizeof Buf, In)) > 0) S.append(Buf, N);
      std::fclose(In);
    }
    return S;
  }
  void Write(const std::string& Name, const Bytes& Data) {
    FILE* Out = std::fopen((Dir / Name).c_str(), "wb");
    ASSERT_TRUE(Out);
    std::fwrite(Data.data(), 1, Data.size(), Out);
    std::fclose(Out);
  }
  // Every entry of Dir, so that a left-over temporary file shows.
  std::vector<std::string> Entries() {
    std::vector<std::string> R;
    for (const auto& E : fs::directory_iterator(Dir)) R.push_back(E.path().filename().string());
    std::sort(R.begin(), R.end());
    return R;
  }

  fs::path Dir;
};

// A PNG file made byte by byte: signature, IHDR, optional extra chunks, one IDAT of Raw
// (filter bytes included) and IEND.
Bytes Png(uint32_t W, uint32_t H, int Depth, int ColourType, const Bytes& Raw,
          const Bytes& Extra = {}) {
  Bytes Out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto Be32 = [&](Bytes& B, uint32_t V) {
    for (int S = 24; S >= 0; S -= 8) B.push_back(static_cast<uint8_t>(V >> S));
  };
  auto Chunk = [&](const char* Type, const Bytes& Data) {
    Be32(Out, static_cast<uint32_t>(Data.size()));
    Bytes Body(Type, Type + 4);
    Body.insert(Body.end(), Data.begin(), Data.end());
    Out.insert(Out.end(), Body.begin(), Body.end());
    Be32(Out, static_cast<uint32_t>(crc32(0, Body.data(), static_cast<uInt>(Body.size()))));
  };
  Bytes Ihdr;
  Be32(Ihdr, W);
  Be32(Ihdr, H);
  Ihdr.insert(Ihdr.end(), {static_cast<uint8_t>(Depth), static_cast<uint8_t>(ColourType), 0, 0, 0});
  Chunk("IHDR", Ihdr);
  Out.insert(Out.end(), Extra.begin(), Extra.end());
  uLongf Len = compressBound(static_cast<uLong>(Raw.size()));
  Bytes Z(Len);
  compress(Z.data(), &Len, Raw.data(), static_cast<uLong>(Raw.size()));
  Z.resize(Len);
  Chunk("IDAT", Z);
  Chunk("IEND", {});
  return Out;
}

// A 1 x 1 frame of colour Index over the four-colour table.
Bytes Pixel(int Index) {
  return LiteralLZW(2, {Index});
}

Bytes TwoPixelsGIF() {
  TGIFBuilder G;
  G.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, Pixel(1)).Image(0, 0, 1, 1, Pixel(2)).Trailer();
  return G.B;
}

}  // namespace

TEST_F(GiftoolCli, HelpPrintsTheUsage) {
  for (const char* Arg : {"help", "--help", "-h"}) {
    SCOPED_TRACE(Arg);
    const TRun R = Sh(std::string("\"$G\" ") + Arg);
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.Out.rfind("usage: giftool info", 0), 0u) << R.Out;
    EXPECT_NE(R.Out.find("--composed"), std::string::npos);
    EXPECT_NE(R.Out.find("hundredths"), std::string::npos);
  }
}

TEST_F(GiftoolCli, ErrorsNameTheFileAndDamagedHeadersAreReadErrors) {
  fs::create_directories(Dir / "photos");
  TGIFBuilder Full;
  Full.Header().Screen(1, 1, Four).Trailer();
  Write("empty.gif", {});
  Write("bare.gif", Bytes(Full.B.begin(), Full.B.begin() + 6));
  Write("cut-screen.gif", Bytes(Full.B.begin(), Full.B.begin() + 9));
  Write("cut-table.gif", Bytes(Full.B.begin(), Full.B.begin() + 16));
  Write("no-frames.gif", Full.B);
  const struct {
    const char* Args;
    const char* Message;
  } Cases[] = {
      {"info missing.gif", "giftool: missing.gif: No such file or directory\n"},
      {"info photos/", "giftool: photos/: Is a directory\n"},
      {"info empty.gif", "giftool: empty.gif: Stream read error\n"},
      {"info bare.gif", "giftool: bare.gif: Stream read error\n"},
      {"info cut-screen.gif", "giftool: cut-screen.gif: Stream read error\n"},
      {"info cut-table.gif", "giftool: cut-table.gif: Stream read error\n"},
      {"resave no-frames.gif out.gif", "giftool: out.gif: Нет данных для записи в формате GIF\n"},
      {"encode out.gif missing.png", "giftool: missing.png: No such file or directory\n"},
      {"encode out.gif no-frames.gif", "giftool: no-frames.gif: Not a PNG file\n"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Args);
    const TRun R = Sh(std::string("\"$G\" ") + C.Args);
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, C.Message);
  }
  // A header followed by the trailer is a valid picture without frames.
  const TRun R = Sh("\"$G\" info no-frames.gif");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Out.find("frames: 0\n"), std::string::npos) << R.Out;
}

TEST_F(GiftoolCli, AFailedSaveLeavesTheOutputAsItWas) {
  TGIFBuilder NoFrames;
  NoFrames.Header().Screen(1, 1, Four).Trailer();
  Write("no-frames.gif", NoFrames.B);
  Write("keep.gif", TwoPixelsGIF());
  const std::string Before = Read(Dir / "keep.gif");
  EXPECT_EQ(Sh("\"$G\" resave no-frames.gif keep.gif").Status, 1);
  EXPECT_EQ(Read(Dir / "keep.gif"), Before);

  // A file-size limit of 1 KB (which the error message itself stays under) stands in for a
  // full disk; the picture is larger.
  TGIFBuilder Big;
  Big.Header().Screen(1, 1, Four);
  for (int I = 0; I < 300; ++I) Big.Image(0, 0, 1, 1, Pixel(I % 4));
  Write("big.gif", Big.Trailer().B);
  const TRun Full = Sh("trap '' XFSZ; ulimit -f 1; \"$G\" resave big.gif keep.gif");
  EXPECT_EQ(Full.Status, 1);
  EXPECT_EQ(Full.Err, "giftool: keep.gif: File too large\n");
  EXPECT_EQ(Read(Dir / "keep.gif"), Before);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"big.gif", "keep.gif", "no-frames.gif"}));
}

TEST_F(GiftoolCli, ResaveInPlaceThroughALinkKeepsEveryFrameAndTheLink) {
  // The third frame's data are damaged (they end before the frame is complete): its stored
  // bytes are kept as they are.
  TGIFBuilder G;
  G.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, Pixel(1)).Image(0, 0, 1, 1, Pixel(2));
  G.Image(0, 0, 1, 1, {2, 0}).Trailer();
  Write("damaged.gif", G.B);
  fs::create_symlink("damaged.gif", Dir / "link.gif");
  const TRun R = Sh("\"$G\" resave link.gif link.gif && \"$G\" info damaged.gif");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_TRUE(fs::is_symlink(Dir / "link.gif"));
  EXPECT_NE(R.Out.find("frames: 3\n"), std::string::npos) << R.Out;
  EXPECT_NE(R.Out.find("frame 2: origin 0,0 size 1 x 1"), std::string::npos) << R.Out;
}

TEST_F(GiftoolCli, ResaveClosesDataThatEndWithoutTheirTerminator) {
  Bytes Last = Pixel(3);
  Last.pop_back();  // no block terminator
  TGIFBuilder G;
  G.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, Pixel(1)).Image(0, 0, 1, 1, Last);
  Write("open.gif", G.B);
  const TRun R = Sh("\"$G\" resave open.gif closed.gif && gifsicle --info closed.gif");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err, "");  // gifsicle finds nothing to complain about
  EXPECT_NE(R.Out.find("2 images"), std::string::npos) << R.Out;
}

TEST_F(GiftoolCli, StandardInputAndOutputAndPipes) {
  Write("a.gif", TwoPixelsGIF());
  for (const char* Cmd : {"cat a.gif | \"$G\" info -", "cat a.gif | \"$G\" info /dev/stdin",
                          "\"$G\" info - < a.gif"}) {
    SCOPED_TRACE(Cmd);
    const TRun R = Sh(Cmd);
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_NE(R.Out.find("frames: 2\n"), std::string::npos) << R.Out;
  }
  const TRun R = Sh("cat a.gif | \"$G\" resave - - > piped.gif && \"$G\" resave a.gif file.gif");
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Read(Dir / "piped.gif"), Read(Dir / "file.gif"));
  EXPECT_GT(Read(Dir / "piped.gif").size(), 0u);
}

TEST_F(GiftoolCli, DelaysAndLooping) {
  Write("in.png", Png(1, 1, 8, 0, {0, 7}));
  const struct {
    const char* Delay;
    const char* Shown;
  } Cases[] = {{"74", "delay 70 ms"}, {"75", "delay 80 ms"}, {"65530", "delay 65530 ms"}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Delay);
    const TRun R = Sh(std::string("\"$G\" encode d.gif in.png in.png --delay ") + C.Delay +
                      " && \"$G\" info d.gif");
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_NE(R.Out.find(C.Shown), std::string::npos) << R.Out;
  }
  for (const char* Bad : {"65531", "-1", "7x", "99999999999999999999"}) {
    SCOPED_TRACE(Bad);
    const TRun R = Sh(std::string("\"$G\" encode d.gif in.png --delay ") + Bad);
    EXPECT_EQ(R.Status, 2);
    EXPECT_EQ(R.Err.rfind("giftool: --delay takes milliseconds from 0 to 65530\n", 0), 0u) << R.Err;
  }
  // A stored delay beyond what the model holds keeps the largest value, not its low bits.
  TGIFBuilder G;
  G.Header().Screen(1, 1, Four).GraphicControl(0, 7000, 0).Image(0, 0, 1, 1, Pixel(1)).Trailer();
  Write("long.gif", G.B);
  EXPECT_NE(Sh("\"$G\" info long.gif").Out.find("delay 65535 ms"), std::string::npos);

  // --loop with a single frame is refused, not dropped.
  const TRun One = Sh("\"$G\" encode l.gif in.png --loop 0");
  EXPECT_EQ(One.Status, 2);
  EXPECT_EQ(One.Err.rfind("giftool: --loop needs two or more frames", 0), 0u) << One.Err;
  EXPECT_FALSE(fs::exists(Dir / "l.gif"));
  EXPECT_NE(Sh("\"$G\" encode l.gif in.png in.png --loop 3 && \"$G\" info l.gif")
                .Out.find("loop: enabled, count 3"),
            std::string::npos);
}

TEST_F(GiftoolCli, PngTransparencyAndSixteenBitGrey) {
  // RGBA: a transparent pixel and a red one; palette with tRNS: entry 0 transparent; 16-bit
  // grey 0x8080 without gamma information, which every viewer shows as 128.
  Write("rgba.png", Png(2, 1, 8, 6, {0, 0, 0, 0, 0, 255, 0, 0, 255}));
  Bytes Extra;
  {
    // PLTE (two entries) and tRNS (entry 0 transparent), with their CRCs.
    auto Chunk = [&](const std::string& Type, const Bytes& Data) {
      for (int S = 24; S >= 0; S -= 8) Extra.push_back(static_cast<uint8_t>(Data.size() >> S));
      Bytes Body(Type.begin(), Type.end());
      Body.insert(Body.end(), Data.begin(), Data.end());
      Extra.insert(Extra.end(), Body.begin(), Body.end());
      const uLong C = crc32(0, Body.data(), static_cast<uInt>(Body.size()));
      for (int S = 24; S >= 0; S -= 8) Extra.push_back(static_cast<uint8_t>(C >> S));
    };
    Chunk("PLTE", {0, 0, 255, 0, 255, 0});
    Chunk("tRNS", {0});
  }
  Write("trns.png", Png(2, 1, 8, 3, {0, 0, 1}, Extra));
  Write("grey16.png", Png(1, 1, 16, 0, {0, 0x80, 0x80}));
  for (const char* Name : {"rgba", "trns"}) {
    SCOPED_TRACE(Name);
    const std::string N = Name;
    const TRun R = Sh("\"$G\" encode " + N + ".gif " + N + ".png && \"$G\" info " + N +
                      ".gif && convert " + N + ".gif PNG32:" + N + "-magick.png");
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out.find("key colour none"), std::string::npos) << R.Out;
    const TRgbaImage Back = ReadPng((Dir / (N + "-magick.png")).string());
    ASSERT_EQ(Back.Width, 2);
    EXPECT_EQ(Back.Pixels[3], 0) << "the transparent pixel";
    EXPECT_EQ(Back.Pixels[7], 255) << "the opaque pixel";
  }
  EXPECT_EQ(ReadPng((Dir / "rgba-magick.png").string()).Pixels[4], 255);  // red stays red

  const TRun Grey = Sh("\"$G\" encode g.gif grey16.png && \"$G\" frames g.gif out");
  ASSERT_EQ(Grey.Status, 0) << Grey.Err;
  const TRgbaImage Px = ReadPng((Dir / "out" / "frame-000.png").string());
  EXPECT_EQ(Px.Pixels[0], 128);
  EXPECT_EQ(Px.Pixels[1], 128);
}

TEST_F(GiftoolCli, JsonEscapesCommentBytesThatAreNotUtf8) {
  TGIFBuilder G;
  G.Header().Screen(1, 1, Four).Image(0, 0, 1, 1, Pixel(1));
  G.Comment({std::string("\xff\xfe\"\x01 \xc3\xa9 \xe2\x82", 10)}).Trailer();
  Write("c.gif", G.B);
  const TRun R = Sh("\"$G\" info c.gif --json");
  ASSERT_EQ(R.Status, 0) << R.Err;
  // Well-formed UTF-8 (é) stays; the stray bytes and the cut sequence become \u00XX.
  EXPECT_NE(R.Out.find("\"comment\":\"\\u00ff\\u00fe\\\"\\u0001 \xc3\xa9 \\u00e2\\u0082\""),
            std::string::npos)
      << R.Out;
}

TEST_F(GiftoolCli, EmptyFramesAreSkippedWithANote) {
  TGIFBuilder G;
  G.Header().Screen(0, 0, Four).Image(0, 0, 0, 0, LiteralLZW(2, {})).Trailer();
  Write("zero.gif", G.B);
  const TRun R = Sh("\"$G\" frames zero.gif out");
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err, "giftool: zero.gif: frame 0 is 0 x 0 pixels; no picture written for it\n");
  EXPECT_TRUE(fs::is_empty(Dir / "out"));
}

TEST_F(GiftoolCli, SizesFromHeadersAreCheckedBeforeAnythingIsAllocated) {
  // PNG headers declaring pictures beyond the frame limit (one with a 32-bit byte count that
  // wraps), and GIFs of large frames made of end codes only. Memory is limited to 1 GB.
  Write("p30000.png", Png(30000, 30000, 8, 0, {0, 0}));
  Write("p65535.png", Png(65535, 65535, 8, 6, {0, 0}));
  Write("p8193.png", Png(8193, 8193, 8, 0, {0, 0}));
  for (const char* Size : {"30000", "65535", "8193"}) {
    SCOPED_TRACE(Size);
    const std::string S = Size;
    const TRun R = Sh("ulimit -v 1000000; \"$G\" encode out.gif p" + S + ".png");
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Err, "giftool: p" + S + ".png: PNG image too large for a GIF frame: " + S + " x " +
                         S + " pixels\n");
    EXPECT_FALSE(fs::exists(Dir / "out.gif"));
  }
  TGIFBuilder G;
  G.Header().Screen(8192, 8192, Four);
  for (int I = 0; I < 64; ++I) G.Image(0, 0, 8192, 8192, {2, 1, 5, 0});
  Write("huge.gif", G.Trailer().B);
  const TRun R =
      Sh("ulimit -v 1000000; \"$G\" info huge.gif && \"$G\" resave huge.gif back.gif"
         " && \"$G\" info back.gif");
  EXPECT_EQ(R.Status, 0) << R.Err;
  // The resaved file reports exactly what the original does.
  const std::string First = R.Out.substr(0, R.Out.size() / 2);
  EXPECT_NE(First.find("frames: 64\n"), std::string::npos) << R.Out;
  EXPECT_EQ(R.Out, First + First);
}
