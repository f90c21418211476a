// The program runs on the headless window system: it has no desktop backend yet. The window,
// its region, alpha and on-top state, the timers and the menu exist in memory only; the loop
// runs on the headless virtual clock until RunSeconds of it have passed, and what the window
// ended up as is written to standard error, so a run shows what the ornament did.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/backend.h"
#include "app/products.h"
#include "ui/application.h"
#include "ui/headless/headless.h"

namespace orn {

namespace {

constexpr uint64_t RunMilliseconds = 10 * 1000;

std::string OwnExecutable() {
  char Path[4096];
  const ssize_t N = ::readlink("/proc/self/exe", Path, sizeof Path - 1);
  return N > 0 ? std::string(Path, static_cast<size_t>(N)) : std::string();
}

void Report(THeadlessBackend& Backend) {
  const std::string Name = ActiveProduct().Name;
  std::fprintf(stderr,
               "%s: no desktop backend in this build; ran on the headless window system "
               "(nothing is drawn on screen) for %llu s of its virtual clock.\n",
               Name.c_str(), static_cast<unsigned long long>(RunMilliseconds / 1000));
  for (const HWND W : Backend.WindowHandles()) {
    const THeadlessWindow Win = Backend.Window(W);
    if (!Win.Visible) continue;
    std::fprintf(stderr,
                 "%s: window %dx%d at %d,%d, alpha %s%d, %s, %zu region rectangles, "
                 "%d frames presented\n",
                 Name.c_str(), Win.Bounds.Width(), Win.Bounds.Height(), Win.Bounds.Left,
                 Win.Bounds.Top, Win.Layered ? "" : "off/", Win.Alpha,
                 Win.Topmost ? "on top" : "not on top", Win.Region.size(), Win.PresentCount);
  }
  for (const std::string& M : Backend.ErrorMessages())
    std::fprintf(stderr, "%s: error report: %s\n", Name.c_str(), M.c_str());
}

}  // namespace

std::shared_ptr<void> InstallBackend() {
  auto* Backend = new THeadlessBackend;
  Backend->Services().SetExecutablePath(OwnExecutable());
  Backend->SetLoopTimeLimit(RunMilliseconds);
  return std::shared_ptr<void>(Backend, [](void* P) {
    auto* B = static_cast<THeadlessBackend*>(P);
    Report(*B);
    delete B;
  });
}

}  // namespace orn
