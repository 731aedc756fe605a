// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "integration/RecordingEvents.h"
#include "platform/KeyCodes.h"
#include "platform/QtWindow.h"

namespace skycall {
namespace {

using Keys = std::vector<std::pair<int, int>>;

// The window shown and active, its list box focused on the middle one of three rows.
class KeyDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* row : {L"alpha", L"bravo", L"charlie"}) window.List1().append(row);
    window.showAndActivate();
    window.listBox().setFocus();
    window.listBox().setCurrentRow(1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(QApplication::focusWidget(), &window.listBox());
  }

  // A key-down (or its auto-repeat) and a key-up, as the window system delivers them.
  void send(Qt::Key key, Qt::KeyboardModifiers modifiers, bool down = true, bool repeat = false) {
    QTest::simulateEvent(&window.listBox(), down, key, modifiers, QString(), repeat);
  }
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    send(key, modifiers);
    send(key, modifiers, false);
  }

  QtWindow window{[] {}};
  testing::RecordingEvents recorder{window};
};

TEST_F(KeyDeliveryTest, EveryKeyDownReachesTheHandlerBeforeTheListBox) {
  const std::tuple<Qt::Key, Qt::KeyboardModifiers, int, int> cases[] = {
      {Qt::Key_Tab, Qt::NoModifier, 9, 0},
      {Qt::Key_Backtab, Qt::ShiftModifier, 9, 1},
      {Qt::Key_Down, Qt::NoModifier, 40, 0},
      {Qt::Key_Up, Qt::NoModifier, 38, 0},
      {Qt::Key_Return, Qt::NoModifier, 13, 0},
      {Qt::Key_Enter, Qt::KeypadModifier, 13, 0},
      {Qt::Key_PageUp, Qt::NoModifier, 33, 0},
      {Qt::Key_PageDown, Qt::NoModifier, 34, 0},
      {Qt::Key_Escape, Qt::ShiftModifier, 27, 1},
      {Qt::Key_Escape, Qt::ControlModifier, 27, 2},
      // A modifier key comes with the modifiers held before it went down, and its own.
      {Qt::Key_Control, Qt::ShiftModifier, 17, 3},
      {Qt::Key_Shift, Qt::NoModifier, 16, 1},
      {Qt::Key_Alt, Qt::NoModifier, 18, 4},
      {Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier, 84, 3},
      {Qt::Key_5, Qt::KeypadModifier, 101, 0},
      {Qt::Key_Exclam, Qt::ShiftModifier, 49, 1},
      {Qt::Key_Semicolon, Qt::NoModifier, 186, 0},
      {Qt::Key_Eacute, Qt::NoModifier, kNoVirtualKey, 0}};
  for (const auto& [key, modifiers, vk, mask] : cases) {
    SCOPED_TRACE(QTest::toString(QKeySequence(key | modifiers)));
    recorder.keys.clear();
    press(key, modifiers);
    EXPECT_EQ(recorder.keys, (Keys{{vk, mask}}));
    EXPECT_EQ(window.listBox().currentRow(), 1);
    EXPECT_EQ(QApplication::focusWidget(), &window.listBox());
  }
}

// Auto-repeats count as key-downs, releases as nothing; a chord's modifiers arrive first with
// the growing mask; with the focus elsewhere the keys still come.
TEST_F(KeyDeliveryTest, RepeatsChordsAndKeysWithoutFocus) {
  for (bool repeat : {false, true, true}) send(Qt::Key_Down, Qt::NoModifier, true, repeat);
  send(Qt::Key_Down, Qt::NoModifier, false);
  EXPECT_EQ(recorder.keys, (Keys(3, {40, 0})));
  EXPECT_EQ(window.listBox().currentRow(), 1);
  recorder.keys.clear();
  QTest::keyClick(&window.listBox(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(recorder.keys, (Keys{{16, 1}, {17, 3}, {84, 3}}));
  recorder.keys.clear();
  window.listBox().clearFocus();
  QTest::keyClick(&window, Qt::Key_Down);
  EXPECT_EQ(recorder.keys, (Keys{{40, 0}}));
}

// The hot-key the program sends itself may arrive after its guard is down; the window drops
// it whenever it comes, and only it, and forgets presses that never arrive.
TEST_F(KeyDeliveryTest, OwnSynthesisedKeysAreDroppedWheneverTheyArrive) {
  SynthesisedKeys own;
  window.setSynthesisedKeys(&own);
  for (int vk : {17, 16, 84}) own.pressed(vk);
  press(Qt::Key_Control);
  press(Qt::Key_Shift, Qt::ControlModifier);
  press(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(recorder.keys.empty());
  press(Qt::Key_Control);  // the user's own Ctrl
  EXPECT_EQ(recorder.keys, (Keys{{17, 2}}));

  const auto t0 = SynthesisedKeys::Clock::now();
  own.pressed(17, t0);
  own.pressed(17, t0);
  EXPECT_FALSE(own.takeOwn(84, t0));
  EXPECT_TRUE(own.takeOwn(17, t0 + std::chrono::milliseconds(999)));
  EXPECT_FALSE(own.takeOwn(17, t0 + SynthesisedKeys::kLifetime));
}

}  // namespace
}  // namespace skycall
