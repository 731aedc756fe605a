// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interfaces/Notifier.h"

namespace skycall {

// Notifications through the desktop's notification service (org.freedesktop.Notifications on
// the session bus), handed on without waiting for it.
class DesktopNotifier : public Notifier {
 public:
  bool notify(const std::wstring& summary, const std::wstring& body, bool critical) override;
};

}  // namespace skycall
