// Shared set-up of the ornament tests: one headless backend for the whole program (the
// animator's timer workers may outlive a test by one sleep), pictures and masks made with the
// codec, product descriptions made from the products' stored form texts, and a fixture that
// creates the main form of a product.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main.h"
#include "app/products.h"
#include "gfx/bitmap.h"
#include "ui/headless/headless.h"

namespace orn::apptest {

THeadlessBackend& Backend();

// The bytes of a GIF picture of Width x Height with two solid frames, looping.
std::vector<uint8_t> MakePicture(int Width, int Height);
// A mask bitmap of Width x Height: white where Inside says false, black elsewhere.
std::unique_ptr<TBitmap> MakeMask(int Width, int Height, TPixelFormat Format,
                                  const std::function<bool(int X, int Y)>& Inside);
std::vector<uint8_t> BitmapFileBytes(TBitmap& Bitmap);

// The stored form text of a product (fernlight, velmora, sarnith) from the source tree.
std::string StoredFormText(const std::string& Product);

// The product constants the tests run with.
const TProduct& TestProduct(const std::string& Product);

struct TProductSize {
  int PictureWidth, PictureHeight, ClientWidth, ClientHeight;
};
TProductSize SizeOf(const std::string& Product);

class OrnamentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates frmMain of Product from its stored text with test art of the product's sizes
  // (the mask keeps an ellipse); the window is not shown yet.
  TfrmMain* Create(const std::string& Product = "fernlight");
  // Creates and shows it (runs the show sequence).
  TfrmMain* CreateAndShow(const std::string& Product = "fernlight");
  HWND Window() { return Form->Handle(); }
  THeadlessWindow Win() { return Backend().Window(Form->Handle()); }
  THeadlessSystemServices& Services() { return Backend().Services(); }
  void StoreDword(const std::string& Name, int32_t Value);
  std::optional<int32_t> StoredDword(const std::string& Name);
  // Clears the application's terminate flag after a close; the form stays the main form.
  void ResumeApplication();
  // Right-clicks the picture's middle and chooses the menu item (by name); true when the menu
  // came up.
  bool ChooseMenuItem(const std::string& Item);
  // Runs the close through the menu's Exit command; true when the application terminated.
  bool CloseByExit();
  std::string SettingsKey() const;

  // The error reports made since the test began.
  std::vector<std::string> Errors() const;

  std::string ProductName = "fernlight";
  size_t ErrorsBefore = 0;
  std::unique_ptr<TfrmMain> Form;
};

}  // namespace orn::apptest
