// The Windows build runs on the Win32 backend.
#include "app/backend.h"
#include "ui/win32/win32_backend.h"

namespace orn {

std::shared_ptr<void> InstallBackend() {
  return std::make_shared<TWin32Backend>();
}

}  // namespace orn
