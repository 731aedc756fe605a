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

}  // namespace

bool graphicalDesktopAvailable() {
  const std::string_view platform = variable("QT_QPA_PLATFORM");
  if (!platform.empty() && !platform.starts_with("xcb")) return true;
  if (platform.empty() && !variable("WAYLAND_DISPLAY").empty()) return true;
  if (variable("DISPLAY").empty()) return false;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XCloseDisplay(display);
  return true;
}

}  // namespace skycall
