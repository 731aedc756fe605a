#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <ctime>

#include "integration/RecordingEvents.h"
#include "platform/QtWindow.h"
#include "speech/Voice.h"

namespace skycall {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// Pumps events until done() holds or the time is up.
template <typename Done>
bool pumpUntil(Done done, std::chrono::milliseconds limit = 2000ms) {
  const auto until = SteadyClock::now() + limit;
  while (!done() && SteadyClock::now() < until) QTest::qWait(10);
  return done();
}

class QtWindowTest : public ::testing::Test {
 protected:
  QtWindowTest() { window.setEventHandler(&recorder); }

  std::vector<std::string> ends;
  QtWindow window{[this] { ends.push_back("end"); }};
  testing::RecordingEvents recorder{window};
};

TEST_F(QtWindowTest, HolderTickEndsAHoldOfHalfASecondWithoutSpinning) {
  const auto started = SteadyClock::now();
  const std::clock_t processorStart = std::clock();
  window.setHolderEnabled(true);
  window.setHolderInterval(500);
  while (window.holderInterval() > 0) window.waitForEvents();
  window.setHolderEnabled(false);
  const double processorSeconds = double(std::clock() - processorStart) / CLOCKS_PER_SEC;
  const auto waited = SteadyClock::now() - started;

  EXPECT_EQ(recorder.ticks, 1);
  EXPECT_GE(waited, 490ms);
  EXPECT_LT(waited, 1000ms);
  EXPECT_LT(processorSeconds, 0.1) << "the hold spins instead of sleeping";
}

TEST_F(QtWindowTest, HolderStaysSilentUnlessEnabledWithAnInterval) {
  struct Case {
    bool enabled;
    int interval;
  };
  for (const Case c : {Case{true, 0}, Case{false, 50}}) {
    window.setHolderEnabled(c.enabled);
    window.setHolderInterval(c.interval);
    QTest::qWait(250);
    EXPECT_EQ(recorder.ticks, 0) << c.enabled << " " << c.interval;
  }
  // Switching off a running timer stops it too.
  window.setHolderEnabled(true);
  window.setHolderEnabled(false);
  QTest::qWait(150);
  EXPECT_EQ(recorder.ticks, 0);
}

TEST_F(QtWindowTest, HolderRefusesIntervalsOutsideItsRange) {
  for (int interval : {-1, 65536, 100000})
    EXPECT_THROW(window.setHolderInterval(interval), SpeechError);
  for (int interval : {0, 65535}) {
    EXPECT_NO_THROW(window.setHolderInterval(interval));
    EXPECT_EQ(window.holderInterval(), interval);
  }
}

TEST_F(QtWindowTest, ListRowsAreTheListBoxItems) {
  ForecastList& rows = window.List1();
  rows.append(L"Currently 72\u00b0");
  rows.append(L"Clear");
  rows.insert(1, L"Feels like 75\u00b0");
  rows.append(L"--------");
  rows.remove(3);

  const std::vector<std::wstring> expected = {L"Currently 72\u00b0", L"Feels like 75\u00b0",
                                              L"Clear"};
  ASSERT_EQ(rows.count(), 3);
  ASSERT_EQ(window.listBox().count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rows.row(i), expected[i]);
    EXPECT_EQ(window.listBox().item(i)->text().toStdWString(), expected[i]);
  }
  EXPECT_EQ(rows.row(3), L"");
  EXPECT_EQ(rows.row(-1), L"");
  rows.clear();
  EXPECT_EQ(rows.count(), 0);
  EXPECT_EQ(window.listBox().count(), 0);
}

TEST_F(QtWindowTest, ShowingTheWindowActivatesItAndEscMinimises) {
  window.showAndActivate();
  ASSERT_TRUE(pumpUntil([&] { return recorder.count("activate") > 0; }));
  EXPECT_TRUE(window.isActiveWindow());
  EXPECT_EQ(recorder.count("activate"), 1);
  window.minimize();
  EXPECT_TRUE(pumpUntil([&] { return window.isMinimized(); }));
}

TEST_F(QtWindowTest, ResizeIsReportedAndClosingUnloadsThenEnds) {
  window.show();
  window.resize(window.width() + 40, window.height());
  EXPECT_TRUE(pumpUntil([&] { return recorder.count("resize") > 0; }));
  window.close();
  EXPECT_EQ(recorder.count("unload"), 1);
  EXPECT_EQ(ends.size(), 1u);
}

TEST_F(QtWindowTest, LocationBoxGetsItsOwnKeysAndReturnsTheAnswer) {
  struct Case {
    std::wstring defaultText;
    QString typed;
    Qt::Key finish;
    std::wstring answer;
  };
  const std::vector<Case> cases = {
      {L"", "Boston MA", Qt::Key_Return, L"Boston MA"},
      {L"02134", "", Qt::Key_Return, L"02134"},
      {L"", "Boston", Qt::Key_Escape, L""},
  };
  window.showAndActivate();
  for (const auto& c : cases) {
    QString title;
    bool boxFound = false;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      auto* field = box ? box->findChild<QLineEdit*>() : nullptr;
      if (!field) return;
      boxFound = true;
      title = box->windowTitle();
      QTest::keyClicks(field, c.typed);
      QTest::keyClick(field, c.finish);
    });
    const std::wstring answer =
        window.inputBox(L"Enter your zip code or type the city and state you wish to know about.",
                        L"Location", c.defaultText);
    ASSERT_TRUE(boxFound);
    EXPECT_EQ(title, "Location");
    EXPECT_EQ(answer, c.answer);
  }
  EXPECT_TRUE(recorder.keys.empty()) << "keys typed into the location box reached the window";
}

}  // namespace
}  // namespace skycall
