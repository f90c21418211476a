#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "gfx/bitmap.h"
#include "gif/gif_image.h"
#include "gif_reader_fixtures.h"

using namespace orn;
using namespace giftest;

namespace {

std::unique_ptr<TBitmap> SolidBitmap(int W, int H, TColor Color) {
  auto B = std::make_unique<TBitmap>();
  B->Canvas().Brush().SetColor(Color);
  B->SetSize(W, H);
  return B;
}

// A graphic that cannot be copied into a bitmap, only drawn: a red pixel at its origin.
class TDrawOnlyGraphic : public TGraphic {
 public:
  void Draw(TCanvas& Canvas, const TRect& Rect) override {
    Canvas.SetPixels(Rect.Left, Rect.Top, clRed);
  }
  bool GetEmpty() const override { return false; }
  int GetWidth() override { return 3; }
  int GetHeight() override { return 2; }
  void SetWidth(int) override {}
  void SetHeight(int) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
  void LoadFromClipboardFormat(TClipboardFormat, const std::vector<uint8_t>&, HPALETTE) override {}
  void SaveToClipboardFormat(TClipboardFormat&, std::vector<uint8_t>&, HPALETTE&) override {}
};

}  // namespace

TEST(GIFModel, UnitRoutines) {
  for (auto [Count, Bits] :
       {std::pair{2, 1}, {4, 2}, {8, 3}, {16, 4}, {32, 5}, {64, 6}, {128, 7}, {256, 8}})
    EXPECT_EQ(BitsForColorCount(Count), Bits);
  for (int Bad : {0, 1, 3, 6, 255, 512, -2}) {
    try {
      BitsForColorCount(Bad);
      ADD_FAILURE() << Bad;
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), "Неверное число цветов; должно быть степенью числа 2");
    }
  }

  EXPECT_EQ(TripleToColor(TGIFTriple{0x12, 0x34, 0x56}), 0x563412u);
  TGIFPaletteRec T;
  T.EntryCount = 4;
  T.Entries[0] = {1, 2, 3};
  T.Entries[1] = {9, 9, 9};
  T.Entries[2] = {9, 9, 9};
  T.Entries[3] = {GetRValue(GetSysColor(5)), GetGValue(GetSysColor(5)), GetBValue(GetSysColor(5))};
  T.Entries[4] = {7, 7, 7};  // beyond the count
  EXPECT_EQ(ColorIndexInTable(T, clNone), -1);
  EXPECT_EQ(ColorIndexInTable(T, RGB(9, 9, 9)), 1);  // the lower of two
  EXPECT_EQ(ColorIndexInTable(T, RGB(1, 2, 3)), 0);
  EXPECT_EQ(ColorIndexInTable(T, RGB(7, 7, 7)), -1);
  EXPECT_EQ(ColorIndexInTable(T, clWindow), ColorIndexInTable(T, GetSysColor(5)));
  EXPECT_GE(ColorIndexInTable(T, clWindow), 0);

  auto List = std::make_unique<TExtensionList>();
  for (auto K : {TGIFExtensionKind::ekComment, TGIFExtensionKind::ekGraphicControl,
                 TGIFExtensionKind::ekComment}) {
    List->push_back(std::make_unique<TExtension>());
    List->back()->FKind = K;
  }
  EXPECT_EQ(LastExtensionOfKind(List.get(), TGIFExtensionKind::ekComment), (*List)[2].get());
  EXPECT_EQ(LastExtensionOfKind(List.get(), TGIFExtensionKind::ekApplication), nullptr);
  EXPECT_EQ(LastExtensionOfKind(nullptr, TGIFExtensionKind::ekComment), nullptr);
  FreeExtensionList(List);
  EXPECT_FALSE(List);
  FreeExtensionList(List);  // nil: nothing happens
}

TEST(GIFModel, ExtensionAssign) {
  TExtension A, B;
  A.FKind = TGIFExtensionKind::ekApplication;
  A.FFixedPart[0] = 11;
  A.FFixedPart[12] = 0x7F;
  A.FSubBlocks = std::make_unique<TStringList>();
  A.FSubBlocks->Add(std::string("\x01\x00\x00", 3));
  B.Assign(&A);
  EXPECT_EQ(B.FKind, A.FKind);
  EXPECT_EQ(B.FFixedPart[12], 0x7F);
  ASSERT_TRUE(B.FSubBlocks);
  EXPECT_NE(B.FSubBlocks.get(), A.FSubBlocks.get());
  EXPECT_EQ(B.FSubBlocks->Items(), A.FSubBlocks->Items());
  // A source without sub-blocks leaves the own list as it is.
  TExtension C;
  B.Assign(&C);
  ASSERT_TRUE(B.FSubBlocks);
  EXPECT_EQ(B.FSubBlocks->Count(), 1);
  EXPECT_EQ(B.FKind, TGIFExtensionKind::ekGraphicControl);
  EXPECT_THROW(B.Assign(nullptr), EConvertError);
}

TEST(GIFModel, NewImageIsEmptyAndCannotBeResized) {
  TGIFImage I;
  EXPECT_TRUE(I.GetEmpty());
  EXPECT_EQ(I.GetWidth(), 0);
  EXPECT_EQ(I.GetHeight(), 0);
  EXPECT_EQ(I.LogicalWidth(), 0);
  EXPECT_EQ(I.LogicalHeight(), 0);
  EXPECT_EQ(I.GetPalette(), nullptr);
  EXPECT_EQ(I.CurrentIndex(), -1);
  EXPECT_EQ(I.LoopCount(), 1);
  EXPECT_FALSE(I.LoopEnabled());
  EXPECT_EQ(I.BackColor(), clNone);
  EXPECT_EQ(I.Revision(), TGIFRevision::grNone);
  EXPECT_TRUE(I.TGraphic::GetTransparent());
  EXPECT_FALSE(I.GetTransparent());  // no frame has a key colour

  auto L = Loaded(TwoFrameGIF());
  for (bool Width : {true, false}) {
    try {
      Width ? L->SetWidth(10) : L->SetHeight(10);
      ADD_FAILURE();
    } catch (const EInvalidGraphicOperation& E) {
      EXPECT_STREQ(E.what(), "Невозможно изменить размер изображения GIF");
    }
  }
  EXPECT_EQ(L->GetWidth(), 2);  // frame 0, not the logical screen
  EXPECT_EQ(L->LogicalWidth(), 3);
  EXPECT_TRUE(L->GetTransparent());  // frame 0 has a key colour
  L->SetTransparent(false);
  EXPECT_FALSE(L->GetTransparent());
}

TEST(GIFModel, CopiesShareDataAndEqualityFollowsSharing) {
  auto A = Loaded(TwoFrameGIF());
  auto B = Loaded(TwoFrameGIF());
  EXPECT_FALSE(A->Equals(B.get()));  // same bytes, separate loads
  TGIFImage C;
  int Changes = 0;
  C.OnChange = [&](TObject*) { ++Changes; };
  C.Assign(A.get());
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(C.Equals(A.get()));
  EXPECT_TRUE(A->Equals(&C));
  EXPECT_EQ(C.GlobalData(), A->GlobalData());
  EXPECT_EQ(C.GlobalData()->RefCount(), 2);
  ASSERT_EQ(C.FrameCount(), 2);
  EXPECT_EQ(C.Frames(1)->Item(), A->Frames(1)->Item());  // frames share their items
  EXPECT_EQ(C.Frames(1)->Item()->RefCount(), 2);
  EXPECT_FALSE(C.Frames(0)->HasLocalTable());  // copying the image keeps each flag
  EXPECT_TRUE(C.Frames(1)->HasLocalTable());
  EXPECT_EQ(C.Frames(0)->KeyColor(), RGB(0, 0, 255));
  EXPECT_EQ(C.Frames(1)->DelayMs(), 200);
  EXPECT_EQ(C.LogicalWidth(), 3);
  EXPECT_EQ(C.CurrentIndex(), 0);
  EXPECT_TRUE(C.LoopEnabled());
  EXPECT_EQ(C.Revision(), TGIFRevision::gr89a);
  EXPECT_FALSE(C.Equals(nullptr));

  // Resetting either side ends the equality; the other keeps its data.
  A->ResetToEmpty();
  EXPECT_FALSE(C.Equals(A.get()));
  EXPECT_EQ(C.GlobalData()->RefCount(), 1);
  EXPECT_EQ(C.FrameCount(), 2);
  EXPECT_EQ(C.Frames(1)->Item()->RefCount(), 1);

  // Copying an image onto itself changes nothing.
  C.Assign(&C);
  EXPECT_EQ(C.FrameCount(), 2);

  // Assigning nil resets and notifies.
  C.Assign(nullptr);
  EXPECT_TRUE(C.GetEmpty());
  EXPECT_EQ(Changes, 2);
}

TEST(GIFModel, FrameCopies) {
  auto A = Loaded(TwoFrameGIF());
  A->Frames(0)->CommentLines()->Add("hello");

  // Within the same image the local-table flag is copied; from another image it is set.
  TGIFFrame Same(A.get());
  Same.Assign(A->Frames(0));
  EXPECT_FALSE(Same.HasLocalTable());
  auto B = Loaded(TwoFrameGIF());
  TGIFFrame& Target = *B->Frames(1);
  Target.Assign(A->Frames(0));
  EXPECT_TRUE(Target.HasLocalTable());
  EXPECT_EQ(Target.Item(), A->Frames(0)->Item());
  EXPECT_EQ(Target.KeyColor(), RGB(0, 0, 255));
  EXPECT_EQ(Target.DelayMs(), 100);
  EXPECT_EQ(Target.DisposeMode(), TGIFDisposal::gdLeave);
  EXPECT_EQ(Target.Origin(), (TPoint{0, 0}));
  ASSERT_TRUE(Target.LookupComment(false));
  EXPECT_EQ(Target.LookupComment(false)->Items(), (std::vector<std::string>{"hello"}));
  // The owner's logical size was recomputed (this decodes both frames).
  EXPECT_EQ(B->LogicalWidth(), 2);
  EXPECT_EQ(B->LogicalHeight(), 2);

  // A frame whose bitmap was decoded from old data does not keep showing it.
  B->Frames(0)->DecodedBitmap();
  auto C = Loaded(TGIFBuilder()
                      .Header()
                      .Screen(4, 1, Four)
                      .Image(0, 0, 4, 1, LiteralLZW(2, {1, 1, 1, 1}))
                      .Trailer()
                      .B);
  B->Frames(0)->Assign(C->Frames(0));
  EXPECT_EQ(B->Frames(0)->DecodedBitmap()->Width(), 4);

  // From an image: its current frame; an image without frames resets the frame.
  A->SetCurrentIndex(1);
  Target.Assign(A.get());
  EXPECT_EQ(Target.Item(), A->Frames(1)->Item());
  TGIFImage Empty;
  Target.Assign(&Empty);
  EXPECT_FALSE(Target.Item()->FCodeStream);
  EXPECT_FALSE(Target.FrameBitmap());

  // A frame copied onto itself stays as it is.
  TGIFItem* Before = A->Frames(0)->Item();
  A->Frames(0)->Assign(A->Frames(0));
  EXPECT_EQ(A->Frames(0)->Item(), Before);
  EXPECT_EQ(Before->RefCount(), 2);  // A's frame 0 and Same
}

TEST(GIFModel, FramesFromGraphics) {
  // An empty graphic: no bitmap, no data, and the image is empty.
  TGIFImage I;
  TBitmap Nothing;
  EXPECT_EQ(I.AppendFrame(&Nothing), 0);
  EXPECT_EQ(I.Revision(), TGIFRevision::gr87a);
  EXPECT_FALSE(I.Frames(0)->FrameBitmap());
  EXPECT_TRUE(I.GetEmpty());

  // A bitmap: copied, the frame has no code data; the second frame raises the revision.
  auto Red = SolidBitmap(5, 4, clRed);
  EXPECT_EQ(I.AppendFrame(Red.get()), 1);
  EXPECT_EQ(I.Revision(), TGIFRevision::gr89a);
  EXPECT_EQ(I.CurrentIndex(), 1);
  TGIFFrame& F = *I.Frames(1);
  EXPECT_FALSE(F.Item()->FCodeStream);
  EXPECT_EQ(F.KeyColor(), clNone);
  EXPECT_EQ(F.PixelWidth(), 5);
  EXPECT_EQ(F.DecodedBitmap(), F.FrameBitmap());  // returned as it is
  EXPECT_EQ(F.DecodedBitmap()->Canvas().Pixels(2, 2), clRed);
  EXPECT_EQ(I.LogicalWidth(), 5);
  EXPECT_EQ(I.LogicalHeight(), 4);
  EXPECT_FALSE(I.GetEmpty());

  // A transparent bitmap gives its transparent colour as the key colour (a plain RGB value).
  auto Keyed = SolidBitmap(2, 2, clLime);
  Keyed->SetTransparentColor(clBlue);
  Keyed->SetTransparent(true);
  TGIFFrame K(nullptr);
  K.Assign(Keyed.get());
  EXPECT_EQ(K.KeyColor(), clBlue);

  // A transparent graphic that can only be drawn: fuchsia under the drawing, key fuchsia.
  TDrawOnlyGraphic Drawn;
  Drawn.SetTransparent(true);
  TGIFFrame D(nullptr);
  D.Assign(&Drawn);
  ASSERT_TRUE(D.FrameBitmap());
  EXPECT_EQ(D.FrameBitmap()->Width(), 3);
  EXPECT_EQ(D.FrameBitmap()->Height(), 2);
  EXPECT_EQ(D.FrameBitmap()->Canvas().Pixels(0, 0), clRed);
  EXPECT_EQ(D.FrameBitmap()->Canvas().Pixels(2, 1), clFuchsia);
  EXPECT_EQ(D.KeyColor(), clFuchsia);

  // After the bitmap has been emptied, a new empty bitmap is returned.
  F.FrameBitmap()->SetSize(0, 0);
  EXPECT_TRUE(F.DecodedBitmap()->Empty());

  // Anything that is not a graphic, frame or image is refused.
  TStringList Strings;
  EXPECT_THROW(F.Assign(&Strings), EConvertError);
}

TEST(GIFModel, ImageFromFrameAndBitmapAndBack) {
  auto A = Loaded(TwoFrameGIF());
  TGIFImage I;
  int Changes = 0;
  I.OnChange = [&](TObject*) { ++Changes; };
  I.Assign(A->Frames(1));
  EXPECT_EQ(Changes, 1);
  ASSERT_EQ(I.FrameCount(), 1);
  EXPECT_EQ(I.CurrentIndex(), 0);
  EXPECT_EQ(I.Revision(), TGIFRevision::gr87a);
  EXPECT_EQ(I.GlobalData()->FGlobalTable.EntryCount, 4);  // the source owner's global table
  EXPECT_NE(I.GlobalData(), A->GlobalData());
  EXPECT_TRUE(I.Frames(0)->HasLocalTable());
  EXPECT_EQ(I.Frames(0)->Origin(), (TPoint{1, 1}));

  auto Green = SolidBitmap(3, 2, clGreen);
  I.Assign(Green.get());
  EXPECT_EQ(Changes, 2);
  EXPECT_EQ(I.FrameCount(), 1);
  EXPECT_EQ(I.GetWidth(), 3);

  // To a bitmap: the current frame's pixels, with the key colour as transparent colour.
  TBitmap Out;
  A->SetCurrentIndex(0);
  Out.Assign(A.get());
  EXPECT_EQ(Out.Width(), 2);
  EXPECT_EQ(Out.Canvas().Pixels(1, 0), RGB(255, 0, 0));
  EXPECT_TRUE(Out.Transparent());
  EXPECT_EQ(Out.TransparentColor() & 0xFFFFFF, RGB(0, 0, 255));
  // A current index outside the frames: the bitmap is frame 0's, the index is kept, and the
  // image reports no size.
  A->SetCurrentIndex(5);
  EXPECT_EQ(A->CurrentBitmap(), A->Frames(0)->DecodedBitmap());
  EXPECT_EQ(A->CurrentIndex(), 5);
  EXPECT_EQ(A->GetWidth(), 0);
  EXPECT_FALSE(A->GetEmpty());
  // An empty image assigns nil.
  TGIFImage Empty;
  Out.Assign(&Empty);
  EXPECT_TRUE(Out.Empty());
}

TEST(GIFModel, CommentsAndCurrentBitmapOfEmptyImage) {
  TGIFFrame F(nullptr);
  EXPECT_EQ(F.LookupComment(false), nullptr);
  TStringList* Lines = F.CommentLines();
  ASSERT_TRUE(Lines);
  ASSERT_TRUE(F.ExtensionList());
  EXPECT_EQ(F.ExtensionList()->back()->FKind, TGIFExtensionKind::ekComment);
  TStringList Text;
  Text.Add("a");
  Text.Add("b");
  F.SetCommentLines(Text);
  EXPECT_EQ(F.LookupComment(false)->Items(), Text.Items());
  EXPECT_EQ(F.ExtensionList()->size(), 1u);

  TGIFImage I;
  int Changes = 0;
  I.OnChange = [&](TObject*) { ++Changes; };
  TBitmap* B = I.CurrentBitmap();
  ASSERT_TRUE(B);
  EXPECT_TRUE(B->Empty());
  EXPECT_EQ(I.FrameCount(), 1);
  EXPECT_EQ(I.CurrentIndex(), 0);
  EXPECT_EQ(I.Revision(), TGIFRevision::gr87a);
  EXPECT_EQ(Changes, 1);
  // The frame now holds a bitmap (an empty one), which counts as content.
  EXPECT_FALSE(I.GetEmpty());
  EXPECT_EQ(I.GetWidth(), 0);
}
