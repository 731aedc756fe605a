// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace skycall {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
constexpr int kAnswerTimeoutMs = 1000;
// Urgency levels as desktop notification services take them: 0 low, 1 normal, 2 critical.
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;

}  // namespace

bool DesktopNotifier::notify(const std::wstring& summary, const std::wstring& body, bool critical) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
  // A service the bus starts on the first call counts as running.
  if (names == nullptr || (!names->isServiceRegistered(kService) &&
                           !names->activatableServiceNames().value().contains(kService)))
    return false;
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                     kService, QStringLiteral("Notify"));
  const QVariantMap hints{
      {QStringLiteral("urgency"), QVariant::fromValue(critical ? kCritical : kNormal)},
      {QStringLiteral("desktop-entry"), QStringLiteral("org.skycall.Skycall")}};
  // A critical one stays until it is dismissed; the others as long as the desktop keeps them.
  call << QStringLiteral("Skycall") << 0U << QStringLiteral("org.skycall.Skycall")
       << QString::fromStdWString(summary) << QString::fromStdWString(body) << QStringList()
       << hints << (critical ? 0 : -1);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerTimeoutMs), nullptr);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [this, body](auto* finished) {
    const QDBusPendingReply<uint> reply = *finished;
    finished->deleteLater();
    if (reply.isError() && unanswered) unanswered(body);
  });
  return true;
}

}  // namespace skycall
