// The window system the ornament runs on, chosen by the program entry through this one
// function.
#pragma once

#include <memory>

namespace orn {

// Installs the window system (and its system services) for the life of the returned object.
std::shared_ptr<void> InstallBackend();

}  // namespace orn
