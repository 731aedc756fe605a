// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DBusScreenReader.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QString>
#include <array>
#include <utility>

#include "interfaces/SpeechError.h"
#include "platform/TitleAnnouncer.h"

namespace skycall {

namespace {

struct RemoteController {
  const char* service;
  const char* path;
};

// Orca's remote controller, newest name first; the interface is named as the service.
constexpr std::array<RemoteController, 2> kControllers{{
    {"org.gnome.Orca1.Service", "/org/gnome/Orca1/Service"},
    {"org.gnome.Orca.Service", "/org/gnome/Orca/Service"},
}};

// A screen reader that takes longer than this has not taken the text: the voice says it.
constexpr int kAnswerTimeoutMs = 1000;
constexpr int kRegistryTimeoutMs = 1000;

// Hands each text to the remote controller without waiting; the answer comes back through the
// window's event loop. A refusal or no answer in time reports the newest text handed on, once
// for all the texts handed on up to then.
class RemoteControllerReader : public ScreenReader {
 public:
  RemoteControllerReader(QDBusConnection bus, const RemoteController& controller)
      : bus_(std::move(bus)), controller_(controller) {}

  void SayString(const std::wstring& text, int) override {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(controller_.service), QString::fromLatin1(controller_.path),
        QString::fromLatin1(controller_.service), QStringLiteral("PresentMessage"));
    call << QString::fromStdWString(text);
    const unsigned long sent = ++sent_;
    newest_ = text;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kAnswerTimeoutMs), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [this, sent](auto* finished) {
      const QDBusPendingReply<bool> reply = *finished;
      finished->deleteLater();
      const bool taken = !reply.isError() && reply.value();
      if (taken || sent <= reported_) return;
      reported_ = sent_;
      if (unanswered) unanswered(newest_);
    });
  }

 private:
  QDBusConnection bus_;
  RemoteController controller_;
  unsigned long sent_ = 0;      // texts handed on so far
  unsigned long reported_ = 0;  // texts up to this one are accounted for
  std::wstring newest_;
};

// The text as an accessibility announcement from the window, which the screen reader speaks
// as it arrives.
class AnnouncementReader : public ScreenReader {
 public:
  explicit AnnouncementReader(QWidget* window) : window_(window) {}
  void SayString(const std::wstring& text, int) override {
    if (!announce(window_, QString::fromStdWString(text)))
      throw SpeechError("The accessibility bus does not take announcements");
  }

 private:
  QWidget* window_;
};

// Whether a screen reader on the accessibility bus listens for announcements: the bus's registry
// lists the events its listeners asked for.
bool screenReaderListensForAnnouncements() {
  QDBusMessage ask = QDBusMessage::createMethodCall(
      QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
      QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
  ask.setAutoStartService(false);
  const QDBusMessage address =
      QDBusConnection::sessionBus().call(ask, QDBus::Block, kRegistryTimeoutMs);
  if (address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty()) return false;
  const QString name = QStringLiteral("skycall-registry");
  bool listens = false;
  {
    QDBusConnection a11y =
        QDBusConnection::connectToBus(address.arguments().first().toString(), name);
    QDBusMessage events = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
        QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("GetRegisteredEvents"));
    const QDBusMessage reply = a11y.call(events, QDBus::Block, kRegistryTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      const auto list = reply.arguments().first().value<QDBusArgument>();
      list.beginArray();
      while (!list.atEnd()) {
        QString listener, event;
        list.beginStructure();
        list >> listener >> event;
        list.endStructure();
        listens =
            listens || event.startsWith(QStringLiteral("object:announcement"), Qt::CaseInsensitive);
      }
      list.endArray();
    }
  }
  QDBusConnection::disconnectFromBus(name);
  return listens;
}

}  // namespace

std::unique_ptr<ScreenReader> createScreenReader(QWidget* window) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    throw SpeechError("No session bus to reach a screen reader: " +
                      bus.lastError().message().toStdString());
  QDBusConnectionInterface* names = bus.interface();
  for (const auto& controller : kControllers) {
    if (names != nullptr && names->isServiceRegistered(QString::fromLatin1(controller.service)))
      return std::make_unique<RemoteControllerReader>(bus, controller);
  }
  if (screenReaderListensForAnnouncements()) return std::make_unique<AnnouncementReader>(window);
  throw SpeechError("No screen reader answers on the session bus (looked for " +
                    std::string(kControllers[0].service) + " and " + kControllers[1].service +
                    ", and for a listener to announcements)");
}

}  // namespace skycall
