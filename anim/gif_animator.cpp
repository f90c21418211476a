#include "anim/gif_animator.h"

#include <algorithm>
#include <string>

#include "anim/copy_parent_background.h"
#include "core/classregistry.h"
#include "core/exceptions.h"
#include "core/system.h"
#include "gfx/guards.h"
#include "gfx/masked_draw.h"
#include "ui/application.h"

namespace orn {

namespace {

// Holds the control's lock for the lifetime of the object.
class TControlLock {
 public:
  explicit TControlLock(TPictureControl& Control) : FControl(Control) { FControl.EnterLock(); }
  ~TControlLock() { FControl.LeaveLock(); }
  TControlLock(const TControlLock&) = delete;
  TControlLock& operator=(const TControlLock&) = delete;

 private:
  TPictureControl& FControl;
};

constexpr int MinFrameDelay = 50;
constexpr int MaxFrameDelay = 10000;

}  // namespace

TGIFAnimator::TGIFAnimator(TComponent* AOwner) : TPictureControl(AOwner) {
  FTimer = new TThreadedTimer(this);
  SetAutoSize(true);
  FGifImage = std::make_unique<TGIFImage>();
  FShownGraphic = FGifImage.get();
  FGifImage->OnChange = [this](TObject* Sender) { HandleImageChange(Sender); };
  FComposedIndex = -1;
  FComposedTransColor = clNone;
  FLoopOn = true;
  FTransparentOn = true;
}

TGIFAnimator::~TGIFAnimator() {
  SetState(TComponentStateItem::csDestroying, true);
  {
    TControlLock Lock(*this);
    FStartEvent = nullptr;
    FStopEvent = nullptr;
    FChangeEvent = nullptr;
    FFrameChangedEvent = nullptr;
  }
  ApplyAnimate(false);
  // The timer goes first: its destruction waits for a tick still running on its worker (one
  // that uses this control), so nothing below races with a tick.
  delete FTimer;
  FTimer = nullptr;
  {
    TControlLock Lock(*this);
    FComposed.reset();
  }
  FGifImage->OnChange = nullptr;
  FShownGraphic = nullptr;
  FGifImage.reset();
}

// ---- Properties ---------------------------------------------------------------------------

void TGIFAnimator::DeclareProperties(TPropertyList& Props) const {
  TPictureControl::DeclareProperties(Props);
  DeclareBaseProperties(Props);
  auto P = Props.Of<TGIFAnimator>();
  P.Bool("AsyncDrawing", &TGIFAnimator::AsyncDrawing, &TGIFAnimator::SetAsyncDrawing, false);
  P.Bool("Animate", &TGIFAnimator::Animate, &TGIFAnimator::SetAnimate, false);
  P.Bool("AutoSize", &TGIFAnimator::AutoSize, &TGIFAnimator::SetAutoSize, true);
  P.Bool("Center", &TGIFAnimator::Center, &TGIFAnimator::SetCenter, false);
  P.Int("FrameIndex", &TGIFAnimator::FrameIndex, &TGIFAnimator::SetFrameIndex, 0);
  P.Object("Image", &TGIFAnimator::Image);
  P.Bool("Loop", &TGIFAnimator::Loop, &TGIFAnimator::SetLoop, true);
  P.Bool("Stretch", &TGIFAnimator::Stretch, &TGIFAnimator::SetStretch, false);
  P.Bool("Transparent", &TGIFAnimator::Transparent, &TGIFAnimator::SetTransparent, true);
  DeclareLayoutProperties(Props);
  P.Event("OnChange", &TGIFAnimator::OnChange, &TGIFAnimator::SetOnChange);
  P.Event("OnFrameChanged", &TGIFAnimator::OnFrameChanged, &TGIFAnimator::SetOnFrameChanged);
  P.Event("OnStart", &TGIFAnimator::OnStart, &TGIFAnimator::SetOnStart);
  P.Event("OnStop", &TGIFAnimator::OnStop, &TGIFAnimator::SetOnStop);
  DeclareMouseEvents(Props);
}

void TGIFAnimator::ApplyImage(TGIFImage* Value) {
  TControlLock Lock(*this);
  // The image's change event runs HandleImageChange, which takes the lock again.
  FGifImage->Assign(Value);
}

void TGIFAnimator::ApplyFrameIndex(int Value) {
  if (Value == FrameIndex() || Value < 0 || Value >= FGifImage->FrameCount()) return;
  {
    TControlLock Lock(*this);
    FShownIndex.store(Value, std::memory_order_release);
    UpdateIntervalForShownFrame();
  }
  DoFrameChanged();
  PictureUpdated();
}

void TGIFAnimator::ApplyDrawingSetting(bool& Field, bool Value) {
  if (Field == Value) return;
  {
    TControlLock Lock(*this);
    Field = Value;
  }
  PictureUpdated();
  if (FPlaying) Repaint();
}

void TGIFAnimator::ApplyCenter(bool Value) {
  ApplyDrawingSetting(FCenterOn, Value);
}
void TGIFAnimator::ApplyStretch(bool Value) {
  ApplyDrawingSetting(FStretchOn, Value);
}
void TGIFAnimator::ApplyTransparent(bool Value) {
  ApplyDrawingSetting(FTransparentOn, Value);
}

void TGIFAnimator::ApplyAnimate(bool Value) {
  if (Value == FPlaying) return;
  if (Value) {
    FTimer->SetOnTimer([this](TObject* Sender) { AdvanceFrame(Sender); });
    FTimer->SetEnabled(true);
    FPlaying = FTimer->Enabled();
    DoStart();
  } else {
    FTimer->SetEnabled(false);
    FTimer->SetOnTimer(nullptr);
    FPlaying = false;
    DoStop();
    PictureUpdated();
  }
}

void TGIFAnimator::ApplyAsyncDrawing(bool Value) {
  if (Value == FAsyncOn) return;
  TControlLock Lock(*this);
  if (Value) InstallLockedBitmapDraw();
  FTimer->SetSyncEvent(!Value);
  FAsyncOn = Value;
}

// ---- Notifications ------------------------------------------------------------------------

void TGIFAnimator::SetOnFrameChanged(TNotifyEvent Value) {
  // A frame advance on the timer's worker looks at the handler under the lock.
  TControlLock Lock(*this);
  FFrameChangedEvent = std::move(Value);
}

void TGIFAnimator::DoChange() {
  if (FChangeEvent) FChangeEvent(this);
}
void TGIFAnimator::DoFrameChanged() {
  if (FFrameChangedEvent) FFrameChangedEvent(this);
}
void TGIFAnimator::DoStart() {
  if (FStartEvent) FStartEvent(this);
}
void TGIFAnimator::DoStop() {
  if (FStopEvent) FStopEvent(this);
}

// ---- Sizing and palette -------------------------------------------------------------------

bool TGIFAnimator::CanAutoSize(int& NewWidth, int& NewHeight) {
  if (FGifImage && !FGifImage->Empty()) {
    const TAlign A = Align();
    if (A == TAlign::alNone || A == TAlign::alLeft || A == TAlign::alRight)
      NewWidth = FGifImage->LogicalWidth();
    if (A == TAlign::alNone || A == TAlign::alTop || A == TAlign::alBottom)
      NewHeight = FGifImage->LogicalHeight();
  }
  return true;
}

void TGIFAnimator::AdjustSize() {
  if (InState(TComponentStateItem::csReading) || !AutoSize() || !FGifImage || FGifImage->Empty())
    return;
  SetBounds(Left(), Top(), FGifImage->LogicalWidth(), FGifImage->LogicalHeight());
}

HPALETTE TGIFAnimator::GetPalette() {
  return !FGifImage || FGifImage->Empty() ? nullptr : FGifImage->Palette();
}

// ---- Animation ----------------------------------------------------------------------------

int TGIFAnimator::CurrentFrameDelay() const {
  const int Index = FrameIndex();
  const int Count = FGifImage->FrameCount();
  if (Index < 0 || Index >= Count || Count < 2) return 0;
  const int Delay = FGifImage->Frames(Index)->DelayMs();
  return std::clamp(Delay, MinFrameDelay, MaxFrameDelay);
}

void TGIFAnimator::UpdateIntervalForShownFrame() {
  const int Index = FrameIndex();
  if (Index >= 0 && Index < FGifImage->FrameCount())
    FTimer->SetInterval(static_cast<uint32_t>(CurrentFrameDelay()));
}

void TGIFAnimator::HandleImageChange(TObject*) {
  {
    TControlLock Lock(*this);
    FComposedIndex = -1;
    FComposed.reset();
    FComposedTransColor = clNone;
    FOversizeReported = false;
    FShownIndex.store(FGifImage->CurrentIndex(), std::memory_order_release);
    if (FrameIndex() >= 0 && FGifImage->FrameCount() > 0) UpdateIntervalForShownFrame();
  }
  PictureUpdated();
  DoChange();
}

bool TGIFAnimator::ParentWindowReady() const {
  for (TWinControl* P = Parent(); P != nullptr; P = P->Parent())
    if (P->HandleAllocated()) return true;
  return false;
}

void TGIFAnimator::StopAnimation() {
  SetAnimate(false);
}

void TGIFAnimator::AdvanceFrame(TObject*) {
  // With asynchronous drawing this runs on the timer's worker: what it reads of the control,
  // the image and the timer it reads under the control's lock, which the GUI thread holds
  // while it replaces the image or changes a setting.
  bool HandOver = false;
  {
    TControlLock Lock(*this);
    if ((ControlState() & csPaintCopy) != 0 || !Visible() || FGifImage->FrameCount() < 2 ||
        !ParentWindowReady())
      return;
    const int Count = FGifImage->FrameCount();
    const int Index = FrameIndex();
    FShownIndex.store(Index < Count - 1 ? Index + 1 : 0, std::memory_order_release);
    HandOver = FAsyncOn && static_cast<bool>(FFrameChangedEvent);
  }
  // What goes to the GUI thread is handed over without the control's lock and before the
  // canvas is locked: its handler may call a setter that takes the lock, and the GUI thread
  // may itself be waiting for either lock, while the worker waits for the GUI thread.
  try {
    if (HandOver) FTimer->SyncCall([this] { DoFrameChanged(); });
    TControlLock Lock(*this);
    TCanvasLock CanvasLock(Canvas());
    if (!HandOver) DoFrameChanged();
    PaintFromAnyThread();
  } catch (...) {
    TControlLock Lock(*this);
    UpdateIntervalForShownFrame();
    throw;
  }
  bool Stop;
  {
    TControlLock Lock(*this);
    UpdateIntervalForShownFrame();
    Stop = !FLoopOn && FrameIndex() == 0;
  }
  // On the GUI thread SyncCall runs the call at once.
  if (Stop) FTimer->SyncCall([this] { StopAnimation(); });
}

// ---- Drawing ------------------------------------------------------------------------------

void TGIFAnimator::Paint() {
  PaintContent();
}

void TGIFAnimator::DrawPicture() {
  TCanvas& Target = Canvas();
  if (FGifImage->Transparent() || FGifImage->Empty()) CopyParentBackground(this, Target);
  if (FGifImage->Empty()) return;
  const int LW = FGifImage->LogicalWidth(), LH = FGifImage->LogicalHeight();
  if (LW <= 0 || LH <= 0) return;
  if (int64_t{LW} * LH > MaxComposedPixels) {
    // The control keeps showing its background; the refusal is reported once per image.
    if (FOversizeReported) return;
    FOversizeReported = true;
    const EInvalidGraphicOperation Error("GIF picture too large to show: " + std::to_string(LW) +
                                         " x " + std::to_string(LH) + " pixels");
    if (!SystemServices().IsGUIThread()) throw Error;
    Application()->HandleException(this, std::make_exception_ptr(Error));
    return;
  }
  TColor TransColor = clNone;
  TBitmap* Picture = ComposeFrame(FrameIndex(), TransColor);
  TCanvasLock PictureLock(Picture->Canvas());
  const int PW = Picture->Width(), PH = Picture->Height();
  TRect R;
  if (FStretchOn)
    R = Rect(0, 0, ClientWidth(), ClientHeight());
  else if (FCenterOn)
    R = Bounds((ClientWidth() - PW) / 2, (ClientHeight() - PH) / 2, PW, PH);
  else
    R = Bounds(0, 0, PW, PH);
  // clNone draws a plain opaque stretched copy, whatever the picture's own transparency says.
  const TColor Key = (TransColor != clNone && FTransparentOn) ? TransColor : clNone;
  DrawBitmapRectMasked(Target, R.Left, R.Top, R.Width(), R.Height(), Rect(0, 0, PW, PH), *Picture,
                       Key);
}

// ---- Frame compositor ---------------------------------------------------------------------
//
// The composed picture is a bitmap of the logical screen size. Its canvas's brush colour is
// the fill colour: chosen when the picture is rebuilt, it paints the background and every
// area a frame with disposal method 2 gives back. A call for frame N reuses the kept picture
// of frame N - 1 (one fill at most and one frame draw); any other jump rebuilds it, replaying
// only from the last frame that hides everything before it.

TBitmap* TGIFAnimator::ComposeFrame(int Index, TColor& TransColor) {
  TGIFImage& Img = *FGifImage;
  const int Count = Img.FrameCount();
  if (Count == 0 || Index < 0) throw EInvalidGraphicOperation("No frame to compose");
  Index = std::min(Index, Count - 1);
  const int LW = Img.LogicalWidth(), LH = Img.LogicalHeight();
  if (int64_t{LW} * LH > MaxComposedPixels)
    throw EInvalidGraphicOperation("GIF picture too large to show: " + std::to_string(LW) + " x " +
                                   std::to_string(LH) + " pixels");

  const bool Reuse = FComposed && FComposedIndex == Index - 1 && FComposedIndex >= 0 &&
                     Img.Frames(FComposedIndex)->DisposeMode() != TGIFDisposal::gdRestorePrevious;
  std::unique_ptr<TBitmap> Fresh;
  TBitmap* Picture;
  if (Reuse) {
    Picture = FComposed.get();
    TransColor = FComposedTransColor;
  } else {
    FComposed.reset();
    Fresh = std::make_unique<TBitmap>();
    Picture = Fresh.get();
  }
  TCanvas& C = Picture->Canvas();
  C.Lock();
  HPALETTE OldPalette = nullptr;
  const HPALETTE ImagePalette = Img.Palette();
  auto FrameRect = [](TGIFFrame* F) {
    return Bounds(F->Origin().X, F->Origin().Y, F->PixelWidth(), F->PixelHeight());
  };
  try {
    if (!Reuse) {
      Picture->SetWidth(LW);
      Picture->SetHeight(LH);
    }
    if (ImagePalette != nullptr) {
      OldPalette = SelectPalette(C.Handle(), ImagePalette, false);
      RealizePalette(C.Handle());
    }
    if (!Reuse) {
      // The fill colour follows the image's own current frame.
      const int Current = Img.CurrentIndex();
      TGIFFrame* CurrentFrame = Current >= 0 && Current < Count ? Img.Frames(Current) : nullptr;
      TColor Fill;
      if (CurrentFrame != nullptr && CurrentFrame->KeyColor() != clNone) {
        TransColor = GetNearestColor(C.Handle(), CurrentFrame->KeyColor());
        Fill = PaletteRelativeColor(TransColor);
      } else if (Img.BackColor() != clNone && Img.Transparent()) {
        Fill = PaletteRelativeColor(Img.BackColor());
      } else {
        Fill = PaletteRelativeColor(clWindow);
      }
      C.Brush().SetColor(Fill);
      C.FillRect(Rect(0, 0, LW, LH));
      // The start frame covers the whole screen and leaves nothing of what was before it:
      // frame Index itself when it is opaque; an earlier frame when it is opaque and stays
      // (not disposal 3, which brings back the picture before it) or when it is wiped
      // (disposal 2). A frame that covers only part of the screen never qualifies.
      int Start = 0;
      for (int I = Index; I > 0; --I) {
        TGIFFrame* F = Img.Frames(I);
        const TRect R = FrameRect(F);
        if (R.Left > 0 || R.Top > 0 || R.Right < LW || R.Bottom < LH) continue;
        const TGIFDisposal Mode = F->DisposeMode();
        const bool Opaque = F->KeyColor() == clNone;
        const bool Hides = I == Index ? Opaque
                                      : Mode == TGIFDisposal::gdRestoreBackground ||
                                            (Opaque && Mode != TGIFDisposal::gdRestorePrevious);
        if (Hides) {
          Start = I;
          break;
        }
      }
      // Replay each frame as it looks after its own display and disposal. Undefined methods
      // (4 to 7) leave the frame in place, as a step from the kept picture does.
      for (int I = Start; I < Index; ++I) {
        TGIFFrame* F = Img.Frames(I);
        const TGIFDisposal Mode = F->DisposeMode();
        if (Mode == TGIFDisposal::gdRestoreBackground) {
          if (I != Start) C.FillRect(FrameRect(F));
        } else if (Mode != TGIFDisposal::gdRestorePrevious) {
          F->PaintTo(C, FrameRect(F), true);
        }
      }
    } else {
      TGIFFrame* Previous = Img.Frames(Index - 1);
      if (Previous->DisposeMode() == TGIFDisposal::gdRestoreBackground)
        C.FillRect(FrameRect(Previous));
    }
    TGIFFrame* F = Img.Frames(Index);
    F->PaintTo(C, FrameRect(F), true);
    if (!Reuse && TransColor != clNone && FTransparentOn) {
      Picture->SetTransparentColor(PaletteRelativeColor(TransColor));
      Picture->SetTransparent(true);
    }
    if (ImagePalette != nullptr) SelectPalette(C.Handle(), OldPalette, false);
  } catch (...) {
    if (ImagePalette != nullptr && OldPalette != nullptr)
      SelectPalette(C.Handle(), OldPalette, false);
    C.Unlock();
    throw;  // a picture being rebuilt is freed with Fresh; a reused one stays
  }
  if (!Reuse) FComposed = std::move(Fresh);
  FComposedIndex = Index;
  FComposedTransColor = TransColor;
  C.Unlock();
  return Picture;
}

void RegisterAnimationClasses() {
  RegisterClasses(
      {ClassEntry<TGIFAnimator>("TGIFAnimator"), ClassEntry<TThreadedTimer>("TThreadedTimer")});
}

}  // namespace orn
