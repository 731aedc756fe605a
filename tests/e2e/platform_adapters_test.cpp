// SPDX-License-Identifier: GPL-3.0-or-later
// The key sender and the screen-reader route against a real X display and session bus, in the
// cases the end-to-end suite cannot reach: it sees the hot-key reach the window, the newest
// controller hear every text, and start-up without any controller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/DBusScreenReader.h"
#include "platform/X11KeySender.h"
#include "speech/Voice.h"

namespace skycall {
namespace {

TEST(X11KeySender, RefusesKeysOutsideTheHotKeyAndFailsWithoutADisplay) {
  for (int vk : {0, 9, 65, 85, 233})
    EXPECT_THROW(createKeySender()->keybd_event(vk, 0), SpeechError) << vk;
  const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", ":4711", 1);
  const auto sender = createKeySender();
  for (int flags : {0, 0, KeySender::kKeyUp})
    EXPECT_THROW(sender->keybd_event(17, flags), SpeechError);
  setenv("DISPLAY", display.c_str(), 1);
}

struct Controller {
  QString service, path;
};
const Controller kOrca1{"org.gnome.Orca1.Service", "/org/gnome/Orca1/Service"};
const Controller kOrca{"org.gnome.Orca.Service", "/org/gnome/Orca/Service"};

// A stand-in screen reader on the private session bus that records what it is told.
class StandInScreenReader {
 public:
  StandInScreenReader(const Controller& controller, const QString& folder)
      : service_(controller.service), record_(folder + "/" + controller.service) {
    process_.start("/usr/bin/python3", {SKYCALL_E2E_DIR "/harness/present_message_service.py",
                                        service_, controller.path, service_, record_});
    started_ = process_.waitForReadyRead(10000) && process_.readLine().trimmed() == "ready";
  }
  ~StandInScreenReader() { stop(); }
  bool started() const { return started_; }

  void stop() {
    process_.terminate();
    process_.waitForFinished(5000);
    // The bus drops the name once it sees the connection close.
    QElapsedTimer timer;
    timer.start();
    while (QDBusConnection::sessionBus().interface()->isServiceRegistered(service_) &&
           timer.elapsed() < 5000)
      QThread::msleep(10);
  }

  QByteArray heard() const {
    QFile file(record_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private:
  QString service_, record_;
  QProcess process_;
  bool started_ = false;
};

TEST(DBusScreenReader, SpeaksThroughTheNewestControllerOnTheBusAndFailsWhenItGoes) {
  const struct {
    std::vector<Controller> onBus;
    QString hears;
  } cases[] = {{{kOrca}, kOrca.service}, {{kOrca, kOrca1}, kOrca1.service}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hears.toStdString());
    QTemporaryDir folder;
    std::vector<std::unique_ptr<StandInScreenReader>> readers;
    for (const auto& controller : c.onBus) {
      readers.push_back(std::make_unique<StandInScreenReader>(controller, folder.path()));
      ASSERT_TRUE(readers.back()->started()) << controller.service.toStdString();
    }
    const auto reader = createScreenReader();
    reader->SayString(L"High of 72\u00b0.  It feels like 70.", 0);
    reader->SayString(L"", 0);
    for (std::size_t i = 0; i < readers.size(); ++i)
      EXPECT_EQ(
          readers[i]->heard().toStdString(),
          c.onBus[i].service == c.hears ? "\"High of 72\\u00b0.  It feels like 70.\"\n\"\"\n" : "")
          << c.onBus[i].service.toStdString();
    // A call that fails is the router's to ignore; here it must show as a failure.
    for (auto& standIn : readers) standIn->stop();
    EXPECT_THROW(reader->SayString(L"Jaws", 0), SpeechError);
  }
}

}  // namespace
}  // namespace skycall

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
