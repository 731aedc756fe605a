// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "commands/CommandHost.h"

namespace skycall {

// The main window's key-down handler: speech and window commands, every other key to the
// spoken topic menu. KeyCode may come back replaced by the menu.
void Form_KeyDown(CommandHost& form, std::int16_t& KeyCode, std::int16_t Shift);

}  // namespace skycall
