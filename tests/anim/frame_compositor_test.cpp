// The frame compositor: the full picture of a frame from the disposal methods of the frames
// before it, built one step from the kept picture where possible.
#include <gtest/gtest.h>

#include "anim/gif_animator.h"
#include "anim_support.h"
#include "core/exceptions.h"

namespace orn {
namespace {

using animtest::Backend;
using animtest::MakeImage;
using animtest::TFrameSpec;

const TColor Window = ColorToRGB(clWindow);
const TColor Key = RGB(1, 2, 3);
// Marks a pixel of the kept picture; a rebuild wipes the mark, a reuse keeps it.
const TColor Mark = RGB(9, 9, 9);

class FrameCompositorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Backend();
    Anim = std::make_unique<TGIFAnimator>(nullptr);
  }
  void Load(const std::unique_ptr<TGIFImage>& Image) { Anim->SetImage(Image.get()); }
  TColor Compose(int Index, TColor In = clNone) {
    Trans = In;
    Picture = Anim->ComposeFrame(Index, Trans);
    return Trans;
  }
  TColor Px(int X, int Y) { return Picture->Canvas().Pixels(X, Y); }
  // Every pixel of the picture, row by row.
  std::vector<TColor> All() {
    std::vector<TColor> P;
    for (int Y = 0; Y < Picture->Height(); ++Y)
      for (int X = 0; X < Picture->Width(); ++X) P.push_back(Px(X, Y));
    return P;
  }
  void MarkPixel(int X, int Y) { Anim->Composed()->Canvas().SetPixels(X, Y, Mark); }

  std::unique_ptr<TGIFAnimator> Anim;
  TBitmap* Picture = nullptr;
  TColor Trans = clNone;
};

// Frame 0 covers the 4 x 4 screen in red; frame 1 is a 2 x 2 green square at (1, 1) with the
// given disposal; frame 2 a blue pixel at (0, 0).
std::unique_ptr<TGIFImage> ThreeFrames(int Disposal1) {
  return MakeImage(4, 4,
                   {{0, 0, 4, 4, clRed, clNone, 1},
                    {1, 1, 2, 2, clLime, clNone, Disposal1},
                    {0, 0, 1, 1, clBlue, clNone, 1}});
}

// Frame 0 red over the 4 x 4 screen; frame 1 covers the screen in green with the given
// disposal, key colour and origin; frames 2 and 3 are single blue and yellow pixels.
std::unique_ptr<TGIFImage> CoverThenPixels(int Disposal1, TColor Key1 = clNone, int Left1 = 0) {
  return MakeImage(4, 4,
                   {{0, 0, 4, 4, clRed, clNone, 1},
                    {Left1, Left1, 4, 4, clLime, Key1, Disposal1, 100, Key1},
                    {0, 0, 1, 1, clBlue, clNone, 1},
                    {3, 0, 1, 1, clYellow, clNone, 1}});
}

// Every picture the fixtures of this file can give: jumping straight to a frame (a rebuild by
// replay, as setting FrameIndex does) composes what stepping there frame by frame (as playback
// does) composes.
TEST_F(FrameCompositorTest, JumpingToAFrameComposesWhatSteppingThereDoes) {
  struct TCase {
    std::string Name;
    std::unique_ptr<TGIFImage> Image;
  };
  std::vector<TCase> Cases;
  for (int D = 0; D < 8; ++D) {
    Cases.push_back({"three frames, disposal " + std::to_string(D), ThreeFrames(D)});
    Cases.push_back({"cover, disposal " + std::to_string(D), CoverThenPixels(D)});
    Cases.push_back({"keyed cover, disposal " + std::to_string(D), CoverThenPixels(D, Key)});
    Cases.push_back(
        {"cover off the origin, disposal " + std::to_string(D), CoverThenPixels(D, clNone, 1)});
  }
  Cases.push_back({"keyed wipe", MakeImage(4, 4,
                                           {{0, 0, 4, 4, clRed, clNone, 1},
                                            {0, 0, 4, 4, clLime, Key, 2, 100, Key},
                                            {3, 3, 1, 1, clBlue, clNone, 1}})});
  Cases.push_back(
      {"keyed frames over each other", MakeImage(3, 2,
                                                 {{0, 0, 3, 2, clRed, Key, 1, 100, Key},
                                                  {1, 0, 2, 2, clLime, Key, 0, 100, Key},
                                                  {0, 1, 3, 1, clBlue, Key, 3, 100, Key},
                                                  {0, 0, 3, 2, clAqua, Key, 2, 100, Key},
                                                  {2, 1, 1, 1, clYellow, clNone, 1}},
                                                 clYellow)});
  Cases.push_back({"single frame", MakeImage(3, 3, {{1, 1, 1, 1, clRed, clNone, 1}})});
  for (TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    Load(C.Image);
    const int Count = C.Image->FrameCount();
    std::vector<std::vector<TColor>> Stepped;
    for (int I = 0; I < Count; ++I) {
      Compose(I);
      Stepped.push_back(All());
    }
    for (int I = 0; I < Count; ++I) {
      SCOPED_TRACE("frame " + std::to_string(I));
      Compose(Count - 1);  // the kept picture is not the one before I: a jump rebuilds
      MarkPixel(0, 0);
      Compose(I);
      EXPECT_EQ(All(), Stepped[static_cast<size_t>(I)]);
    }
  }
}

// A frame that covers the screen hides the frames before it only when it is opaque and stays:
// one that brings back the picture before it (disposal 3) or sits off the origin does not.
TEST_F(FrameCompositorTest, OnlyAFrameThatStaysAndCoversTheScreenStartsAReplay) {
  const TColor R = clRed, B = clBlue, Y = clYellow, L = clLime;
  struct TCase {
    const char* Name;
    std::unique_ptr<TGIFImage> Image;
    std::vector<TColor> Frame3;  // the picture of frame 3, row by row
  };
  TCase Cases[] = {
      {"restores the previous picture",
       CoverThenPixels(3),
       {B, R, R, Y, R, R, R, R, R, R, R, R, R, R, R, R}},
      {"off the origin",
       CoverThenPixels(1, clNone, 1),
       {B, R, R, Y, R, L, L, L, R, L, L, L, R, L, L, L}},
      {"stays", CoverThenPixels(1), {B, L, L, Y, L, L, L, L, L, L, L, L, L, L, L, L}},
  };
  for (TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    Load(C.Image);
    Compose(3);
    EXPECT_EQ(All(), C.Frame3);
  }
}

TEST_F(FrameCompositorTest, StepsReuseTheKeptPictureAndMatchARebuild) {
  struct TCase {
    int Disposal1;
    TColor AtOneOne;         // pixel (1, 1) while frame 2 shows, stepped there
    TColor RebuiltAtOneOne;  // the same pixel when frame 2 is rebuilt by replay
  };
  // Disposal 2 gives the area back to the fill colour; 0 and 1 leave frame 1, and so does an
  // undefined method (4..7), in a kept picture and in a replay alike.
  const TCase Cases[] = {{0, clLime, clLime},
                         {1, clLime, clLime},
                         {2, Window, Window},
                         {4, clLime, clLime},
                         {7, clLime, clLime}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE("disposal " + std::to_string(C.Disposal1));
    auto Image = ThreeFrames(C.Disposal1);
    Load(Image);
    Compose(0);
    EXPECT_EQ(Px(3, 3), clRed);
    MarkPixel(3, 3);
    Compose(1);
    EXPECT_EQ(Px(3, 3), Mark) << "frame 0 -> 1 reuses the picture";
    EXPECT_EQ(Px(1, 1), clLime);
    Compose(2);
    EXPECT_EQ(Anim->ComposedIndex(), 2);
    EXPECT_EQ(Px(3, 3), Mark) << "frame 1 -> 2 reuses the picture";
    EXPECT_EQ(Px(0, 0), clBlue);
    EXPECT_EQ(Px(1, 1), C.AtOneOne);
    EXPECT_EQ(Px(2, 2), C.AtOneOne);
    MarkPixel(3, 3);
    const auto Stepped = [&] {
      auto P = All();
      P[15] = clRed;
      P[5] = P[6] = P[9] = P[10] = C.RebuiltAtOneOne;
      return P;
    }();
    Compose(0);  // the wrap to 0 rebuilds
    EXPECT_EQ(Px(3, 3), clRed);
    Compose(2);  // a jump rebuilds by replay
    EXPECT_EQ(All(), Stepped);
  }
}

TEST_F(FrameCompositorTest, RestorePreviousForcesARebuildThatSkipsTheFrame) {
  auto Image = ThreeFrames(3);
  Load(Image);
  Compose(0);
  Compose(1);
  EXPECT_EQ(Px(1, 1), clLime);
  MarkPixel(3, 3);
  Compose(2);
  EXPECT_EQ(Px(3, 3), clRed) << "rebuilt, not reused";
  EXPECT_EQ(Px(1, 1), clRed) << "what was under frame 1 shows again";
  EXPECT_EQ(Px(0, 0), clBlue);
}

TEST_F(FrameCompositorTest, ReplayStartsAtTheLastFrameThatHidesEverythingBefore) {
  // Frame 1 covers the screen, keyed, with disposal 2: it wipes everything before it and is
  // itself neither drawn nor filled in a rebuild for a later frame.
  auto Image = MakeImage(4, 4,
                         {{0, 0, 4, 4, clRed, clNone, 1},
                          {0, 0, 4, 4, clLime, Key, 2, 100, Key},
                          {3, 3, 1, 1, clBlue, clNone, 1}});
  Load(Image);
  Compose(2);
  std::vector<TColor> Expected(16, Window);
  Expected[15] = clBlue;
  EXPECT_EQ(All(), Expected);
  // Stepping there gives the same picture.
  Compose(0);
  Compose(1);
  EXPECT_EQ(Px(0, 0), clRed) << "frame 1's keyed pixel shows frame 0";
  EXPECT_EQ(Px(1, 0), clLime);
  Compose(2);
  EXPECT_EQ(All(), Expected);
}

TEST_F(FrameCompositorTest, FullScreenOpaqueFrameAtTheIndexIsDrawnAlone) {
  auto Image = MakeImage(4, 4,
                         {{0, 0, 4, 4, clRed, clNone, 1},
                          {2, 2, 2, 2, clLime, clNone, 1},
                          {0, 0, 4, 4, clBlue, clNone, 1, 100, clYellow}});
  Load(Image);
  // Frame 1 loses its pixels: touching it at all now fails.
  TGIFFrame* Broken = Anim->Image()->Frames(1);
  Broken->FFrameBitmap.reset();
  Broken->FItem->FCodeStream = std::make_unique<TMemoryStream>();
  EXPECT_ANY_THROW(Compose(1));
  EXPECT_EQ(Anim->Composed(), nullptr) << "a failed rebuild keeps no picture";
  Compose(2);
  std::vector<TColor> Expected(16, clBlue);
  Expected[0] = clYellow;
  EXPECT_EQ(All(), Expected);
  EXPECT_EQ(Anim->ComposedIndex(), 2);
}

TEST_F(FrameCompositorTest, SingleFrameIsRebuiltAtEveryCall) {
  auto Image = MakeImage(3, 3, {{1, 1, 1, 1, clRed, clNone, 1}});
  Load(Image);
  Compose(0);
  EXPECT_EQ(Px(0, 0), Window);
  EXPECT_EQ(Px(1, 1), clRed);
  MarkPixel(0, 0);
  Compose(0);
  EXPECT_EQ(Px(0, 0), Window) << "no frame -1 to reuse: filled again";
  EXPECT_EQ(Px(1, 1), clRed);
}

TEST_F(FrameCompositorTest, IndexPastTheEndComposesTheLastFrame) {
  auto Image = ThreeFrames(1);
  Load(Image);
  Compose(2);
  const auto Last = All();
  Compose(0);
  Compose(57);
  EXPECT_EQ(Anim->ComposedIndex(), 2);
  EXPECT_EQ(All(), Last);
}

TEST_F(FrameCompositorTest, FillColourRules) {
  struct TCase {
    const char* Name;
    TColor Frame0Key;  // key colour of the image's current frame (0)
    bool OtherFrameKeyed;
    bool ImageTransparent;
    TColor BackColor;
    TColor In;
    TColor ExpectedFill;
    TColor ExpectedTrans;
  };
  const TCase Cases[] = {
      {"current frame keyed", Key, false, true, clYellow, clNone, Key, Key},
      {"back colour of a transparent image", clNone, true, true, clYellow, clNone, clYellow,
       clNone},
      {"back colour without any keyed frame", clNone, false, true, clYellow, clAqua, Window,
       clAqua},
      {"transparency switched off", clNone, true, false, clYellow, clNone, Window, clNone},
      {"no back colour", clNone, true, true, clNone, clNone, Window, clNone},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Image = MakeImage(3, 3,
                           {{0, 0, 1, 1, clRed, C.Frame0Key, 1},
                            {0, 0, 1, 1, clBlue, C.OtherFrameKeyed ? Key : clNone, 1}},
                           C.BackColor);
    Load(Image);
    Anim->Image()->SetTransparent(C.ImageTransparent);
    EXPECT_EQ(Compose(0, C.In), C.ExpectedTrans);
    EXPECT_EQ(Px(2, 2), C.ExpectedFill);
    EXPECT_EQ(Px(0, 0), clRed);
    EXPECT_EQ(Anim->ComposedTransColor(), C.ExpectedTrans);
  }
}

TEST_F(FrameCompositorTest, KeyedFrameLetsThePictureBelowShow) {
  auto Image =
      MakeImage(2, 1, {{0, 0, 2, 1, clRed, clNone, 1}, {0, 0, 2, 1, clLime, Key, 1, 100, Key}});
  Load(Image);
  Compose(0);
  Compose(1);
  EXPECT_EQ(Px(0, 0), clRed);
  EXPECT_EQ(Px(1, 0), clLime);
}

TEST_F(FrameCompositorTest, ComposingAnEmptyOrHugePictureIsRefused) {
  EXPECT_THROW(Compose(0), EInvalidGraphicOperation);
  auto Image = MakeImage(1, 1, {{0, 0, 1, 1, clRed, clNone, 1}});
  Image->FLogicalWidth = 65535;
  Image->FLogicalHeight = 65535;
  Load(Image);
  EXPECT_THROW(Compose(0), EInvalidGraphicOperation);
  EXPECT_EQ(Anim->Composed(), nullptr);
  EXPECT_EQ(Anim->ComposedIndex(), -1);
}

}  // namespace
}  // namespace orn
