// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeyEvent>
#include <cstdint>

namespace skycall {

// The code handed on for a key that has no virtual-key code of its own: the dispatcher gives it
// to the topic menu, which repeats the current topic.
constexpr std::int16_t kNoVirtualKey = 0;

// The Windows virtual-key code of a key as Qt reports it (keypad keys told apart by the keypad
// modifier); kNoVirtualKey when it has none.
std::int16_t virtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

// The shift state of a key-down: 1 Shift, 2 Ctrl, 4 Alt.
std::int16_t shiftMaskFor(Qt::KeyboardModifiers modifiers);

}  // namespace skycall
