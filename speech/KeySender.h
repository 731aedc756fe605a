// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace skycall {

// Synthesises key presses for the screen reader's read-title hot-key.
class KeySender {
 public:
  static constexpr int kKeyUp = 2;

  virtual ~KeySender() = default;
  // vk: a Windows virtual-key code; flags 0 presses, 2 releases. Throws on failure.
  virtual void keybd_event(int vk, int flags) = 0;
};

}  // namespace skycall
