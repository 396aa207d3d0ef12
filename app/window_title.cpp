// The window title through Xlib.  The toolkit stores a title as a Latin-1
// WM_NAME, which shows UTF-8 bytes as garbage; here the window gets the
// title as UTF8_STRING in the EWMH names and as compound text in the ICCCM
// names, which managers decode whatever their locale.
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

#include "app/window.h"

int set_utf8_window_title(const char *title) {
  Display *display = glXGetCurrentDisplay();
  const Window window = glXGetCurrentDrawable();
  if (!display || window == None) return 0;

  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  const int length = static_cast<int>(strlen(title));
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(title);
  static const char *const names[] = {"_NET_WM_NAME", "_NET_WM_ICON_NAME"};
  for (const char *name : names)
    XChangeProperty(display, window, XInternAtom(display, name, False), utf8, 8, PropModeReplace,
                    bytes, length);

  char *list[1] = {const_cast<char *>(title)};
  XTextProperty text;
  int ok = Xutf8TextListToTextProperty(display, list, 1, XCompoundTextStyle, &text) == Success;
  if (ok) {
    XSetWMName(display, window, &text);
    XSetWMIconName(display, window, &text);
    XFree(text.value);
  }
  XFlush(display);
  return ok;
}
