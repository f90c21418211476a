// The program on the headless window system (ORN_BACKEND=headless). The window, its region, alpha
// and on-top state, the timers and the menu exist in memory only. The loop runs on the headless
// virtual clock; after RunMilliseconds of it the window gets the system's close command, so the
// close query saves the settings as on a desktop. Settings are kept in files under $XDG_CONFIG_HOME
// (as the desktop build keeps them), and what the window ended up as is written to standard error,
// so a run shows what the ornament did.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/backend.h"
#include "app/main.h"
#include "app/products.h"
#include "ui/application.h"
#include "ui/headless/headless.h"
#include "ui/xdg/xdg_registry.h"

namespace orn {

namespace {

constexpr uint64_t RunMilliseconds = 10 * 1000;

std::string OwnExecutable() {
  char Path[4096];
  const ssize_t N = ::readlink("/proc/self/exe", Path, sizeof Path - 1);
  return N > 0 ? std::string(Path, static_cast<size_t>(N)) : std::string();
}

struct THeadlessRun {
  THeadlessBackend Backend;
  TXdgRegistryStore Store{TXdgRegistryStore::DefaultConfigHome()};
};

// What the main window has become, before the close.
void ReportWindow(THeadlessRun& Run, HWND W) {
  const std::string Name = ActiveProduct().Name;
  const THeadlessWindow Win = Run.Backend.Window(W);
  std::fprintf(stderr,
               "%s: running on the headless window system "
               "(nothing is drawn on screen). After %llu s of its virtual clock:\n",
               Name.c_str(), static_cast<unsigned long long>(RunMilliseconds / 1000));
  std::fprintf(stderr,
               "%s: window %dx%d at %d,%d, %s, alpha %d, %s, %s, %zu region rectangles, "
               "%d frames presented; closing.\n",
               Name.c_str(), Win.Bounds.Width(), Win.Bounds.Height(), Win.Bounds.Left,
               Win.Bounds.Top, Win.Layered ? "translucent" : "opaque", Win.Alpha,
               Win.Topmost ? "on top" : "not on top",
               Win.SkipTaskbar ? "no taskbar button" : "taskbar button", Win.Region.size(),
               Win.PresentCount);
}

void ReportEnd(THeadlessRun& Run) {
  const std::string Name = ActiveProduct().Name;
  for (const std::string& M : Run.Backend.ErrorMessages())
    std::fprintf(stderr, "%s: error report: %s\n", Name.c_str(), M.c_str());
  std::fprintf(stderr, "%s: settings in %s\n", Name.c_str(),
               Run.Store.KeyPath(SettingsKeyPath(Name)).c_str());
}

}  // namespace

std::shared_ptr<void> InstallHeadlessBackend() {
  auto* Run = new THeadlessRun;
  Run->Backend.Services().SetExecutablePath(OwnExecutable());
  Run->Backend.Services().SetRegistryStore(&Run->Store);
  Run->Backend.SetLoopTimeLimit(RunMilliseconds + 1000);
  Run->Backend.At(RunMilliseconds, [Run] {
    TCustomForm* Main = Application()->MainForm();
    if (Main == nullptr || !Main->HandleAllocated()) return;
    ReportWindow(*Run, Main->Handle());
    Run->Backend.RequestClose(Main->Handle());
  });
  return std::shared_ptr<void>(Run, [](void* P) {
    // The backend stays: a timer worker of the destroyed window may still be finishing a
    // sleep on its services, and the process ends right after this anyway.
    ReportEnd(*static_cast<THeadlessRun*>(P));
  });
}

}  // namespace orn
