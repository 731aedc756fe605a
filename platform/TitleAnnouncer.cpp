// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TitleAnnouncer.h"

#include <QAccessible>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <QWidget>

namespace skycall {

namespace {

const QString kObjectPathPrefix = QStringLiteral("/org/a11y/atspi/accessible/");

// The Qt the program runs on, not the one it was built with: the bridge lives in the library.
bool bridgeSendsTheName() {
  return QLibraryInfo::version() >= QVersionNumber(6, 8);
}

// Sends the accessible-name change with the name as a string; false when it cannot be sent.
bool sendNameAsString(QWidget* window, const QString& name) {
  if (!QAccessible::isActive()) return false;
  // The connection Qt's accessibility bridge registered its objects on.
  QDBusConnection bus(QStringLiteral("a11y"));
  if (!bus.isConnected()) return false;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
  if (iface == nullptr) return false;
  QDBusMessage change = QDBusMessage::createSignal(
      kObjectPathPrefix + QString::number(QAccessible::uniqueId(iface)),
      QStringLiteral("org.a11y.atspi.Event.Object"), QStringLiteral("PropertyChange"));
  // The application the window belongs to, as the bridge names it in every event.
  QDBusArgument application;
  application.beginStructure();
  application << bus.baseService() << QDBusObjectPath(kObjectPathPrefix + QStringLiteral("root"));
  application.endStructure();
  change << QStringLiteral("accessible-name") << 0 << 0 << QVariant::fromValue(QDBusVariant(name))
         << QVariant::fromValue(application);
  return bus.send(change);
}

}  // namespace

void announceTitle(QWidget* window, const QString& spoken) {
  if (!bridgeSendsTheName() && sendNameAsString(window, spoken)) return;
  // Without the bus nobody listens but an in-process listener, which hears Qt's own event.
  QAccessibleEvent nameChanged(window, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&nameChanged);
}

}  // namespace skycall
