// TApplication: creates the forms, runs the message loop until the main form closes, handles
// exceptions that reach the loop (OnException or the default report) and runs the hint
// machinery that shows a control's Hint when the mouse rests on it.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/component.h"
#include "core/exceptions.h"
#include "core/forms.h"
#include "ui/controls.h"
#include "ui/forms.h"

namespace orn {

using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;
  std::string ClassName() const override { return "TApplication"; }

  void Initialize();
  // Forgets the main form, the terminate flag, the hint state and the event handlers, so that
  // one process can run several loops one after another (as tests do).
  void Reset();
  // Makes a form with the application as owner; the first form made becomes the main form.
  // The form is also stored in Reference.
  template <class T>
  void CreateForm(T*& Reference) {
    auto* Form = new T(this);
    Reference = Form;
    FormCreated(Form);
  }
  // The same, then reads the form's stored description into it (its class name must be the
  // form's). A description that fails to read destroys the form and raises the error.
  template <class T>
  void CreateForm(T*& Reference, const std::string& Description) {
    auto* Form = new T(this);
    try {
      ReadFormDescription(Description, Form);
    } catch (...) {
      delete Form;
      throw;
    }
    Reference = Form;
    FormCreated(Form);
  }
  // Called for every form CreateForm makes (public for factories that build forms in their
  // own way).
  void FormCreated(TCustomForm* Form);
  TCustomForm* MainForm() const { return FMainForm; }
  // A form is going away: it stops being the main form.
  void FormDestroyed(TCustomForm* Form);

  // Shows the main form and runs the loop until Terminate.
  void Run();
  // Ends the loop (also when called before Run) and marks the application terminating.
  void Terminate();
  // Any thread may ask.
  bool Terminated() const { return FTerminated; }
  // The title of error reports.
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  // Runs what is waiting on the GUI thread without blocking.
  void ProcessMessages();

  // The hidden application window that carries the task bar button. ShowWindow(Handle,
  // SW_HIDE) removes the button of every form.
  HWND Handle();
  bool TaskbarHidden() const { return FTaskbarHidden; }
  void SetTaskbarHidden(bool Hidden);

  // Deals with the exception being handled (call from a catch block): EAbort is silent;
  // otherwise OnException if assigned, else ShowException.
  void HandleException(TObject* Sender);
  // The same for an exception held in Error.
  void HandleException(TObject* Sender, std::exception_ptr Error);
  // The default error report: the exception's message, through the window system.
  void ShowException(const Exception& E);
  TExceptionEvent OnException;

  // Hints.
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  uint32_t HintPause() const { return FHintPause; }
  void SetHintPause(uint32_t Value) { FHintPause = Value; }
  uint32_t HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(uint32_t Value) { FHintHidePause = Value; }
  // The mouse moved over Control (nullptr: over nothing) at the screen point.
  void HintMouseMessage(TControl* Control, TPoint ScreenPos);
  void CancelHint();
  // The control whose hint is shown, or nullptr.
  TControl* HintControl() const { return FHintShownFor; }
  // The control under the mouse forgot itself (it is being destroyed).
  void ControlDestroyed(TControl* Control);

 private:
  void HintTimerFired();
  void HideHintTimerFired();
  void StopHintTimer();

  TCustomForm* FMainForm = nullptr;
  std::atomic<bool> FTerminated{false};
  std::string FTitle;
  bool FRunning = false;
  bool FTaskbarHidden = false;
  HWND FHandle = 0;
  bool FShowHint = true;
  uint32_t FHintPause = 500;
  uint32_t FHintHidePause = 2500;
  TControl* FHintControl = nullptr;   // under the mouse
  TControl* FHintShownFor = nullptr;  // hint on screen
  TPoint FHintPos;
  TTimerHandle FHintTimer = 0;
  bool FHintTimerHides = false;
};

// Registers the classes of this layer (TForm, TImage, TPopupMenu, TMenuItem, TTimer) for form
// descriptions. The application object does it when it is made.
void RegisterUIClasses();

// The process-wide application object (made on first use).
TApplication* Application();

// Runs Call as one dispatch of the message loop and answers whether it returned normally. An
// exception it raises, of any type, goes to the application's exception handling
// (HandleException with Sender: OnException, or the default report) and no further; should
// that handling itself fail, its failure gets the default report. Every entry point from the
// window system goes through it: posted messages, window timers, paints, window events. A
// backend runs every closure it is handed (TPlatform::Post, TPlatform::StartTimer) through it,
// so that nothing a handler raises ever leaves its message loop.
bool DispatchGuarded(TObject* Sender, const std::function<void()>& Call);

// The hint a control shows: its own ShowHint, or through ParentShowHint its parents'; the
// text is Hint up to the first '|'. Empty when no hint applies.
bool ControlShowsHint(TControl* Control);
std::string GetShortHint(const std::string& Hint);

}  // namespace orn
