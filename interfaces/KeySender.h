// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "interfaces/KeyCodes.h"

namespace skycall {

// One key of a hot-key: its virtual-key code, and whether it is the extended key of that code
// (the keypad's Enter, the Insert key of the editing block), as the keyboard tells them apart.
struct HotKeyKey {
  int vk;
  bool extended = false;
};

// The keys that make the screen reader read the window title: pressed in order, then released
// in the same order.
struct ReadTitleKeys {
  std::vector<HotKeyKey> keys;
  // The key is the screen reader's own command, which reads the title itself: the window then
  // does not announce the new title (the screen reader would queue it and the key cut it off).
  bool readsTitleItself = false;
};

// The read-title hot-key screen readers commonly take.
inline const ReadTitleKeys kCtrlShiftT{{{vk::Ctrl}, {vk::Shift}, {vk::T}}, false};

// Synthesises key presses for the screen reader's read-title hot-key.
class KeySender {
 public:
  static constexpr int kExtendedKey = 1;
  static constexpr int kKeyUp = 2;

  virtual ~KeySender() = default;
  // The read-title command of the screen reader running now; kCtrlShiftT where it has none of
  // its own. No keys at all where no key can be synthesised (no X display).
  virtual ReadTitleKeys readTitleKeys() = 0;
  // vk: a Windows virtual-key code; flags: kExtendedKey, kKeyUp. Throws SpeechError on failure.
  virtual void keybd_event(int vk, int flags) = 0;
};

}  // namespace skycall
