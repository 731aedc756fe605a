// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace skycall {

// The desktop's notifications, which a screen reader speaks from whatever window has the focus.
class Notifier {
 public:
  virtual ~Notifier() = default;
  // Hands a notification on without waiting; false when no notification service runs.
  // critical: it stays until the user dismisses it.
  virtual bool notify(const std::wstring& summary, const std::wstring& body, bool critical) = 0;

  // Called later, on the window's thread, with the body of a notification that was not taken
  // (refused, or no answer within a second).
  std::function<void(const std::wstring& body)> unanswered;
};

}  // namespace skycall
