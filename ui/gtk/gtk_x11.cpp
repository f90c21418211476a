// The X11-only calls of the GTK backend, in a file of their own: Xlib's headers define macros
// (Bool, None, Status ...) that clash with ordinary names elsewhere.
#include <gdk/gdkx.h>

namespace orn {

void ForceUnitWindowScale() {
  GdkDisplay* D = gdk_display_get_default();
  if (D != nullptr && GDK_IS_X11_DISPLAY(D)) gdk_x11_display_set_window_scale(D, 1);
}

}  // namespace orn
