// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/Hold.h"

#include <cmath>

#include "interfaces/Voice.h"

namespace skycall {

namespace {
constexpr double kLongestIntervalMs = 65535;
}

void hold(double seconds, Window& window) {
  window.setHolderEnabled(true);
  const double ms = std::nearbyint(seconds * 1000);
  if (!(ms >= 0 && ms <= kLongestIntervalMs)) throw SpeechError("Invalid property value");
  window.setHolderInterval(static_cast<int>(ms));
  while (window.holderInterval() > 0) window.waitForEvents();
  window.setHolderEnabled(false);
}

void holderTick(Window& window) {
  window.setHolderInterval(0);
}

}  // namespace skycall
