// What a window manager does when the user minimizes a window and brings it back.
#include "iconify.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ostrel::testing {

bool set_iconic(const std::string& display, unsigned long window, bool iconic) {
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) return false;
    if (iconic) {
        XUnmapWindow(x, window);
    } else {
        XMapWindow(x, window);
    }
    // Xvfb runs no window manager, so the test writes the state one would.
    const Atom wm_state = XInternAtom(x, "WM_STATE", False);
    const long state[2] = {iconic ? IconicState : NormalState, None};
    XChangeProperty(x, window, wm_state, wm_state, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state), 2);
    XFlush(x);
    XCloseDisplay(x);
    return true;
}

}  // namespace ostrel::testing
