// The Linux desktop backend: GTK 3 on X11 behind both seams.
//
// Windows are undecorated GTK top-level windows placed at absolute screen coordinates. Their
// client pixels come from the form's framebuffer one to one (the window scale is forced to 1)
// and only the changed part is redrawn. The window region becomes the X shape, for drawing and
// for input; the alpha level the window opacity; on top keep-above; no taskbar button the
// skip-taskbar and skip-pager hints. Timers, posted calls and the calls handed to the GUI
// thread all run on the GTK main loop, which sleeps until one of them is due. SIGTERM, SIGINT
// and SIGHUP end the session: every window is asked its close query, then the loop ends.
//
// Open() connects to the display (the X11 GDK backend only, also under Wayland through
// XWayland) and installs the backend and its system services for the object's lifetime.
#pragma once

#include <memory>
#include <string>

#include "ui/platform.h"

namespace orn {

class TGtkBackend;

// Connects to the X display; on failure returns nullptr and puts a message for the user into
// Error (naming DISPLAY, and XWayland when only a Wayland session is there).
std::unique_ptr<TPlatform> OpenGtkBackend(std::string& Error);

// Sets the icon of every window made from now on from an image file; false when it cannot be
// read. Only for the GTK backend (does nothing when it is not installed).
bool SetGtkWindowIcon(const std::string& ImageFile);

}  // namespace orn
