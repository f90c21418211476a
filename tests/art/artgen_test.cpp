// The art generator's output for each product: the animated picture's layout (sizes, frame
// count, delays, disposal, interlacing, transparency, background, which frames cover the
// whole picture, header values), the mask bitmap's format and shape, how picture and mask
// fit together, the icon files, and that two runs write the same bytes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "art/art_frames.h"
#include "core/stream.h"
#include "gfx/gdi.h"
#include "gif/lzw_decoder.h"
#include "gif/write_test_util.h"
#include "tools/png_io.h"

namespace fs = std::filesystem;
using orn::testing::DecodeFrames;
using orn::testing::ParseGIF;
using orn::testing::TFrame;
using orn::testing::TParsedBlock;
using orn::testing::TParsedGIF;

namespace {

// What each product's picture must look like in the file.
struct TExpected {
  const char* Name;
  int Width, Height;
  int Frames;
  int DelayCs;
  bool Transparent;  // index 255 is the transparent colour of every frame
  int Background;
  bool Interlaced;
  std::set<int> FullCover;
  std::set<int> RestoreBackground;  // disposal 2; all others 1
  int MaskBits;
  bool PaintsAll;  // the frames paint the whole rectangle
};

void PrintTo(const TExpected& E, std::ostream* Os) {
  *Os << E.Name;
}

std::set<int> Range(std::set<int> S, int From, int To) {
  for (int I = From; I <= To; ++I) S.insert(I);
  return S;
}

const std::vector<TExpected>& Products() {
  static const std::vector<TExpected> P{
      {"fernlight", 118, 170, 40, 5, true, 255, false, Range({0, 23, 25}, 27, 39),
       Range({22, 24}, 26, 38), 4, false},
      {"velmora", 180, 200, 8, 10, false, 0, true, {0}, {}, 1, true},
      {"sarnith", 190, 225, 50, 7, true, 0, false, {0, 49}, {49}, 1, true},
  };
  return P;
}

const char* const Files[] = {"picture.gif", "mask.bmp", "icon.ico", "icon16.png", "icon32.png"};

int RunCommand(const std::string& Cmd) {
  const int W = std::system((Cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(W) ? WEXITSTATUS(W) : -1;
}

std::vector<uint8_t> ReadAll(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

uint32_t Le16(const std::vector<uint8_t>& B, size_t At) {
  return B.at(At) | (B.at(At + 1) << 8);
}
uint32_t Le32(const std::vector<uint8_t>& B, size_t At) {
  return Le16(B, At) | (Le16(B, At + 2) << 16);
}

// The generator runs twice per product, into two directories, once for the whole suite.
class ArtGen : public ::testing::TestWithParam<TExpected> {
 protected:
  static void SetUpTestSuite() {
    Root = fs::temp_directory_path() / ("orn-artgen-" + std::to_string(::getpid()));
    fs::remove_all(Root);
    for (const TExpected& E : Products())
      for (const char* Run2 : {"a", "b"})
        Status[std::string(E.Name) + Run2] = RunCommand(
            std::string(ARTGEN_PATH) + " " + E.Name + " '" + (Root / Run2 / E.Name).string() + "'");
  }
  static void TearDownTestSuite() { fs::remove_all(Root); }

  void SetUp() override {
    const TExpected& E = GetParam();
    ASSERT_EQ(Status[std::string(E.Name) + "a"], 0);
    ASSERT_EQ(Status[std::string(E.Name) + "b"], 0);
    Dir = Root / "a" / E.Name;
  }

  static inline fs::path Root;
  static inline std::map<std::string, int> Status;
  fs::path Dir;
};

TEST_P(ArtGen, PictureHeaderAndBlocks) {
  const TExpected& E = GetParam();
  const TParsedGIF G = ParseGIF(ReadAll(Dir / "picture.gif"));
  ASSERT_EQ(G.Error, "");
  ASSERT_TRUE(G.Trailer);
  EXPECT_EQ(G.Signature, "GIF89a");
  EXPECT_EQ(G.Width, E.Width);
  EXPECT_EQ(G.Height, E.Height);
  EXPECT_EQ(G.ScreenPacked, 0xF7);
  EXPECT_EQ(G.GlobalTable.size(), 256u * 3);
  EXPECT_EQ(G.Background, E.Background);
  EXPECT_EQ(G.Aspect, 0);

  // The looping extension comes first: NETSCAPE2.0, sub-block 1, loop count 0.
  ASSERT_FALSE(G.Blocks.empty());
  const TParsedBlock& Loop = G.Blocks[0];
  EXPECT_EQ(Loop.Kind, '!');
  EXPECT_EQ(Loop.Label, 0xFF);
  EXPECT_EQ(std::string(Loop.Fixed.begin(), Loop.Fixed.end()), std::string("\x0bNETSCAPE2.0", 12));
  ASSERT_EQ(Loop.SubBlocks.size(), 1u);
  EXPECT_EQ(Loop.SubBlocks[0], std::string("\x01\x00\x00", 3));
  for (size_t I = 1; I < G.Blocks.size(); ++I) {
    const TParsedBlock& B = G.Blocks[I];
    if (B.Kind == '!') {
      EXPECT_EQ(B.Label, 0xF9) << "only graphic control extensions follow";
    } else {
      EXPECT_TRUE(B.LocalTable.empty()) << "no local colour tables";
    }
  }

  // The transparent colour is found at index 255 only, so a reader that keeps transparency
  // as a colour maps it back to the same index.
  if (E.Transparent) {
    const uint8_t* T = &G.GlobalTable[255 * 3];
    for (int I = 0; I < 255; ++I)
      EXPECT_FALSE(G.GlobalTable[I * 3] == T[0] && G.GlobalTable[I * 3 + 1] == T[1] &&
                   G.GlobalTable[I * 3 + 2] == T[2])
          << "entry " << I << " repeats the transparent colour";
  }
}

TEST_P(ArtGen, FramesFollowTheProductsLayout) {
  const TExpected& E = GetParam();
  const TParsedGIF G = ParseGIF(ReadAll(Dir / "picture.gif"));
  ASSERT_EQ(G.Error, "");
  const std::vector<TFrame> Frames = DecodeFrames(G);
  ASSERT_EQ(static_cast<int>(Frames.size()), E.Frames);
  for (int I = 0; I < E.Frames; ++I) {
    SCOPED_TRACE("frame " + std::to_string(I));
    const TFrame& F = Frames[static_cast<size_t>(I)];
    EXPECT_EQ(F.Delay, E.DelayCs);
    EXPECT_EQ(F.Disposal, E.RestoreBackground.count(I) ? 2 : 1);
    EXPECT_EQ((F.Packed & 0x40) != 0, E.Interlaced);
    EXPECT_EQ(F.Packed & 0x80, 0);
    EXPECT_EQ(F.HasKey, E.Transparent);
    if (E.Transparent) {
      EXPECT_EQ(F.Key, 255);
    }
    EXPECT_GE(F.Width, 1);
    EXPECT_GE(F.Height, 1);
    EXPECT_LE(F.Left + F.Width, E.Width);
    EXPECT_LE(F.Top + F.Height, E.Height);
    const bool Covers = F.Left == 0 && F.Top == 0 && F.Width == E.Width && F.Height == E.Height;
    EXPECT_EQ(Covers, E.FullCover.count(I) == 1);
  }
}

// The mask as read back: true where the ornament is kept (black).
struct TMask {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Keep;
  bool At(int X, int Y) const { return Keep[static_cast<size_t>(Y) * Width + X] != 0; }
};

TMask LoadMask(const fs::path& P) {
  orn::TMemoryStream S;
  S.LoadFromFile(P.string());
  const orn::TDib D = orn::ReadBMP(S);
  TMask M{D.Width, D.Height, std::vector<uint8_t>(static_cast<size_t>(D.Width) * D.Height)};
  for (int Y = 0; Y < D.Height; ++Y)
    for (int X = 0; X < D.Width; ++X) {
      const orn::TColor C = D.PixelColor(X, Y);
      EXPECT_TRUE(C == 0 || C == 0xFFFFFF) << "mask pixel " << X << "," << Y;
      M.Keep[static_cast<size_t>(Y) * D.Width + X] = C == 0 ? 1 : 0;
    }
  return M;
}

TEST_P(ArtGen, MaskFileFormat) {
  const TExpected& E = GetParam();
  const std::vector<uint8_t> B = ReadAll(Dir / "mask.bmp");
  ASSERT_GE(B.size(), 62u);
  EXPECT_EQ(B[0], 'B');
  EXPECT_EQ(B[1], 'M');
  const uint32_t Stride = ((E.Width * E.MaskBits + 31) / 32) * 4;
  EXPECT_EQ(Le32(B, 2), B.size()) << "file size field";
  EXPECT_EQ(Le32(B, 10), 62u) << "pixels right after two colour-table entries";
  EXPECT_EQ(B.size(), 62u + Stride * E.Height);
  EXPECT_EQ(Le32(B, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(Le32(B, 18)), E.Width);
  EXPECT_EQ(static_cast<int32_t>(Le32(B, 22)), E.Height) << "bottom-up rows";
  EXPECT_EQ(Le16(B, 26), 1u);
  EXPECT_EQ(static_cast<int>(Le16(B, 28)), E.MaskBits);
  EXPECT_EQ(Le32(B, 30), 0u) << "no compression";
  const uint32_t Used = Le32(B, 46);
  EXPECT_EQ(Used == 0 ? 1u << E.MaskBits : Used, 2u) << "two colour-table entries";
  const std::vector<uint8_t> Table(B.begin() + 54, B.begin() + 62);
  EXPECT_EQ(Table, (std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0}));
  // Pixel values other than 0 and 1 would name colour-table entries that are not there.
  for (uint32_t Row = 0; Row < static_cast<uint32_t>(E.Height); ++Row)
    for (int X = 0; X < E.Width; ++X) {
      const uint8_t Byte = B[62 + Row * Stride + X * E.MaskBits / 8];
      const int V = E.MaskBits == 4 ? ((X & 1) ? Byte & 15 : Byte >> 4) : (Byte >> (7 - X % 8)) & 1;
      ASSERT_LE(V, 1) << "row " << Row << " x " << X;
    }
}

// Sizes of the 4-connected pieces of the pixels whose Keep value is Value; Border tells for
// each whether it touches the edge of the picture.
std::vector<int> Pieces(const TMask& M, uint8_t Value, std::vector<bool>* Border) {
  std::vector<int> Seen(M.Keep.size(), 0), Sizes;
  for (int Y0 = 0; Y0 < M.Height; ++Y0)
    for (int X0 = 0; X0 < M.Width; ++X0) {
      const size_t S = static_cast<size_t>(Y0) * M.Width + X0;
      if (M.Keep[S] != Value || Seen[S]) continue;
      std::deque<std::pair<int, int>> Q{{X0, Y0}};
      Seen[S] = 1;
      int Size = 0;
      bool Edge = false;
      while (!Q.empty()) {
        auto [X, Y] = Q.front();
        Q.pop_front();
        ++Size;
        Edge = Edge || X == 0 || Y == 0 || X == M.Width - 1 || Y == M.Height - 1;
        const int D[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
        for (const auto& Dd : D) {
          const int Nx = X + Dd[0], Ny = Y + Dd[1];
          if (Nx < 0 || Ny < 0 || Nx >= M.Width || Ny >= M.Height) continue;
          const size_t N = static_cast<size_t>(Ny) * M.Width + Nx;
          if (M.Keep[N] != Value || Seen[N]) continue;
          Seen[N] = 1;
          Q.emplace_back(Nx, Ny);
        }
      }
      Sizes.push_back(Size);
      if (Border) Border->push_back(Edge);
    }
  return Sizes;
}

TEST_P(ArtGen, MaskIsOneOutlineWithoutIslandsOrPinholes) {
  const TExpected& E = GetParam();
  const TMask M = LoadMask(Dir / "mask.bmp");
  ASSERT_EQ(M.Width, E.Width);
  ASSERT_EQ(M.Height, E.Height);
  EXPECT_EQ(Pieces(M, 1, nullptr).size(), 1u) << "the kept area is one piece";
  std::vector<bool> Border;
  const std::vector<int> Cut = Pieces(M, 0, &Border);
  for (size_t I = 0; I < Cut.size(); ++I)
    if (!Border[I]) {
      EXPECT_GE(Cut[I], 16) << "a pin-hole inside the outline";
    }
  // A tree, not a rectangle or a speck: between a quarter and three quarters is kept.
  int Kept = 0;
  for (uint8_t K : M.Keep) Kept += K;
  EXPECT_GT(Kept, E.Width * E.Height / 4);
  EXPECT_LT(Kept, E.Width * E.Height * 3 / 4);
}

TEST_P(ArtGen, PictureAndMaskFitTogether) {
  const TExpected& E = GetParam();
  const TMask M = LoadMask(Dir / "mask.bmp");
  const TParsedGIF G = ParseGIF(ReadAll(Dir / "picture.gif"));
  ASSERT_EQ(G.Error, "");
  const std::vector<TFrame> Frames = DecodeFrames(G);
  ASSERT_EQ(static_cast<int>(Frames.size()), E.Frames);
  ASSERT_EQ(M.Width, E.Width);

  // The frame-0 picture shows the outline the mask cuts: outside it, the transparent
  // colour (or, where frames paint everything, the background), inside it, never.
  const TFrame& First = Frames[0];
  const int Outside = E.PaintsAll ? E.Background : 255;
  int Mismatch = 0;
  for (int Y = 0; Y < E.Height; ++Y)
    for (int X = 0; X < E.Width; ++X)
      if ((First.Pixels[static_cast<size_t>(Y) * E.Width + X] == Outside) == M.At(X, Y)) ++Mismatch;
  EXPECT_EQ(Mismatch, 0) << "pixels where the picture's outline and the mask disagree";

  // Play the animation twice over. Shown holds the index each pixel shows, -1 where no
  // frame's colour is (a transparent pixel leaves what was there, restoring the background
  // clears). Every frame must change the picture (the tree is alive) and leave no needed
  // pixel without colour.
  std::vector<int> Shown(static_cast<size_t>(E.Width) * E.Height, -1);
  std::vector<uint8_t> Ever(Shown.size(), 0);
  for (int Round = 0; Round < 2; ++Round)
    for (int I = 0; I < E.Frames; ++I) {
      const TFrame& F = Frames[static_cast<size_t>(I)];
      const std::vector<int> Before = Shown;
      for (int Y = 0; Y < F.Height; ++Y)
        for (int X = 0; X < F.Width; ++X) {
          const uint8_t V = F.Pixels[static_cast<size_t>(Y) * F.Width + X];
          if (F.HasKey && V == F.Key) continue;
          const size_t P = static_cast<size_t>(Y + F.Top) * E.Width + (X + F.Left);
          Shown[P] = V;
          Ever[P] = 1;
        }
      int Missing = 0, Changed = 0;
      for (int Y = 0; Y < E.Height; ++Y)
        for (int X = 0; X < E.Width; ++X) {
          const size_t P = static_cast<size_t>(Y) * E.Width + X;
          if ((E.PaintsAll || M.At(X, Y)) && Shown[P] < 0) ++Missing;
          if (Shown[P] != Before[P]) ++Changed;
        }
      EXPECT_EQ(Missing, 0) << "pixels showing no colour after frame " << I;
      EXPECT_GT(Changed, 0) << "frame " << I << " changes nothing";
      if (F.Disposal == 2)
        for (int Y = 0; Y < F.Height; ++Y)
          for (int X = 0; X < F.Width; ++X)
            Shown[static_cast<size_t>(Y + F.Top) * E.Width + (X + F.Left)] = -1;
    }
  if (!E.PaintsAll) {
    // Every kept pixel is painted by some frame; most of the cut-away area never is.
    int KeptUnpainted = 0, CutPainted = 0, Cut = 0;
    for (int Y = 0; Y < E.Height; ++Y)
      for (int X = 0; X < E.Width; ++X) {
        const size_t P = static_cast<size_t>(Y) * E.Width + X;
        if (M.At(X, Y)) {
          KeptUnpainted += Ever[P] ? 0 : 1;
        } else {
          ++Cut;
          CutPainted += Ever[P];
        }
      }
    EXPECT_EQ(KeptUnpainted, 0);
    EXPECT_LT(CutPainted * 2, Cut);
  }
}

TEST_P(ArtGen, IconHoldsTwo24BitImages) {
  const std::vector<uint8_t> B = ReadAll(Dir / "icon.ico");
  ASSERT_GE(B.size(), 6u + 2 * 16);
  EXPECT_EQ(Le16(B, 0), 0u);
  EXPECT_EQ(Le16(B, 2), 1u);
  ASSERT_EQ(Le16(B, 4), 2u);
  for (int I = 0; I < 2; ++I) {
    const size_t Entry = 6 + 16 * static_cast<size_t>(I);
    const int Size = I == 0 ? 16 : 32;
    SCOPED_TRACE("icon " + std::to_string(Size));
    EXPECT_EQ(B[Entry], Size);
    EXPECT_EQ(B[Entry + 1], Size);
    EXPECT_EQ(Le16(B, Entry + 4), 1u);
    EXPECT_EQ(Le16(B, Entry + 6), 24u);
    const uint32_t Bytes = Le32(B, Entry + 8);
    const uint32_t Offset = Le32(B, Entry + 12);
    ASSERT_LE(static_cast<size_t>(Offset) + Bytes, B.size());
    // Header, 24-bit rows, then the 1-bit transparency rows.
    const uint32_t Colour = ((Size * 24 + 31) / 32) * 4 * Size;
    const uint32_t Mask = ((Size + 31) / 32) * 4 * Size;
    EXPECT_EQ(Bytes, 40 + Colour + Mask);
    EXPECT_EQ(Le32(B, Offset), 40u);
    EXPECT_EQ(static_cast<int>(Le32(B, Offset + 4)), Size);
    EXPECT_EQ(static_cast<int>(Le32(B, Offset + 8)), 2 * Size);
    EXPECT_EQ(Le16(B, Offset + 14), 24u);
    const orn::tools::TRgbaImage Png =
        orn::tools::ReadPng((Dir / ("icon" + std::to_string(Size) + ".png")).string());
    EXPECT_EQ(Png.Width, Size);
    EXPECT_EQ(Png.Height, Size);
    // The PNG copy shows the same pixels as the icon: colour where the icon's mask keeps
    // the pixel, transparent where it does not.
    int Differ = 0;
    for (int Y = 0; Y < Size; ++Y)
      for (int X = 0; X < Size; ++X) {
        const size_t Row = Offset + 40 + static_cast<size_t>(Size - 1 - Y) * (Colour / Size);
        const size_t MaskRow =
            Offset + 40 + Colour + static_cast<size_t>(Size - 1 - Y) * (Mask / Size);
        const bool Clear = (B[MaskRow + X / 8] >> (7 - X % 8)) & 1;
        const uint8_t* P = Png.Row(Y) + X * 4;
        if (Clear != (P[3] == 0)) ++Differ;
        if (!Clear &&
            (P[0] != B[Row + X * 3 + 2] || P[1] != B[Row + X * 3 + 1] || P[2] != B[Row + X * 3]))
          ++Differ;
      }
    EXPECT_EQ(Differ, 0);
  }
}

TEST_P(ArtGen, TwoRunsWriteTheSameBytes) {
  const TExpected& E = GetParam();
  for (const char* F : Files) {
    const std::vector<uint8_t> A = ReadAll(Root / "a" / E.Name / F);
    const std::vector<uint8_t> B = ReadAll(Root / "b" / E.Name / F);
    EXPECT_FALSE(A.empty()) << F;
    EXPECT_TRUE(A == B) << F << " differs between runs";
  }
}

INSTANTIATE_TEST_SUITE_P(Products, ArtGen, ::testing::ValuesIn(Products()),
                         [](const ::testing::TestParamInfo<TExpected>& I) {
                           return std::string(I.param.Name);
                         });

TEST(ArtGenCommandLine, RejectsUnknownProductsAndMissingArguments) {
  const fs::path Out = fs::temp_directory_path() / ("orn-artgen-bad-" + std::to_string(::getpid()));
  EXPECT_EQ(RunCommand(std::string(ARTGEN_PATH) + " evergreen '" + Out.string() + "'"), 2);
  EXPECT_EQ(RunCommand(std::string(ARTGEN_PATH) + " fernlight"), 2);
  EXPECT_FALSE(fs::exists(Out));
}

}  // namespace
