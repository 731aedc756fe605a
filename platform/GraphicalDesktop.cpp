// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GraphicalDesktop.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <string_view>

namespace skycall {

namespace {

std::string_view variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool xDisplayAnswers() {
  if (variable("DISPLAY").empty()) return false;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace

GraphicalDesktop lookAtDesktop() {
  GraphicalDesktop desktop;
  const std::string_view platform = variable("QT_QPA_PLATFORM");
  desktop.waylandSession =
      !variable("WAYLAND_DISPLAY").empty() || variable("XDG_SESSION_TYPE") == "wayland";
  desktop.xDisplay = xDisplayAnswers();
  desktop.chooseXcb = platform.empty() && desktop.waylandSession && desktop.xDisplay;
  desktop.available = desktop.xDisplay || (!platform.empty() && !platform.starts_with("xcb")) ||
                      (platform.empty() && !variable("WAYLAND_DISPLAY").empty());
  return desktop;
}

}  // namespace skycall
