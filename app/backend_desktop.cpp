// The program entry's choice of window system: the GTK desktop when a display is there, the
// headless one only when asked for by name.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/backend.h"
#include "app/products.h"
#include "core/exceptions.h"
#include "core/system.h"
#include "ui/gtk/gtk_backend.h"
#include "ui/gtk/gtk_services.h"
#include "ui/xdg/launch.h"

namespace orn {

namespace {

namespace fs = std::filesystem;

std::string LowerAscii(std::string S) {
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

std::string ExistingFile(const fs::path& P) {
  std::error_code E;
  return fs::is_regular_file(P, E) ? fs::weakly_canonical(P, E).string() : std::string();
}

// The product's icon: the one installed beside the program (prefix/bin and
// prefix/share/icons), else the one the build drew next to the program.
void UseProductIcon(const std::string& Product) {
  const fs::path Dir = fs::path(OwnExecutablePath()).parent_path();
  const std::string Installed = ExistingFile(Dir / ".." / "share" / "icons" / "hicolor" / "32x32" /
                                             "apps" / (Product + ".png"));
  const std::string Built = ExistingFile(Dir / "products" / Product / "icon32.png");
  const std::string Icon = !Installed.empty() ? Installed : Built;
  if (!Icon.empty()) SetGtkWindowIcon(Icon);
  // An autostart entry names the installed icon only: the build tree may go away.
  if (auto* S = dynamic_cast<TGtkSystemServices*>(&SystemServices()))
    S->RegistryStore().SetIconPath(Installed);
}

}  // namespace

std::shared_ptr<void> InstallBackend() {
  const char* Choice = std::getenv("ORN_BACKEND");
  if (Choice != nullptr && std::string(Choice) == "headless") return InstallHeadlessBackend();
  std::string Error;
  std::unique_ptr<TPlatform> Backend = OpenGtkBackend(Error);
  if (!Backend) throw Exception(Error);
  UseProductIcon(LowerAscii(ActiveProduct().Name));
  return std::shared_ptr<void>(Backend.release(),
                               [](void* P) { delete static_cast<TPlatform*>(P); });
}

}  // namespace orn
