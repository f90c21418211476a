#include "ornament_fixture.h"

#include <fstream>
#include <sstream>

#include "app/form_template.h"
#include "core/stream.h"
#include "gif/gif_image.h"
#include "ui/application.h"

namespace orn::apptest {

THeadlessBackend& Backend() {
  // Never destroyed: detached timer workers may still finish a sleep on its services.
  static THeadlessBackend* Instance = new THeadlessBackend();
  return *Instance;
}

namespace {

std::unique_ptr<TBitmap> Solid(int W, int H, TColor Color) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(TPixelFormat::pf32bit);
  B->SetSize(W, H);
  B->Canvas().Brush().SetColor(Color);
  B->Canvas().FillRect(Rect(0, 0, W, H));
  return B;
}

}  // namespace

std::vector<uint8_t> MakePicture(int Width, int Height) {
  TGIFImage Image;
  for (TColor C : {TColor(0x206020), TColor(0x2080C0)}) {
    auto B = Solid(Width, Height, C);
    const int I = Image.AppendFrame(B.get());
    Image.Frames(I)->SetDelayMs(50);
  }
  Image.FLogicalWidth = static_cast<uint16_t>(Width);
  Image.FLogicalHeight = static_cast<uint16_t>(Height);
  Image.SetLoopEnabled(true);
  TMemoryStream S;
  Image.SaveToStream(S);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(P, P + S.Size());
}

std::unique_ptr<TBitmap> MakeMask(int Width, int Height, TPixelFormat Format,
                                  const std::function<bool(int X, int Y)>& Inside) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(Format);
  B->SetSize(Width, Height);
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X) B->Canvas().SetPixels(X, Y, Inside(X, Y) ? clBlack : clWhite);
  return B;
}

std::vector<uint8_t> BitmapFileBytes(TBitmap& Bitmap) {
  TMemoryStream S;
  Bitmap.SaveToStream(S);
  const auto* P = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(P, P + S.Size());
}

std::string StoredFormText(const std::string& Product) {
  std::ifstream In(std::string(ORN_SOURCE_DIR) + "/app/products/" + Product + "/main.dfm");
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

const TProduct& TestProduct(const std::string& Product) {
  static const TProduct Fernlight{"Fernlight", "spirit", "spirit", nullptr};
  static const TProduct Velmora{"Velmora", "velmora1", "velmora2", nullptr};
  static const TProduct Sarnith{"Sarnith", "sarnith1", "sarnith2", nullptr};
  if (Product == "velmora") return Velmora;
  if (Product == "sarnith") return Sarnith;
  return Fernlight;
}

TProductSize SizeOf(const std::string& Product) {
  if (Product == "velmora") return {180, 200, 159, 200};
  if (Product == "sarnith") return {190, 225, 182, 223};
  return {118, 170, 127, 176};
}

void OrnamentTest::SetUp() {
  Backend();
  Application()->Reset();
  RegisterOrnamentClasses();
  Services().ClearRegistry();
  Services().ClearShellRecords();
  Services().SetCommandLineArguments({});
  Services().SetExecutablePath("/opt/my trees/fernlight");
  Services().SetLocalTime({2026, 12, 11, 15, 0, 0, 0});
  Backend().SetWorkArea(Rect(0, 0, 1920, 1040));
  Backend().SetScreenSize(1920, 1080);
  ErrorsBefore = Backend().ErrorMessages().size();
}

std::vector<std::string> OrnamentTest::Errors() const {
  const std::vector<std::string> All = Backend().ErrorMessages();
  return std::vector<std::string>(All.begin() + static_cast<ptrdiff_t>(ErrorsBefore), All.end());
}

void OrnamentTest::TearDown() {
  Form.reset();
  Application()->Reset();
  Backend().Drain();
}

TfrmMain* OrnamentTest::Create(const std::string& Product) {
  ProductName = Product;
  SetActiveProduct(TestProduct(Product));
  const TProductSize S = SizeOf(Product);
  auto Mask = MakeMask(S.PictureWidth, S.PictureHeight, TPixelFormat::pf1bit, [&](int X, int Y) {
    const double DX = (X + 0.5 - S.PictureWidth / 2.0) / (S.PictureWidth / 2.0);
    const double DY = (Y + 0.5 - S.PictureHeight / 2.0) / (S.PictureHeight / 2.0);
    return DX * DX + DY * DY <= 1.0;
  });
  const std::string Text =
      MakeFormDescription(StoredFormText(Product), MakePicture(S.PictureWidth, S.PictureHeight),
                          BitmapFileBytes(*Mask));
  TfrmMain* F = nullptr;
  Application()->CreateForm(F, Text);
  Form.reset(F);
  Backend().ClearLog();
  return F;
}

TfrmMain* OrnamentTest::CreateAndShow(const std::string& Product) {
  Create(Product);
  Form->Show();
  return Form.get();
}

std::string OrnamentTest::SettingsKey() const {
  return SettingsKeyPath(TestProduct(ProductName).Name);
}

void OrnamentTest::StoreDword(const std::string& Name, int32_t Value) {
  const uint32_t U = static_cast<uint32_t>(Value);
  ASSERT_TRUE(Services().RegSetValue(
      SettingsKey(), Name,
      TRegValue{REG_DWORD,
                {static_cast<uint8_t>(U), static_cast<uint8_t>(U >> 8),
                 static_cast<uint8_t>(U >> 16), static_cast<uint8_t>(U >> 24)}}));
}

std::optional<int32_t> OrnamentTest::StoredDword(const std::string& Name) {
  const auto V = Services().RegQueryValue(SettingsKey(), Name);
  if (!V || V->Type != REG_DWORD || V->Data.size() != 4) return std::nullopt;
  return static_cast<int32_t>(V->Data[0] | (V->Data[1] << 8) | (V->Data[2] << 16) |
                              (static_cast<uint32_t>(V->Data[3]) << 24));
}

void OrnamentTest::ResumeApplication() {
  Application()->Reset();
  if (Form) Application()->FormCreated(Form.get());
}

bool OrnamentTest::ChooseMenuItem(const std::string& Item) {
  const int Popups = Backend().PopupCount();
  Backend().QueuePopupChoice(Item);
  const TProductSize S = SizeOf(ProductName);
  Backend().Click(Window(), TMouseButton::mbRight, S.PictureWidth / 2, S.PictureHeight / 2);
  return Backend().PopupCount() == Popups + 1;
}

bool OrnamentTest::CloseByExit() {
  EXPECT_TRUE(ChooseMenuItem("pmiExit"));
  return Application()->Terminated();
}

}  // namespace orn::apptest
