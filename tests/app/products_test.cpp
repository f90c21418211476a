// The three products as built: their constants and their embedded form descriptions, loaded
// through the form reader into a running main window.
#include <chrono>

#include "ornament_fixture.h"

#if ORN_HAVE_PRODUCTS
#include "app/products/catalog.h"
#include "ui/application.h"

namespace orn::apptest {
namespace {

using ProductsTest = OrnamentTest;

TEST_F(ProductsTest, EachProductsConstants) {
  EXPECT_EQ(FernlightProduct().Name, "Fernlight");
  EXPECT_EQ(FernlightProduct().AboutTag, "spirit");
  EXPECT_EQ(FernlightProduct().DownloadTag, "spirit");
  EXPECT_EQ(VelmoraProduct().Name, "Velmora");
  EXPECT_EQ(VelmoraProduct().AboutTag, "velmora1");
  EXPECT_EQ(VelmoraProduct().DownloadTag, "velmora2");
  EXPECT_EQ(SarnithProduct().Name, "Sarnith");
  EXPECT_EQ(SarnithProduct().AboutTag, "sarnith1");
  EXPECT_EQ(SarnithProduct().DownloadTag, "sarnith2");
}

TEST_F(ProductsTest, EmbeddedDescriptionsRunInTheMainWindow) {
  struct Case {
    const char* Product;
    const TProduct& Constants;
    bool Transparent;
  };
  const Case Cases[] = {{"fernlight", FernlightProduct(), false},
                        {"velmora", VelmoraProduct(), true},
                        {"sarnith", SarnithProduct(), true}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Product);
    ProductName = C.Product;
    SetActiveProduct(C.Constants);
    const TProductSize S = SizeOf(C.Product);
    TfrmMain* F = nullptr;
    Application()->CreateForm(F, std::string(C.Constants.Description()));
    Form.reset(F);
    EXPECT_EQ(F->ClientWidth(), S.ClientWidth);
    EXPECT_EQ(F->ClientHeight(), S.ClientHeight);
    EXPECT_EQ(F->Gif->Transparent(), C.Transparent);
    EXPECT_TRUE(F->Gif->Animate());
    ASSERT_GT(F->Gif->Image()->FrameCount(), 1);
    EXPECT_EQ(F->Gif->Image()->Width(), S.PictureWidth);
    EXPECT_EQ(F->Gif->Image()->Height(), S.PictureHeight);
    EXPECT_EQ(F->Gif->FrameIndex(), 0);  // the stored index came before the picture
    ASSERT_NE(F->Image1->Picture()->Bitmap(), nullptr);
    EXPECT_EQ(F->Image1->Picture()->Bitmap()->Width(), S.PictureWidth);
    EXPECT_EQ(F->Image1->Picture()->Bitmap()->Height(), S.PictureHeight);

    F->Show();
    const THeadlessWindow W = Win();
    EXPECT_TRUE(W.Visible);
    EXPECT_EQ(W.Bounds.Width(), S.PictureWidth);
    EXPECT_EQ(W.Bounds.Height(), S.PictureHeight);
    EXPECT_TRUE(W.HasRegion);
    EXPECT_FALSE(W.Region.empty());
    EXPECT_TRUE(Errors().empty());
    // The picture animates: frames step on the animator's timer.
    const int Presents = Win().PresentCount;
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Win().PresentCount < Presents + 3 && std::chrono::steady_clock::now() < Deadline) {
      Backend().Drain();
      Services().WaitForQueuedCalls(std::chrono::milliseconds(5));
    }
    EXPECT_GE(Win().PresentCount, Presents + 3);
    Form.reset();
    Application()->Reset();
  }
}

}  // namespace
}  // namespace orn::apptest
#endif
