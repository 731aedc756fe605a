// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt window offscreen: its list box, Holder timer, location box, and the key-downs its
// handler gets (the key table in keys.txt); and the system clock's weekday.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <clocale>
#include <ctime>
#include <sstream>

#include "fakes/Fixtures.h"
#include "platform/QtWindow.h"
#include "platform/SystemClock.h"
#include "speech/Hold.h"

namespace skycall {
namespace {

using namespace std::chrono;

// The window shown, its list box on the first of three rows; the fixture is its event
// handler, and a tick ends the hold as the program's own handler does. Key-downs are written
// down as keys.txt writes them, "code/mask ".
class QtWindowTest : public ::testing::Test, public WindowEvents {
 protected:
  void SetUp() override {
    window.setEventHandler(this);
    for (const wchar_t* row : {L"alpha", L"bravo", L"charlie"}) window.List1().append(row);
    window.showAndActivate();
  }
  void Form_Activate() override { ++activations; }
  void Form_KeyDown(std::int16_t& vk, std::int16_t s) override { keys << vk << '/' << s << ' '; }
  void Holder_Timer() override { ++ticks, holderTick(window); }
  void Form_Resize() override {}
  void Form_Unload() override { ++unloads; }

  int ends = 0, activations = 0, ticks = 0, unloads = 0;
  QtWindow window{[this] { ++ends; }};
  std::ostringstream keys;
};

// Disabled, the Holder never ticks; a hold sleeps, not spins, until its one tick.
TEST_F(QtWindowTest, HolderTicksOnlyWhenEnabledAndAHoldSleepsUntilTheTick) {
  window.setHolderInterval(50);
  QTest::qWait(200);
  const auto started = steady_clock::now();
  const std::clock_t processorStart = std::clock();
  hold(0.5, window);
  EXPECT_LT(double(std::clock() - processorStart) / CLOCKS_PER_SEC, 0.1) << "the hold spins";
  EXPECT_GE(steady_clock::now() - started, 490ms);
  EXPECT_EQ(ticks, 1);
}

// Rows are the list box's items, none outside them; the list keeps its size (5130 twips at 96
// dots an inch) below the large text. The topic's rows stay selected as rows are rewritten, and
// the current row where it is. Cleared, the list is empty; the window is activated once; closing
// it unloads the form and ends the program.
TEST_F(QtWindowTest, ListRowsAndTheWindowsLife) {
  ForecastList& rows = window.List1();
  window.showTopicRows({1, 3});
  for (const wchar_t* row : {L"Feels like 75\u00b0", L"--------"}) rows.append(row);
  rows.insert(3, L"Currently 72\u00b0");
  rows.remove(5);
  EXPECT_EQ(rows.row(3) + rows.row(4) + rows.row(5) + rows.row(-1),
            L"Currently 72\u00b0Feels like 75\u00b0");
  QList<int> selected;
  for (const QListWidgetItem* item : window.listBox().selectedItems())
    selected.append(window.listBox().row(item));
  std::sort(selected.begin(), selected.end());
  EXPECT_EQ(std::tuple(selected, window.listBox().currentRow()), std::tuple(QList{1, 3}, 0));
  EXPECT_EQ(window.listBox().height(), 342);
  rows.clear();
  ASSERT_TRUE(QTest::qWaitFor([&] { return activations > 0; }));
  window.close();
  EXPECT_EQ(std::tuple(rows.count(), activations, unloads, ends), std::tuple(0, 1, 1, 1));
}

// The location box, titled, keeps its keys from the window's handler; Return answers what the
// field holds, even nothing (the program asks again), Esc no answer (it gives up).
TEST_F(QtWindowTest, LocationBoxGetsItsOwnKeysAndReturnsTheAnswer) {
  const std::tuple<QString, Qt::Key, std::optional<std::wstring>> cases[] = {
      {"Boston MA", Qt::Key_Return, L"Boston MA"},
      {"", Qt::Key_Return, L""},
      {"Boston", Qt::Key_Escape, std::nullopt}};
  for (const auto& [typed, finish, answer] : cases) {
    QTimer::singleShot(0, [&] {
      auto* field = QApplication::activeModalWidget()->findChild<QLineEdit*>();
      EXPECT_EQ(field->window()->windowTitle(), "Location");
      QTest::keyClicks(field, typed);
      QTest::keyClick(field, finish);
    });
    EXPECT_EQ(window.inputBox(L"Zip code or city and state?", L"Location", L""), answer);
  }
  EXPECT_EQ(keys.str(), "");
}

// The key rows of keys.txt: each key-down goes to the handler alone, and the list stays put.
TEST_F(QtWindowTest, EveryKeyDownReachesTheHandlerBeforeTheListBox) {
  for (const fixtures::Line& line : fixtures::lines(fixtures::path("integration/keys.txt"))) {
    const auto row = fixtures::fields(line.text);
    keys.str("");
    QTest::keySequence(&window.listBox(),
                       QKeySequence::fromString(QString::fromUtf8(fixtures::bytes(row[0]))));
    EXPECT_EQ(keys.str(), row[1] + ' ') << line.where;
    EXPECT_EQ(window.listBox().currentRow(), 0) << line.where;
  }
}

// The hot-key the program sends itself may arrive after its guard is down: the window drops it
// whenever it comes, and only it (not the user's auto-repeat, nor the user's keys with the focus
// off the list), and forgets presses that never arrive.
TEST_F(QtWindowTest, TheProgramsOwnHotKeyIsDroppedWheneverItComes) {
  SynthesisedKeys own;
  window.setSynthesisedKeys(&own);
  for (int vk : {17, 16, 84}) own.pressed(vk);
  QTest::keyClick(&window.listBox(), Qt::Key_Down);
  QTest::simulateEvent(&window.listBox(), true, Qt::Key_Down, {}, QString(), true);
  QTest::keyClick(&window.listBox(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  window.listBox().clearFocus();
  QTest::keyClick(&window, Qt::Key_Control);  // the user's own Ctrl
  EXPECT_EQ(keys.str(), "40/0 40/0 17/2 ");
  const auto t0 = SynthesisedKeys::Clock::now();
  own.pressed(17, t0), own.pressed(17, t0);
  EXPECT_TRUE(own.takeOwn(17, t0 + 999ms));
  EXPECT_FALSE(own.takeOwn(17, t0 + SynthesisedKeys::kLifetime));
}

// The clock where the user is, in zones well off UTC: the weekday (Sunday = 1), the next
// midnight (the night daylight saving time begins is 23 hours long) and a time of another day as
// the locale reads the clock, 12 or 24 hours, in English.
TEST(SystemClock, WeekdayMidnightAndTimeAreTheUsers) {
  struct Case {
    const char* zone;
    const char* locale;
    std::time_t at;
    int weekday;
    std::time_t midnight;
    const wchar_t* said;
  };
  const Case cases[] = {
      {"America/Chicago", "C.UTF-8", 1899354600, 1, 1899435600, L"Sunday 12:30 AM"},
      {"America/Chicago", "de_DE.UTF-8", 1899333900, 7, 1899352800, L"Saturday 18:45"},
      {"Pacific/Kiritimati", "C.UTF-8", 1906657500, 2, 1906711200, L"Monday 9:05 AM"},
      {"Etc/GMT+12", "C.UTF-8", 1906707900, 1, 1906718400, L"Sunday 9:05 PM"},
  };
  for (const Case& c : cases) {
    ::setenv("TZ", c.zone, 1);
    ::tzset();
    ASSERT_TRUE(std::setlocale(LC_TIME, c.locale)) << c.locale << " (LOCPATH)";
    const SystemClock clock;
    EXPECT_EQ(clock.weekday(c.at), c.weekday) << c.zone;
    EXPECT_EQ(clock.nextMidnight(c.at), c.midnight) << c.zone;
    EXPECT_EQ(clock.timeOfDay(c.at), c.said) << c.zone;
  }
  std::setlocale(LC_TIME, "C");
}

}  // namespace
}  // namespace skycall

// One application object for the whole run; offscreen unless the run brings a display.
int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
