// The window system the ornament runs on, chosen by the program entry through this one
// function.
#pragma once

#include <memory>

namespace orn {

// Installs the window system (and its system services) for the life of the returned object:
// the desktop when a display is there, the headless one when the environment variable
// ORN_BACKEND is "headless". Without a display raises Exception with a message that says
// how to get one.
std::shared_ptr<void> InstallBackend();

// The headless window system: runs on its virtual clock for a while, then reports what the
// window became on standard error.
std::shared_ptr<void> InstallHeadlessBackend();

}  // namespace orn
