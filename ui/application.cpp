#include "ui/application.h"

#include "core/classregistry.h"
#include "ui/image.h"
#include "ui/menus.h"
#include "ui/timer.h"

namespace orn {

void RegisterUIClasses() {
  RegisterClass<TForm>("TForm");
  RegisterClass<TImage>("TImage");
  RegisterClass<TPopupMenu>("TPopupMenu");
  RegisterClass<TMenuItem>("TMenuItem");
  RegisterClass<TTimer>("TTimer");
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {
  RegisterUIClasses();
}

TApplication::~TApplication() {
  StopHintTimer();
  if (FHandle != 0) UnregisterWindow(FHandle);
}

void TApplication::Initialize() {}

void TApplication::Reset() {
  CancelHint();
  FMainForm = nullptr;
  FTerminated = false;
  FRunning = false;
  FTaskbarHidden = false;
  FShowHint = true;
  FHintPause = 500;
  FHintHidePause = 2500;
  OnException = nullptr;
}

void TApplication::FormCreated(TCustomForm* Form) {
  if (FMainForm == nullptr) FMainForm = Form;
}

void TApplication::FormDestroyed(TCustomForm* Form) {
  if (FMainForm == Form) FMainForm = nullptr;
}

void TApplication::Run() {
  FRunning = true;
  if (FMainForm != nullptr && !FTerminated)
    DispatchGuarded(FMainForm, [this] { FMainForm->SetVisible(true); });
  if (!FTerminated) Platform().RunLoop();
  FRunning = false;
}

void TApplication::Terminate() {
  FTerminated = true;
  if (PlatformInstalled()) Platform().QuitLoop();
}

void TApplication::ProcessMessages() {
  Platform().ProcessPending();
}

HWND TApplication::Handle() {
  if (FHandle == 0)
    FHandle = RegisterWindow(
        [this](TMessage& M) { M.Result = DefWindowProc(FHandle, M.Msg, M.WParam, M.LParam); });
  return FHandle;
}

void TApplication::SetTaskbarHidden(bool Hidden) {
  FTaskbarHidden = Hidden;
  for (int I = 0; I < Screen()->FormCount(); ++I) {
    TCustomForm* F = Screen()->Forms(I);
    if (F->HandleAllocated()) Platform().SetWindowSkipTaskbar(F->Handle(), Hidden);
  }
}

void TApplication::HandleException(TObject* Sender) {
  HandleException(Sender, std::current_exception());
}

void TApplication::HandleException(TObject* Sender, std::exception_ptr Error) {
  if (!Error) return;
  try {
    std::rethrow_exception(Error);
  } catch (const EAbort&) {
    // Silent by design.
  } catch (const Exception& E) {
    if (OnException)
      OnException(Sender, E);
    else
      ShowException(E);
  } catch (const std::exception& E) {
    const Exception Wrapped(E.what());
    if (OnException)
      OnException(Sender, Wrapped);
    else
      ShowException(Wrapped);
  } catch (...) {
    const Exception Wrapped("Unknown exception");
    if (OnException)
      OnException(Sender, Wrapped);
    else
      ShowException(Wrapped);
  }
}

void TApplication::ShowException(const Exception& E) {
  if (PlatformInstalled()) Platform().ShowErrorMessage(FTitle, E.Message());
}

// ---- Hints --------------------------------------------------------------------------------

std::string GetShortHint(const std::string& Hint) {
  const size_t Bar = Hint.find('|');
  return Bar == std::string::npos ? Hint : Hint.substr(0, Bar);
}

bool ControlShowsHint(TControl* Control) {
  while (Control != nullptr && Control->ParentShowHint() && Control->Parent() != nullptr)
    Control = Control->Parent();
  return Control != nullptr && Control->ShowHint();
}

void TApplication::SetShowHint(bool Value) {
  FShowHint = Value;
  if (!Value) CancelHint();
}

void TApplication::StopHintTimer() {
  if (FHintTimer != 0 && PlatformInstalled()) Platform().StopTimer(FHintTimer);
  FHintTimer = 0;
}

void TApplication::HintMouseMessage(TControl* Control, TPoint ScreenPos) {
  FHintPos = ScreenPos;
  if (Control != FHintControl) {
    CancelHint();
    FHintControl = Control;
  } else if (FHintShownFor != nullptr || FHintTimerHides) {
    return;  // the hint stays while the mouse moves on its control
  }
  StopHintTimer();
  if (Control == nullptr || !FShowHint || !ControlShowsHint(Control)) return;
  // The hint appears once the mouse has rested for HintPause; every move starts it anew.
  FHintTimerHides = false;
  FHintTimer = Platform().StartTimer(
      FHintPause, [this] { DispatchGuarded(this, [this] { HintTimerFired(); }); });
}

void TApplication::HintTimerFired() {
  StopHintTimer();
  TControl* C = FHintControl;
  if (C == nullptr || !FShowHint || !ControlShowsHint(C)) return;
  const std::string Text = GetShortHint(C->Hint());
  if (Text.empty()) return;
  // A carriage return breaks the line (a line feed right after it belongs to the break).
  std::vector<std::string> Lines(1);
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '\r') {
      Lines.emplace_back();
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else if (Text[I] == '\n') {
      Lines.emplace_back();
    } else {
      Lines.back() += Text[I];
    }
  }
  Platform().ShowTooltip(Lines, FHintPos.X, FHintPos.Y);
  FHintShownFor = C;
  FHintTimerHides = true;
  FHintTimer = Platform().StartTimer(
      FHintHidePause, [this] { DispatchGuarded(this, [this] { HideHintTimerFired(); }); });
}

void TApplication::HideHintTimerFired() {
  StopHintTimer();
  if (FHintShownFor != nullptr) Platform().HideTooltip();
  FHintShownFor = nullptr;
  // FHintControl stays: the hint comes back only after the mouse has left the control.
}

void TApplication::CancelHint() {
  StopHintTimer();
  FHintTimerHides = false;
  if (FHintShownFor != nullptr && PlatformInstalled()) Platform().HideTooltip();
  FHintShownFor = nullptr;
  FHintControl = nullptr;
}

void TApplication::ControlDestroyed(TControl* Control) {
  if (Control != nullptr && (Control == FHintControl || Control == FHintShownFor)) CancelHint();
}

namespace {

// The exception handling itself failed (OnException raised): that failure gets the default
// report, and whatever happens there, nothing leaves.
void ShowHandlerFailure() noexcept {
  try {
    try {
      throw;
    } catch (const Exception& E) {
      Application()->ShowException(E);
    } catch (const std::exception& E) {
      Application()->ShowException(Exception(E.what()));
    }
  } catch (...) {
  }
}

}  // namespace

bool DispatchGuarded(TObject* Sender, const std::function<void()>& Call) {
  std::exception_ptr Error;
  try {
    Call();
    return true;
  } catch (...) {
    Error = std::current_exception();
  }
  try {
    Application()->HandleException(Sender, Error);
  } catch (...) {
    ShowHandlerFailure();
  }
  return false;
}

TApplication* Application() {
  static TApplication* A = new TApplication(nullptr);  // lives for the whole process
  return A;
}

}  // namespace orn
