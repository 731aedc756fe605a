// SPDX-License-Identifier: GPL-3.0-or-later
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

// Pumps events until done() holds or two seconds are up.
template <typename Done>
bool pumpUntil(Done done) {
  const auto until = SteadyClock::now() + 2s;
  while (!done() && SteadyClock::now() < until) QTest::qWait(10);
  return done();
}

class QtWindowTest : public ::testing::Test {
 protected:
  int ends = 0;
  QtWindow window{[this] { ++ends; }};
  testing::RecordingEvents recorder{window};
};

TEST_F(QtWindowTest, HolderTicksOnlyWhenEnabledWithAnIntervalAndAHoldSleeps) {
  for (int interval : {-1, 65536}) EXPECT_THROW(window.setHolderInterval(interval), SpeechError);
  for (const auto& [enabled, interval] : {std::pair(true, 0), std::pair(false, 50)}) {
    window.setHolderEnabled(enabled);
    window.setHolderInterval(interval);
    QTest::qWait(200);
  }
  EXPECT_EQ(recorder.count("tick"), 0);

  const auto started = SteadyClock::now();
  const std::clock_t processorStart = std::clock();
  window.setHolderEnabled(true);
  window.setHolderInterval(500);
  while (window.holderInterval() > 0) window.waitForEvents();
  window.setHolderEnabled(false);
  EXPECT_LT(double(std::clock() - processorStart) / CLOCKS_PER_SEC, 0.1) << "the hold spins";
  EXPECT_EQ(recorder.count("tick"), 1);
  EXPECT_GE(SteadyClock::now() - started, 490ms);
  EXPECT_LT(SteadyClock::now() - started, 1000ms);
  window.setHolderInterval(65535);  // the largest allowed
  EXPECT_EQ(window.holderInterval(), 65535);
}

TEST_F(QtWindowTest, ListRowsAreTheListBoxItems) {
  ForecastList& rows = window.List1();
  for (const wchar_t* row : {L"Currently 72\u00b0", L"Clear", L"--------"}) rows.append(row);
  rows.insert(1, L"Feels like 75\u00b0");
  rows.remove(3);
  const std::vector<std::wstring> expected = {L"Currently 72\u00b0", L"Feels like 75\u00b0",
                                              L"Clear"};
  ASSERT_EQ(window.listBox().count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rows.row(i), expected[i]);
    EXPECT_EQ(window.listBox().item(i)->text().toStdWString(), expected[i]);
  }
  EXPECT_EQ(rows.row(3), L"");
  EXPECT_EQ(rows.row(-1), L"");
  rows.clear();
  EXPECT_EQ(window.listBox().count(), 0);
}

// The program shows the window itself: it is activated once, resized, minimised, and closing
// it unloads the form and ends the program.
TEST_F(QtWindowTest, ShowActivatesOnceThenResizeMinimiseAndClose) {
  window.showAndActivate();
  ASSERT_TRUE(pumpUntil([&] { return recorder.count("activate") > 0; }));
  EXPECT_TRUE(window.isActiveWindow());
  window.resize(window.width() + 40, window.height());
  EXPECT_TRUE(pumpUntil([&] { return recorder.count("resize") > 0; }));
  window.minimize();
  EXPECT_TRUE(pumpUntil([&] { return window.isMinimized(); }));
  EXPECT_EQ(recorder.count("activate"), 1);
  window.close();
  EXPECT_EQ(recorder.count("unload"), 1);
  EXPECT_EQ(ends, 1);
}

TEST_F(QtWindowTest, LocationBoxGetsItsOwnKeysAndReturnsTheAnswer) {
  const std::tuple<std::wstring, QString, Qt::Key, std::wstring> cases[] = {
      {L"", "Boston MA", Qt::Key_Return, L"Boston MA"},
      {L"02134", "", Qt::Key_Return, L"02134"},
      {L"", "Boston", Qt::Key_Escape, L""}};
  window.showAndActivate();
  for (const auto& [defaultText, typed, finish, answer] : cases) {
    QString title;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      auto* field = box ? box->findChild<QLineEdit*>() : nullptr;
      if (!field) return;
      title = box->windowTitle();
      QTest::keyClicks(field, typed);
      QTest::keyClick(field, finish);
    });
    EXPECT_EQ(window.inputBox(L"Enter your zip code or type the city and state you wish to know "
                              L"about.",
                              L"Location", defaultText),
              answer);
    EXPECT_EQ(title, "Location");
  }
  EXPECT_TRUE(recorder.keys.empty()) << "keys typed into the location box reached the window";
}

}  // namespace
}  // namespace skycall
