// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SleepWatch.h"

#include <QDBusConnection>

namespace skycall {

SleepWatch::SleepWatch(std::function<void()> woke) : woke_(std::move(woke)) {
  QDBusConnection::systemBus().connect(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
      SLOT(prepareForSleep(bool)));
}

void SleepWatch::prepareForSleep(bool sleeping) {
  if (!sleeping && woke_) woke_();
}

}  // namespace skycall
