// TGIFAnimator: a windowless control that shows one GIF image and animates it. A threaded
// timer owned by the control steps the shown frame; for each frame the compositor builds the
// full picture of the image's logical screen as it looks while that frame is on display
// (normally one step from the previous frame), and the control draws that picture at its
// natural size, centred, or stretched over the whole control, opaque or with the picture's
// transparent colour keyed out.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "anim/picture_control.h"
#include "anim/threaded_timer.h"
#include "gfx/bitmap.h"
#include "gif/gif_image.h"

namespace orn {

// The largest picture (logical screen) the compositor builds, in pixels.
constexpr int64_t MaxComposedPixels = int64_t{1} << 26;

class TGIFAnimator : public TPictureControl {
 public:
  explicit TGIFAnimator(TComponent* AOwner);
  ~TGIFAnimator() override;
  std::string ClassName() const override { return "TGIFAnimator"; }

  // ---- Published properties -----------------------------------------------------------
  bool AsyncDrawing() const { return FAsyncOn; }
  void SetAsyncDrawing(bool Value) { ApplyAsyncDrawing(Value); }
  bool Animate() const { return FPlaying; }
  void SetAnimate(bool Value) { ApplyAnimate(Value); }
  bool Center() const { return FCenterOn; }
  void SetCenter(bool Value) { ApplyCenter(Value); }
  int FrameIndex() const { return FShownIndex.load(std::memory_order_acquire); }
  void SetFrameIndex(int Value) { ApplyFrameIndex(Value); }
  // The control's own image; assigning copies into it (none empties it).
  TGIFImage* Image() const { return FGifImage.get(); }
  void SetImage(TGIFImage* Value) { ApplyImage(Value); }
  bool Loop() const { return FLoopOn; }
  void SetLoop(bool Value) { FLoopOn = Value; }
  bool Stretch() const { return FStretchOn; }
  void SetStretch(bool Value) { ApplyStretch(Value); }
  bool Transparent() const { return FTransparentOn; }
  void SetTransparent(bool Value) { ApplyTransparent(Value); }

  const TNotifyEvent& OnChange() const { return FChangeEvent; }
  void SetOnChange(TNotifyEvent Value) { FChangeEvent = std::move(Value); }
  const TNotifyEvent& OnFrameChanged() const { return FFrameChangedEvent; }
  void SetOnFrameChanged(TNotifyEvent Value);
  const TNotifyEvent& OnStart() const { return FStartEvent; }
  void SetOnStart(TNotifyEvent Value) { FStartEvent = std::move(Value); }
  const TNotifyEvent& OnStop() const { return FStopEvent; }
  void SetOnStop(TNotifyEvent Value) { FStopEvent = std::move(Value); }

  void DeclareProperties(TPropertyList& Props) const override;

  // ---- Sizing and palette ---------------------------------------------------------------
  // Proposes the logical screen size (per alignment) when the image is not empty.
  bool CanAutoSize(int& NewWidth, int& NewHeight) override;
  void AdjustSize() override;
  HPALETTE GetPalette() override;

  // ---- Inspection -------------------------------------------------------------------------
  TThreadedTimer* Timer() const { return FTimer; }
  // The kept composed picture (none until the first paint and after an image change).
  TBitmap* Composed() const { return FComposed.get(); }
  int ComposedIndex() const { return FComposedIndex; }
  TColor ComposedTransColor() const { return FComposedTransColor; }
  // The delay of the frame on show, clamped to 50 ... 10000 ms; 0 without a frame to step.
  int CurrentFrameDelay() const;
  // Builds (or steps) the composed picture for frame Index; see the compositor's notes in
  // gif_animator.cpp. TransColor: in, the colour to give back when the picture has no
  // transparent colour; out, the picture's transparent colour. The picture stays owned by the
  // control.
  TBitmap* ComposeFrame(int Index, TColor& TransColor);

 protected:
  void Paint() override;
  void DrawPicture() override;
  virtual void DoChange();
  virtual void DoFrameChanged();
  virtual void DoStart();
  virtual void DoStop();

  // The timer's handler: one step of the animation.
  void AdvanceFrame(TObject* Sender);
  void HandleImageChange(TObject* Sender);
  void StopAnimation();

  void ApplyImage(TGIFImage* Value);
  void ApplyFrameIndex(int Value);
  void ApplyCenter(bool Value);
  void ApplyStretch(bool Value);
  void ApplyTransparent(bool Value);
  void ApplyAnimate(bool Value);
  void ApplyAsyncDrawing(bool Value);

 private:
  // The parent chain reaches a window that exists.
  bool ParentWindowReady() const;
  void UpdateIntervalForShownFrame();
  // Applies a Boolean drawing setting under the lock and repaints as the settings do.
  void ApplyDrawingSetting(bool& Field, bool Value);

  bool FPlaying = false;
  std::unique_ptr<TGIFImage> FGifImage;
  TThreadedTimer* FTimer = nullptr;  // owned as a component
  std::atomic<int> FShownIndex{0};
  bool FStretchOn = false;
  std::atomic<bool> FLoopOn{true};  // read by a frame advance on the worker
  bool FCenterOn = false;
  bool FTransparentOn = true;
  std::unique_ptr<TBitmap> FComposed;
  int FComposedIndex = -1;
  TColor FComposedTransColor = clNone;
  bool FAsyncOn = false;
  // An image too large to compose has been reported; cleared by every image change.
  bool FOversizeReported = false;
  TNotifyEvent FStartEvent;
  TNotifyEvent FStopEvent;
  TNotifyEvent FChangeEvent;
  TNotifyEvent FFrameChangedEvent;
};

// Registers TGIFAnimator and TThreadedTimer with the class registry, so form descriptions can
// create them. Registering again does nothing.
void RegisterAnimationClasses();

}  // namespace orn
