#include "anim_support.h"

#include <chrono>
#include <thread>

namespace orn::animtest {

THeadlessBackend& Backend() {
  // Never destroyed: detached timer workers may still finish a sleep on its services.
  static THeadlessBackend* Instance = new THeadlessBackend();
  return *Instance;
}

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    Backend().Drain();
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= Deadline) return Done();
    Backend().Services().WaitForQueuedCalls(std::chrono::milliseconds(2));
  }
}

void ServeFor(int Ms) {
  WaitUntil([] { return false; }, Ms);
}

std::unique_ptr<TBitmap> SolidBitmap(int Width, int Height, TColor Color) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(TPixelFormat::pf32bit);
  B->SetSize(Width, Height);
  B->Canvas().Brush().SetColor(Color);
  B->Canvas().FillRect(Rect(0, 0, Width, Height));
  return B;
}

std::unique_ptr<TGIFImage> MakeImage(int Width, int Height, const std::vector<TFrameSpec>& Frames,
                                     TColor BackColor) {
  auto Image = std::make_unique<TGIFImage>();
  for (const TFrameSpec& S : Frames) {
    auto B = SolidBitmap(S.Width, S.Height, S.Color);
    if (S.CornerColor != clNone) B->Canvas().SetPixels(0, 0, S.CornerColor);
    const int I = Image->AppendFrame(B.get());
    TGIFFrame* F = Image->Frames(I);
    F->SetOrigin(TPoint{S.Left, S.Top});
    F->SetKeyColor(S.KeyColor);
    F->SetDisposeMode(static_cast<TGIFDisposal>(S.Disposal));
    F->SetDelayMs(static_cast<uint16_t>(S.DelayMs));
  }
  Image->FLogicalWidth = static_cast<uint16_t>(Width);
  Image->FLogicalHeight = static_cast<uint16_t>(Height);
  Image->SetBackColor(BackColor);
  Image->SetCurrentIndex(Frames.empty() ? -1 : 0);
  return Image;
}

}  // namespace orn::animtest
