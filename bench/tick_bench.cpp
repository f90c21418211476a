// One tick of a running animation: advance the frame, compose one step on the kept picture,
// paint through the off-screen bitmap, draw stretched (keyed or opaque) and present the
// form's pixels. Two pictures of the products' sizes are made here: 190 x 225 drawn with its
// transparent colour keyed out, and 118 x 170 drawn opaque.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "anim/gif_animator.h"
#include "ui/forms.h"
#include "ui/headless/headless.h"

namespace orn {
namespace {

constexpr TColor Key = 0xFF00FF;

// A frame bitmap: a coloured rectangle with a diagonal band of the key colour, like the
// sparkle frames of a decorated tree.
std::unique_ptr<TBitmap> FrameBitmap(int W, int H, int Seed) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(TPixelFormat::pf32bit);
  B->SetSize(W, H);
  TCanvas& C = B->Canvas();
  C.Brush().SetColor(
      RGB(static_cast<uint8_t>(40 + Seed * 13), 140, static_cast<uint8_t>(Seed * 7)));
  C.FillRect(Rect(0, 0, W, H));
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      if (((X + Y + Seed) / 6) % 3 == 0) C.SetPixels(X, Y, Key);
  return B;
}

// Frame 0 covers the whole screen; the others are partial updates with disposal 1 or 2.
// The picture goes through the GIF writer and reader when they can, so the frames are the
// decoded 8-bit bitmaps a real picture has.
std::unique_ptr<TGIFImage> MakePicture(int W, int H, int FrameCount) {
  auto Image = std::make_unique<TGIFImage>();
  for (int I = 0; I < FrameCount; ++I) {
    const bool Full = I == 0;
    const int FW = Full ? W : W / 2, FH = Full ? H : H / 3;
    auto B = FrameBitmap(FW, FH, I);
    const int N = Image->AppendFrame(B.get());
    TGIFFrame* F = Image->Frames(N);
    F->SetOrigin(Full ? TPoint{0, 0} : TPoint{(I * 17) % (W - FW), (I * 29) % (H - FH)});
    F->SetKeyColor(Key);
    F->SetDisposeMode(I % 4 == 3 ? TGIFDisposal::gdRestoreBackground : TGIFDisposal::gdLeave);
    F->SetDelayMs(70);
  }
  Image->FLogicalWidth = static_cast<uint16_t>(W);
  Image->FLogicalHeight = static_cast<uint16_t>(H);
  Image->SetCurrentIndex(0);
  try {
    TMemoryStream Stream;
    Image->SaveToStream(Stream);
    Stream.SetPosition(0);
    auto Decoded = std::make_unique<TGIFImage>();
    Decoded->LoadFromStream(Stream);
    if (Decoded->FrameCount() == FrameCount) return Decoded;
  } catch (const std::exception&) {
  }
  return Image;
}

void RunTicks(benchmark::State& State, int W, int H, bool Transparent) {
  static THeadlessBackend* Backend = new THeadlessBackend();
  TForm Form(nullptr);
  Form.SetBorderStyle(TFormBorderStyle::bsNone);
  Form.SetBounds(0, 0, W, H);
  auto* Anim = new TGIFAnimator(&Form);
  Anim->SetParent(&Form);
  Anim->Timer()->SetThreaded(false);  // the tick is driven here, not by a clock
  Anim->SetStretch(true);
  Anim->SetTransparent(Transparent);
  auto Picture = MakePicture(W, H, 24);
  Picture->SetTransparent(Transparent);
  Anim->SetImage(Picture.get());
  Form.SetVisible(true);
  Backend->Drain();
  Anim->SetAnimate(true);
  const int Frames = Anim->Image()->FrameCount();
  for (auto _ : State) {
    Anim->Timer()->Tick();
  }
  State.counters["frames"] = Frames;
  State.counters["decoded"] = Anim->Image()->Frames(1)->FrameBitmap() != nullptr &&
                                      Anim->Image()->Frames(1)->Item()->FCodeStream != nullptr
                                  ? 1
                                  : 0;
  Anim->SetAnimate(false);
}

void BM_Tick_190x225_Keyed(benchmark::State& State) {
  RunTicks(State, 190, 225, true);
}
void BM_Tick_118x170_Opaque(benchmark::State& State) {
  RunTicks(State, 118, 170, false);
}

BENCHMARK(BM_Tick_190x225_Keyed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tick_118x170_Opaque)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orn

BENCHMARK_MAIN();
