#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <string>
#include <vector>

#include "platform/DBusScreenReader.h"
#include "speech/Voice.h"

namespace skycall {
namespace {

struct Controller {
  const char* service;
  const char* path;
};

constexpr Controller kOrca1{"org.gnome.Orca1.Service", "/org/gnome/Orca1/Service"};
constexpr Controller kOrca{"org.gnome.Orca.Service", "/org/gnome/Orca/Service"};

bool nameOwned(const char* service) {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(
      QString::fromLatin1(service));
}

// A stand-in screen reader on the private session bus that records what it is told.
class StandInScreenReader {
 public:
  StandInScreenReader(const Controller& controller, const QString& folder)
      : controller_(controller), record_(folder + "/" + controller.service + ".txt") {
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(SKYCALL_E2E_DIR "/harness/present_message_service.py"),
                    QString::fromLatin1(controller.service), QString::fromLatin1(controller.path),
                    QString::fromLatin1(controller.service), record_});
    started_ = process_.waitForReadyRead(10000) && process_.readLine().trimmed() == "ready";
  }
  ~StandInScreenReader() { stop(); }

  bool started() const { return started_; }

  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    process_.waitForFinished(5000);
    // The bus drops the name once it sees the connection close.
    QElapsedTimer timer;
    timer.start();
    while (nameOwned(controller_.service) && timer.elapsed() < 5000) QThread::msleep(10);
  }

  QStringList heard() const {
    QFile file(record_);
    QStringList texts;
    if (!file.open(QIODevice::ReadOnly)) return texts;
    for (const QByteArray& line : file.readAll().split('\n'))
      if (!line.isEmpty()) texts << QString::fromUtf8(line);
    return texts;
  }

 private:
  Controller controller_;
  QString record_;
  QProcess process_;
  bool started_ = false;
};

TEST(DBusScreenReader, NoneOnTheBusFailsWithAMessageForTheLog) {
  ASSERT_FALSE(nameOwned(kOrca1.service));
  ASSERT_FALSE(nameOwned(kOrca.service));
  try {
    createScreenReader();
    FAIL() << "created a screen reader with none on the bus";
  } catch (const SpeechError& e) {
    EXPECT_NE(std::string(e.what()).find("org.gnome.Orca1.Service"), std::string::npos) << e.what();
  }
}

struct RouteCase {
  std::vector<Controller> onBus;
  const char* expectedService;
};

TEST(DBusScreenReader, SpeaksThroughTheNewestControllerOnTheBus) {
  const RouteCase cases[] = {
      {{kOrca1}, kOrca1.service},
      {{kOrca}, kOrca.service},
      {{kOrca, kOrca1}, kOrca1.service},
  };
  for (const auto& route : cases) {
    QTemporaryDir folder;
    std::vector<std::unique_ptr<StandInScreenReader>> readers;
    for (const auto& controller : route.onBus) {
      readers.push_back(std::make_unique<StandInScreenReader>(controller, folder.path()));
      ASSERT_TRUE(readers.back()->started()) << controller.service;
    }
    const auto reader = createScreenReader();
    reader->SayString(L"High of 72\u00b0.  It feels like 70.", 0);
    reader->SayString(L"", 0);
    for (std::size_t i = 0; i < readers.size(); ++i) {
      const bool expected = std::string(route.onBus[i].service) == route.expectedService;
      const QStringList want =
          expected ? QStringList{QStringLiteral("\"High of 72\\u00b0.  It feels like 70.\""),
                                 QStringLiteral("\"\"")}
                   : QStringList{};
      EXPECT_EQ(readers[i]->heard(), want) << route.onBus[i].service;
    }
  }
}

TEST(DBusScreenReader, AFailedCallThrows) {
  QTemporaryDir folder;
  StandInScreenReader standIn(kOrca1, folder.path());
  ASSERT_TRUE(standIn.started());
  const auto reader = createScreenReader();
  standIn.stop();
  EXPECT_THROW(reader->SayString(L"Jaws", 0), SpeechError);
}

}  // namespace
}  // namespace skycall

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
