// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DBusScreenReader.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QString>
#include <array>
#include <utility>

#include "speech/Voice.h"

namespace skycall {

namespace {

struct RemoteController {
  const char* service;
  const char* path;
  const char* interface;
};

// The screen reader's remote-controller service, newest name first.
constexpr std::array<RemoteController, 2> kControllers{{
    {"org.gnome.Orca1.Service", "/org/gnome/Orca1/Service", "org.gnome.Orca1.Service"},
    {"org.gnome.Orca.Service", "/org/gnome/Orca/Service", "org.gnome.Orca.Service"},
}};

// A screen reader that hangs must not freeze the window for long.
constexpr int kCallTimeoutMs = 2000;

class DBusScreenReader : public ScreenReader {
 public:
  DBusScreenReader(QDBusConnection bus, const RemoteController& controller)
      : bus_(std::move(bus)), controller_(controller) {}

  void SayString(const std::wstring& text, int) override {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(controller_.service), QString::fromLatin1(controller_.path),
        QString::fromLatin1(controller_.interface), QStringLiteral("PresentMessage"));
    call << QString::fromStdWString(text);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
      throw SpeechError("The screen reader did not take the text: " +
                        reply.errorMessage().toStdString());
    const QList<QVariant> args = reply.arguments();
    if (args.isEmpty() || !args.first().toBool())
      throw SpeechError("The screen reader refused the text");
  }

 private:
  QDBusConnection bus_;
  RemoteController controller_;
};

}  // namespace

std::unique_ptr<ScreenReader> createScreenReader() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    throw SpeechError("No session bus to reach a screen reader: " +
                      bus.lastError().message().toStdString());
  QDBusConnectionInterface* names = bus.interface();
  for (const auto& controller : kControllers) {
    if (names != nullptr && names->isServiceRegistered(QString::fromLatin1(controller.service)))
      return std::make_unique<DBusScreenReader>(bus, controller);
  }
  throw SpeechError("No screen reader answers on the session bus (looked for " +
                    std::string(kControllers[0].service) + " and " + kControllers[1].service + ")");
}

}  // namespace skycall
