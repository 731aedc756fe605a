// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt window offscreen: its list box, Holder timer, location box, and the key-downs its
// handler gets (the key table in keys.txt); and the system clock's weekday.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <ctime>

#include "fakes/Fixtures.h"
#include "interfaces/SpeechError.h"
#include "platform/QtWindow.h"
#include "platform/SystemClock.h"

namespace skycall {
namespace {

using namespace std::chrono;
using Keys = std::vector<std::pair<int, int>>;  // virtual-key code, shift mask

// The window shown, its list box focused on the middle one of three rows; the fixture is its
// event handler, and a tick ends the hold as the program's own handler does.
class QtWindowTest : public ::testing::Test, public WindowEvents {
 protected:
  void SetUp() override {
    window.setEventHandler(this);
    for (const wchar_t* row : {L"alpha", L"bravo", L"charlie"}) window.List1().append(row);
    window.showAndActivate();
    window.listBox().setFocus();
    window.listBox().setCurrentRow(1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  void Form_Activate() override { ++activations; }
  void Form_KeyDown(std::int16_t& key, std::int16_t shift) override {
    keys.emplace_back(key, shift);
  }
  void Holder_Timer() override { ++ticks, window.setHolderInterval(0); }
  void Form_Resize() override {}
  void Form_Unload() override { ++unloads; }
  // A key-down (or its auto-repeat) and a key-up, as the window system delivers them.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}, bool repeat = false) {
    QTest::simulateEvent(&window.listBox(), true, key, modifiers, QString(), repeat);
    QTest::simulateEvent(&window.listBox(), false, key, modifiers, QString(), false);
  }

  int ends = 0, activations = 0, ticks = 0, unloads = 0;
  QtWindow window{[this] { ++ends; }};
  Keys keys;
};

TEST_F(QtWindowTest, HolderTicksOnlyWhenEnabledWithAnIntervalAndAHoldSleeps) {
  for (int interval : {-1, 65536}) EXPECT_THROW(window.setHolderInterval(interval), SpeechError);
  for (const auto& [enabled, interval] : {std::pair(true, 0), std::pair(false, 50)}) {
    window.setHolderEnabled(enabled);
    window.setHolderInterval(interval);
    QTest::qWait(200);
  }
  EXPECT_EQ(ticks, 0);
  const auto started = steady_clock::now();
  const std::clock_t processorStart = std::clock();
  window.setHolderEnabled(true);
  window.setHolderInterval(500);
  while (window.holderInterval() > 0) window.waitForEvents();
  EXPECT_LT(double(std::clock() - processorStart) / CLOCKS_PER_SEC, 0.1) << "the hold spins";
  EXPECT_EQ(ticks, 1);
  EXPECT_GE(steady_clock::now() - started, 490ms);
  EXPECT_LT(steady_clock::now() - started, 1000ms);
  window.setHolderEnabled(false);
  window.setHolderInterval(65535);  // the largest allowed
  EXPECT_EQ(window.holderInterval(), 65535);
}

// Rows are the list box's items; the list keeps its size (5130 twips at 96 dots an inch) with
// a margin below it. The window is activated once; minimised, and closing it unloads
// the form and ends the program.
TEST_F(QtWindowTest, ListRowsAndTheWindowsLife) {
  ForecastList& rows = window.List1();
  for (const wchar_t* row : {L"Feels like 75\u00b0", L"--------"}) rows.append(row);
  rows.insert(3, L"Currently 72\u00b0");
  rows.remove(5);
  ASSERT_EQ(window.listBox().count(), 5);
  EXPECT_EQ(window.listBox().item(3)->text().toStdWString(), L"Currently 72\u00b0");
  EXPECT_EQ(rows.row(4) + rows.row(5) + rows.row(-1), L"Feels like 75\u00b0");
  EXPECT_EQ(window.listBox().height(), 342);
  rows.clear();
  EXPECT_EQ(window.listBox().count(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return activations > 0; }));
  window.minimize();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.isMinimized(); }));
  window.close();
  EXPECT_EQ(std::tuple(activations, unloads, ends), std::tuple(1, 1, 1));
}

TEST_F(QtWindowTest, LocationBoxGetsItsOwnKeysAndReturnsTheAnswer) {
  const std::tuple<std::wstring, QString, Qt::Key, std::optional<std::wstring>> cases[] = {
      {L"", "Boston MA", Qt::Key_Return, L"Boston MA"},
      {L"02134", "", Qt::Key_Return, L"02134"},
      {L"", "", Qt::Key_Return, L""},
      {L"", "Boston", Qt::Key_Escape, std::nullopt}};
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
    EXPECT_EQ(window.inputBox(L"Enter your zip code or type the city and state.", L"Location",
                              defaultText),
              answer);
    EXPECT_EQ(title, "Location");
  }
  EXPECT_TRUE(keys.empty()) << "keys typed into the location box reached the window";
}

// The keys of keys.txt one by one. Auto-repeats count as key-downs, releases as nothing; a chord's
// modifiers arrive first with the growing mask; with the focus elsewhere the keys still come. The
// hot-key the program sends itself may arrive after its guard is down: the window drops it whenever
// it comes, and only it, and forgets presses that never arrive.
TEST_F(QtWindowTest, EveryKeyDownReachesTheHandlerBeforeTheListBox) {
  for (const fixtures::Line& line : fixtures::lines(fixtures::path("integration/keys.txt"))) {
    SCOPED_TRACE(line.where);
    const auto row = fixtures::fields(line.text);
    const auto typed = QString::fromUtf8(fixtures::bytes(row[0]));
    const QKeyCombination key = QKeySequence::fromString(typed)[0];
    keys.clear();
    press(key.key(), key.keyboardModifiers());
    EXPECT_EQ(keys, (Keys{{std::stoi(row[1]), std::stoi(row[2])}}));
    EXPECT_EQ(window.listBox().currentRow(), 1);
    EXPECT_EQ(QApplication::focusWidget(), &window.listBox());
  }
  keys.clear();
  press(Qt::Key_Down);
  press(Qt::Key_Down, {}, true);
  QTest::keyClick(&window.listBox(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  window.listBox().clearFocus();
  QTest::keyClick(&window, Qt::Key_Up);
  EXPECT_EQ(keys, (Keys{{40, 0}, {40, 0}, {16, 1}, {17, 3}, {84, 3}, {38, 0}}));
  EXPECT_EQ(window.listBox().currentRow(), 1);

  keys.clear();
  SynthesisedKeys own;
  window.setSynthesisedKeys(&own);
  for (int vk : {17, 16, 84}) own.pressed(vk);
  press(Qt::Key_Control);
  press(Qt::Key_Shift, Qt::ControlModifier);
  press(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  press(Qt::Key_Control);  // the user's own Ctrl
  EXPECT_EQ(keys, (Keys{{17, 2}}));
  const auto t0 = SynthesisedKeys::Clock::now();
  own.pressed(17, t0);
  own.pressed(17, t0);
  EXPECT_FALSE(own.takeOwn(84, t0));
  EXPECT_TRUE(own.takeOwn(17, t0 + 999ms));
  EXPECT_FALSE(own.takeOwn(17, t0 + SynthesisedKeys::kLifetime));
}

// The weekday where the user is, Sunday = 1, also where it is already tomorrow or still
// yesterday in UTC.
TEST(SystemClock, WeekdayIsTodaysHere) {
  for (const char* zone : {"UTC", "Pacific/Kiritimati", "Etc/GMT+12"}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm here{};
    ::localtime_r(&now, &here);
    EXPECT_EQ(SystemClock().weekday(), here.tm_wday + 1) << zone;
  }
  ::unsetenv("TZ");
  ::tzset();
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
