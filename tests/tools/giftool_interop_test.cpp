// giftool against other GIF programs: a GIF written by giftool opens in ImageMagick with the
// same frames, delays and pixels, and GIFs written by ImageMagick and gifsicle decode to the
// pixels ImageMagick reports for them.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "gif/gif_reader_fixtures.h"
#include "tools/png_io.h"

namespace fs = std::filesystem;
using orn::tools::ReadPng;
using orn::tools::TRgbaImage;
using orn::tools::WritePng;

namespace {

struct TRun {
  int Status = -1;
  std::string Out;
};

TRun Shell(const std::string& Cmd) {
  TRun R;
  FILE* P = popen((Cmd + " 2>&1").c_str(), "r");
  if (P == nullptr) return R;
  std::array<char, 4096> Buf;
  size_t N;
  while ((N = fread(Buf.data(), 1, Buf.size(), P)) > 0) R.Out.append(Buf.data(), N);
  const int W = pclose(P);
  R.Status = WIFEXITED(W) ? WEXITSTATUS(W) : -1;
  return R;
}

std::string Q(const fs::path& P) {
  return "'" + P.string() + "'";
}

class Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* Tool : {"convert", "identify", "gifsicle"})
      ASSERT_EQ(Shell(std::string("command -v ") + Tool).Status, 0)
          << Tool << " is needed (scripts/test installs it)";
    Dir = fs::temp_directory_path() /
          ("giftool-interop-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(Dir);
  }

  TRun Giftool(const std::string& Args) { return Shell(std::string(GIFTOOL_PATH) + " " + Args); }

  // ImageMagick's own reading of frame Index, as RGBA at the frame's own size.
  TRgbaImage MagickFrame(const fs::path& Gif, int Index) {
    const fs::path Out = Dir / ("magick-" + std::to_string(Index) + ".png");
    const TRun R = Shell("convert " + Q(Gif.string() + "[" + std::to_string(Index) + "]") +
                         " +repage PNG32:" + Q(Out));
    EXPECT_EQ(R.Status, 0) << R.Out;
    return ReadPng(Out.string());
  }

  // Compares giftool's decoded frames with ImageMagick's, on every pixel ImageMagick shows
  // opaque (transparent pixels keep whatever colour the table gives them).
  void ExpectSameFrames(const fs::path& Gif, int Frames) {
    const fs::path Out = Dir / ("ours-" + Gif.stem().string());
    const TRun R = Giftool("frames " + Q(Gif) + " " + Q(Out));
    ASSERT_EQ(R.Status, 0) << R.Out;
    for (int I = 0; I < Frames; ++I) {
      char Name[32];
      std::snprintf(Name, sizeof Name, "frame-%03d.png", I);
      const TRgbaImage Ours = ReadPng((Out / Name).string());
      const TRgbaImage Theirs = MagickFrame(Gif, I);
      ASSERT_EQ(Ours.Width, Theirs.Width) << Gif << " frame " << I;
      ASSERT_EQ(Ours.Height, Theirs.Height) << Gif << " frame " << I;
      int Opaque = 0, Wrong = 0;
      for (int Y = 0; Y < Ours.Height; ++Y)
        for (int X = 0; X < Ours.Width; ++X) {
          const uint8_t* A = Ours.Row(Y) + X * 4;
          const uint8_t* B = Theirs.Row(Y) + X * 4;
          if (B[3] != 255) continue;
          ++Opaque;
          if (A[0] != B[0] || A[1] != B[1] || A[2] != B[2]) ++Wrong;
        }
      EXPECT_GT(Opaque, 0) << Gif << " frame " << I;
      EXPECT_EQ(Wrong, 0) << Gif << " frame " << I << ": " << Wrong << " of " << Opaque
                          << " pixels differ";
    }
    EXPECT_FALSE(fs::exists(Out / (std::string("frame-") + (Frames < 10 ? "00" : "0") +
                                   std::to_string(Frames) + ".png")))
        << "more frames than expected";
  }

  fs::path Dir;
};

// A picture with at most 200 colours, so every reduction method but the uniform and grey ones
// can keep it exactly.
TRgbaImage Pattern(int W, int H, int Seed) {
  TRgbaImage P;
  P.Width = W;
  P.Height = H;
  P.Pixels.resize(static_cast<size_t>(W) * H * 4);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t* Px = P.Row(Y) + X * 4;
      const int Cell = (X / 5 + Y / 3 * 7 + Seed) % 200;
      Px[0] = static_cast<uint8_t>(Cell * 37);
      Px[1] = static_cast<uint8_t>(Cell * 91);
      Px[2] = static_cast<uint8_t>(255 - Cell);
      Px[3] = 255;
    }
  return P;
}

}  // namespace

TEST_F(Interop, EncodedFileOpensInImageMagickWithSameFramesDelaysAndPixels) {
  std::string Inputs;
  for (int I = 0; I < 3; ++I) {
    const fs::path P = Dir / ("in" + std::to_string(I) + ".png");
    WritePng(P.string(), Pattern(37, 23, I * 11), false);
    Inputs += " " + Q(P);
  }
  for (const char* Method :
       {"popularity", "median-cut", "uniform784", "uniform666", "channel-cycle", "grey"}) {
    SCOPED_TRACE(Method);
    const fs::path Gif = Dir / (std::string(Method) + ".gif");
    const TRun Enc =
        Giftool("encode " + Q(Gif) + Inputs + " --delay 70 --loop 0 --method " + Method);
    ASSERT_EQ(Enc.Status, 0) << Enc.Out;
    const TRun Id = Shell("identify -format '%T %w %h|' " + Q(Gif));
    ASSERT_EQ(Id.Status, 0) << Id.Out;
    EXPECT_EQ(Id.Out, "7 37 23|7 37 23|7 37 23|");
    ExpectSameFrames(Gif, 3);
  }
}

TEST_F(Interop, PopularityKeepsAPictureOfFewColoursExactly) {
  const fs::path Png = Dir / "in.png";
  const TRgbaImage In = Pattern(40, 30, 5);
  WritePng(Png.string(), In, false);
  const fs::path Gif = Dir / "exact.gif";
  ASSERT_EQ(Giftool("encode " + Q(Gif) + " " + Q(Png) + " --method popularity").Status, 0);
  const TRgbaImage Back = MagickFrame(Gif, 0);
  ASSERT_EQ(Back.Pixels.size(), In.Pixels.size());
  EXPECT_EQ(Back.Pixels, In.Pixels);
}

TEST_F(Interop, ImageMagickAndGifsicleFilesDecodeToTheirPixels) {
  // Three full frames from ImageMagick, then the same optimised by gifsicle (sub-rectangles
  // with transparent pixels), interlaced by gifsicle, a dithered 256-colour picture and an
  // interlaced ImageMagick file.
  ASSERT_EQ(Shell("cd " + Q(Dir) +
                  " && convert -size 60x40 xc:white -fill red -draw 'rectangle 5,5 20,20' f0.png"
                  " && convert -size 60x40 xc:white -fill red -draw 'rectangle 25,5 40,20' f1.png"
                  " && convert -size 60x40 xc:white -fill blue -draw 'circle 30,20 30,35' f2.png"
                  " && convert -delay 10 f0.png f1.png f2.png -loop 0 anim.gif"
                  " && gifsicle -O2 anim.gif -o optimised.gif"
                  " && gifsicle --interlace anim.gif -o interlaced.gif"
                  " && convert -size 200x120 gradient:yellow-navy -swirl 90 -colors 256 photo.gif"
                  " && convert -size 77x51 plasma:red-green -seed 4 -colors 64 -interlace GIF "
                  "magick-interlaced.gif")
                .Status,
            0);
  struct {
    const char* File;
    int Frames;
  } const Cases[] = {{"anim.gif", 3},
                     {"optimised.gif", 3},
                     {"interlaced.gif", 3},
                     {"photo.gif", 1},
                     {"magick-interlaced.gif", 1}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    ExpectSameFrames(Dir / C.File, C.Frames);
  }
  // Geometry and transparency of the optimised file as gifsicle reports it.
  const TRun Info = Giftool("info " + Q(Dir / "optimised.gif") + " --json");
  ASSERT_EQ(Info.Status, 0);
  const TRun Theirs = Shell("gifsicle --info " + Q(Dir / "optimised.gif"));
  std::istringstream Lines(Theirs.Out);
  std::string Line;
  int Subframes = 0;
  while (std::getline(Lines, Line)) {
    int W, H, L, T;
    if (std::sscanf(Line.c_str(), " + image #%*d %dx%d at %d,%d", &W, &H, &L, &T) == 4) {
      ++Subframes;
      const std::string Expect = "\"left\":" + std::to_string(L) + ",\"top\":" + std::to_string(T) +
                                 ",\"width\":" + std::to_string(W) +
                                 ",\"height\":" + std::to_string(H);
      EXPECT_NE(Info.Out.find(Expect), std::string::npos) << Expect << "\n" << Info.Out;
    }
  }
  EXPECT_GT(Subframes, 0) << Theirs.Out;
}

// The compositor's pictures of a gifsicle-optimised animation (sub-rectangles with transparent
// pixels over frames left in place) equal ImageMagick's coalesced frames.
TEST_F(Interop, ComposedFramesMatchImageMagickCoalescing) {
  ASSERT_EQ(Shell("cd " + Q(Dir) +
                  " && convert -size 50x30 xc:white -fill red -draw 'rectangle 5,5 20,20' f0.png"
                  " && convert -size 50x30 xc:white -fill red -draw 'rectangle 25,5 40,20' f1.png"
                  " && convert -size 50x30 xc:white -fill blue -draw 'circle 25,15 25,25' f2.png"
                  " && convert -delay 10 f0.png f1.png f2.png -loop 0 anim.gif"
                  " && gifsicle -O2 anim.gif -o optimised.gif"
                  " && convert optimised.gif -coalesce PNG32:coalesced-%d.png")
                .Status,
            0);
  const TRun R =
      Giftool("frames " + Q(Dir / "optimised.gif") + " " + Q(Dir / "composed") + " --composed");
  ASSERT_EQ(R.Status, 0) << R.Out;
  for (int I = 0; I < 3; ++I) {
    SCOPED_TRACE(I);
    char Name[32];
    std::snprintf(Name, sizeof Name, "composed-%03d.png", I);
    const TRgbaImage Ours = ReadPng((Dir / "composed" / Name).string());
    const TRgbaImage Theirs = ReadPng((Dir / ("coalesced-" + std::to_string(I) + ".png")).string());
    ASSERT_EQ(Ours.Width, 50);
    ASSERT_EQ(Ours.Height, 30);
    ASSERT_EQ(Theirs.Width, 50);
    ASSERT_EQ(Theirs.Height, 30);
    EXPECT_EQ(Ours.Pixels, Theirs.Pixels);
  }
}

// Animations whose frames have two colours, one of them transparent (1-bit frames): a red
// circle on a transparent background, each frame wiped or left in place, and a white figure
// whose black is transparent, optimised by gifsicle into a sub-rectangle; one file also carries
// gifsicle's frame names, which are read past. The composed pictures
// show what ImageMagick's coalescing shows: the same pixels transparent, the same colours
// elsewhere.
TEST_F(Interop, TwoColourFramesComposeAsImageMagickCoalescesThem) {
  ASSERT_EQ(Shell("cd " + Q(Dir) +
                  " && convert -size 40x30 xc:none -fill red -draw 'circle 10,15 10,25' c0.png"
                  " && convert -size 40x30 xc:none -fill red -draw 'circle 20,15 20,25' c1.png"
                  " && convert -size 40x30 xc:none -fill red -draw 'circle 30,15 30,25' c2.png"
                  " && convert -delay 10 -dispose background c0.png c1.png c2.png wiped.gif"
                  " && convert -delay 10 -dispose none c0.png c1.png c2.png left.gif"
                  " && convert -size 40x30 xc:white -fill black -draw 'rectangle 5,5 15,25'"
                  " -transparent black b0.png"
                  " && convert -size 40x30 xc:white -fill black -draw 'rectangle 20,5 35,12'"
                  " -transparent black b1.png"
                  " && convert -delay 10 -dispose none b0.png b1.png bw.gif"
                  " && gifsicle -O2 bw.gif -o bw-optimised.gif"
                  // gifsicle's frame names go into an extension of its own (label 0xCE).
                  " && gifsicle --name circle left.gif -o named.gif")
                .Status,
            0);
  struct {
    const char* File;
    int Frames;
  } const Cases[] = {{"wiped.gif", 3}, {"left.gif", 3}, {"bw-optimised.gif", 2}, {"named.gif", 3}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    const fs::path Gif = Dir / C.File;
    const std::string Stem = Gif.stem().string();
    // Every frame of these files has a two-entry colour table.
    const TRun Info = Giftool("info " + Q(Gif));
    ASSERT_EQ(Info.Status, 0) << Info.Out;
    EXPECT_NE(Info.Out.find(" 2 colours"), std::string::npos) << Info.Out;
    EXPECT_EQ(Info.Out.find(" 4 colours"), std::string::npos) << Info.Out;
    ASSERT_EQ(Shell("convert " + Q(Gif) + " -coalesce PNG32:" + Q(Dir / (Stem + "-%d.png"))).Status,
              0);
    const TRun R = Giftool("frames " + Q(Gif) + " " + Q(Dir / Stem) + " --composed");
    ASSERT_EQ(R.Status, 0) << R.Out;
    for (int I = 0; I < C.Frames; ++I) {
      SCOPED_TRACE(I);
      char Name[32];
      std::snprintf(Name, sizeof Name, "composed-%03d.png", I);
      const TRgbaImage Ours = ReadPng((Dir / Stem / Name).string());
      const TRgbaImage Theirs = ReadPng((Dir / (Stem + "-" + std::to_string(I) + ".png")).string());
      ASSERT_EQ(Ours.Width, Theirs.Width);
      ASSERT_EQ(Ours.Height, Theirs.Height);
      int Clear = 0, Wrong = 0;
      for (int Y = 0; Y < Ours.Height; ++Y)
        for (int X = 0; X < Ours.Width; ++X) {
          const uint8_t* A = Ours.Row(Y) + X * 4;
          const uint8_t* B = Theirs.Row(Y) + X * 4;
          const bool Transparent = B[3] == 0;
          Clear += Transparent;
          if ((A[3] == 0) != Transparent ||
              (!Transparent && (A[0] != B[0] || A[1] != B[1] || A[2] != B[2])))
            ++Wrong;
        }
      if (I == 0) {
        EXPECT_GT(Clear, 0) << "the first frame shows what lies behind it";
      }
      EXPECT_EQ(Wrong, 0) << Wrong << " of " << Ours.Width * Ours.Height << " pixels differ";
    }
  }
}

TEST_F(Interop, ErrorsAndUsage) {
  const TRun Missing = Giftool("info " + Q(Dir / "none.gif"));
  EXPECT_EQ(Missing.Status, 1);
  EXPECT_EQ(Missing.Out.rfind("giftool: ", 0), 0u) << Missing.Out;
  const fs::path Bad = Dir / "bad.gif";
  ASSERT_EQ(Shell("printf 'GIF88a' > " + Q(Bad)).Status, 0);
  const TRun Version = Giftool("info " + Q(Bad));
  EXPECT_EQ(Version.Status, 1);
  EXPECT_EQ(Version.Out, "giftool: " + Bad.string() + ": Неизвестная версия изображения GIF\n");
  EXPECT_EQ(Giftool("").Status, 2);
  EXPECT_EQ(Giftool("info").Status, 2);
  EXPECT_EQ(Giftool("encode out.gif in.png --method nope").Status, 2);
}
