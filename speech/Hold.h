// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interfaces/Window.h"

namespace skycall {

// Waits `seconds` on the Holder timer while the window goes on handling its events.
// Throws SpeechError for a wait the timer cannot take (below 0 or above 65.535 s).
void hold(double seconds, Window& window);

// The Holder tick: ends every wait in progress, nested ones included.
void holderTick(Window& window);

}  // namespace skycall
