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

// An announcement's politeness: spoken after what the screen reader is saying, not over it.
constexpr int kPolite = 1;

// The Qt the program runs on, not the one it was built with: the bridge lives in the library.
bool bridgeSendsTheName() {
  return QLibraryInfo::version() >= QVersionNumber(6, 8);
}

// An event of the Object kind from a widget, on the connection Qt's accessibility bridge
// registered its objects on; false when it cannot be sent.
// The property change names the application the window belongs to, as Qt 6.4's bridge does in
// every event; an announcement ends with an empty set of properties, as its listeners expect.
bool sendObjectEvent(QWidget* window, const QString& member, const QString& detail, int detail1,
                     const QVariant& value) {
  if (!QAccessible::isActive()) return false;
  QDBusConnection bus(QStringLiteral("a11y"));
  if (!bus.isConnected()) return false;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
  if (iface == nullptr) return false;
  QDBusMessage event =
      QDBusMessage::createSignal(kObjectPathPrefix + QString::number(QAccessible::uniqueId(iface)),
                                 QStringLiteral("org.a11y.atspi.Event.Object"), member);
  event << detail << detail1 << 0 << QVariant::fromValue(QDBusVariant(value));
  if (member == QStringLiteral("Announcement")) {
    event << QVariantMap();
  } else {
    QDBusArgument application;
    application.beginStructure();
    application << bus.baseService() << QDBusObjectPath(kObjectPathPrefix + QStringLiteral("root"));
    application.endStructure();
    event << QVariant::fromValue(application);
  }
  return bus.send(event);
}

}  // namespace

void announceTitle(QWidget* window, const QString& spoken, bool repeated) {
  if (!bridgeSendsTheName()) {
    if (sendObjectEvent(window, QStringLiteral("PropertyChange"), QStringLiteral("accessible-name"),
                        0, spoken))
      return;
  } else if (repeated && announce(window, spoken)) {
    return;
  }
  // Without the bus nobody listens but an in-process listener, which hears Qt's own event.
  QAccessibleEvent nameChanged(window, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&nameChanged);
}

bool announce(QWidget* window, const QString& text) {
  return sendObjectEvent(window, QStringLiteral("Announcement"), QString(), kPolite, text);
}

bool pointMagnifiersAt(QWidget* widget) {
  return sendObjectEvent(widget, QStringLiteral("StateChanged"), QStringLiteral("selected"), 1,
                         QVariant(0));
}

}  // namespace skycall
