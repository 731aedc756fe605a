// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace skycall {

// True when a graphical desktop answers for the window to open on: an X display that
// accepts a connection, or a Wayland session, or a Qt platform chosen by hand (offscreen for
// one). Asked before the window system is started, which aborts the program where none is.
bool graphicalDesktopAvailable();

}  // namespace skycall
