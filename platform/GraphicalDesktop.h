// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace skycall {

// The desktop the window is to open on, looked at before the window system is started, which
// aborts the program where there is none.
struct GraphicalDesktop {
  // An X display that accepts a connection, a Wayland session, or a Qt platform chosen by hand
  // (offscreen for one).
  bool available = false;
  bool waylandSession = false;
  bool xDisplay = false;
  // A Wayland session that also offers an X display (XWayland), where the user chose no
  // platform: the window goes on X, where the read-title key and the focus check work.
  bool chooseXcb = false;
};

GraphicalDesktop lookAtDesktop();

}  // namespace skycall
