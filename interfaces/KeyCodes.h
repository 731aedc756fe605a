// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace skycall {

// Windows virtual-key codes of the keys the program gives a meaning to.
namespace vk {
constexpr std::int16_t Tab = 9;
constexpr std::int16_t Enter = 13;
constexpr std::int16_t Shift = 16;
constexpr std::int16_t Ctrl = 17;
constexpr std::int16_t Alt = 18;
constexpr std::int16_t CapsLock = 20;
constexpr std::int16_t Esc = 27;
constexpr std::int16_t PageUp = 33;
constexpr std::int16_t PageDown = 34;
constexpr std::int16_t Left = 37;
constexpr std::int16_t Up = 38;
constexpr std::int16_t Right = 39;
constexpr std::int16_t Down = 40;
constexpr std::int16_t Insert = 45;
constexpr std::int16_t T = 84;
constexpr std::int16_t Slash = 191;  // the US layout's slash and question mark key
constexpr std::int16_t OemSpecific = 233;
}  // namespace vk

// The shift state's bits.
namespace mask {
constexpr std::int16_t None = 0;
constexpr std::int16_t Shift = 1;
constexpr std::int16_t Ctrl = 2;
constexpr std::int16_t Alt = 4;
}  // namespace mask

}  // namespace skycall
