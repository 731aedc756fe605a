#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "integration/RecordingEvents.h"
#include "platform/KeyCodes.h"
#include "platform/QtWindow.h"

namespace skycall {
namespace {

// The window shown and active, its list box focused on the middle one of three rows.
class KeyDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.setEventHandler(&recorder);
    for (const wchar_t* row : {L"alpha", L"bravo", L"charlie"}) window.List1().append(row);
    window.showAndActivate();
    QTest::qWait(20);
    window.listBox().setFocus();
    window.listBox().setCurrentRow(1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(QApplication::focusWidget(), &window.listBox());
  }

  // One key-down and its key-up, as the window system delivers them to the focused list box.
  void pressAndRelease(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::simulateEvent(&window.listBox(), true, key, modifiers, QString(), false);
    QTest::simulateEvent(&window.listBox(), false, key, modifiers, QString(), false);
  }

  QtWindow window{[] {}};
  testing::RecordingEvents recorder{window};
};

struct KeyCase {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  int vk;
  int mask;
};

TEST_F(KeyDeliveryTest, EveryKeyDownReachesTheHandlerBeforeTheListBox) {
  const std::vector<KeyCase> cases = {
      {Qt::Key_Tab, Qt::NoModifier, 9, 0},
      {Qt::Key_Backtab, Qt::ShiftModifier, 9, 1},
      {Qt::Key_Down, Qt::NoModifier, 40, 0},
      {Qt::Key_Up, Qt::NoModifier, 38, 0},
      {Qt::Key_Left, Qt::NoModifier, 37, 0},
      {Qt::Key_Right, Qt::NoModifier, 39, 0},
      {Qt::Key_Home, Qt::NoModifier, 36, 0},
      {Qt::Key_Return, Qt::NoModifier, 13, 0},
      {Qt::Key_Enter, Qt::KeypadModifier, 13, 0},
      {Qt::Key_PageUp, Qt::NoModifier, 33, 0},
      {Qt::Key_PageDown, Qt::NoModifier, 34, 0},
      {Qt::Key_Escape, Qt::NoModifier, 27, 0},
      {Qt::Key_Escape, Qt::ShiftModifier, 27, 1},
      {Qt::Key_Escape, Qt::ControlModifier, 27, 2},
      // The window system reports a modifier key with the modifiers held before it went down.
      {Qt::Key_Control, Qt::NoModifier, 17, 2},
      {Qt::Key_Control, Qt::ShiftModifier, 17, 3},
      {Qt::Key_Shift, Qt::NoModifier, 16, 1},
      {Qt::Key_Alt, Qt::NoModifier, 18, 4},
      {Qt::Key_C, Qt::NoModifier, 67, 0},
      {Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier, 84, 3},
      {Qt::Key_5, Qt::NoModifier, 53, 0},
      {Qt::Key_5, Qt::KeypadModifier, 101, 0},
      {Qt::Key_Exclam, Qt::ShiftModifier, 49, 1},
      {Qt::Key_Semicolon, Qt::NoModifier, 186, 0},
      {Qt::Key_Question, Qt::ShiftModifier, 191, 1},
      {Qt::Key_F12, Qt::NoModifier, 123, 0},
      {Qt::Key_Eacute, Qt::NoModifier, kNoVirtualKey, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(QTest::toString(QKeySequence(c.key | c.modifiers)));
    recorder.keys.clear();
    pressAndRelease(c.key, c.modifiers);
    EXPECT_EQ(recorder.keys, (std::vector<std::pair<int, int>>{{c.vk, c.mask}}));
    EXPECT_EQ(window.listBox().currentRow(), 1);
    EXPECT_EQ(QApplication::focusWidget(), &window.listBox());
  }
}

TEST_F(KeyDeliveryTest, ModifiersHeldForAKeyArriveFirstWithTheGrowingMask) {
  QTest::keyClick(&window.listBox(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(recorder.keys, (std::vector<std::pair<int, int>>{{16, 1}, {17, 3}, {84, 3}}));
}

TEST_F(KeyDeliveryTest, RepeatsCountAsKeyDownsAndReleasesDoNothing) {
  for (bool repeat : {false, true, true})
    QTest::simulateEvent(&window.listBox(), true, Qt::Key_Down, Qt::NoModifier, QString(), repeat);
  QTest::simulateEvent(&window.listBox(), false, Qt::Key_Down, Qt::NoModifier, QString(), false);
  EXPECT_EQ(recorder.keys, (std::vector<std::pair<int, int>>(3, {40, 0})));
  EXPECT_EQ(window.listBox().currentRow(), 1);
}

TEST_F(KeyDeliveryTest, KeysReachTheHandlerWhateverHoldsTheFocus) {
  window.listBox().clearFocus();
  QTest::keyClick(&window, Qt::Key_Down);
  EXPECT_EQ(recorder.keys, (std::vector<std::pair<int, int>>{{40, 0}}));
}

}  // namespace
}  // namespace skycall

namespace skycall {
namespace {

// The hot-key the program sends itself may arrive after its guard is down; the window drops
// it whenever it comes, and only it.
TEST_F(KeyDeliveryTest, OwnSynthesisedKeysAreDroppedWheneverTheyArrive) {
  SynthesisedKeys own;
  window.setSynthesisedKeys(&own);
  for (int vk : {17, 16, 84}) own.pressed(vk);
  pressAndRelease(Qt::Key_Control, Qt::NoModifier);
  pressAndRelease(Qt::Key_Shift, Qt::ControlModifier);
  pressAndRelease(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(recorder.keys.empty());
  pressAndRelease(Qt::Key_Control, Qt::NoModifier);  // the user's own Ctrl
  EXPECT_EQ(recorder.keys, (std::vector<std::pair<int, int>>{{17, 2}}));
}

TEST(SynthesisedKeys, ForgetsPressesThatNeverArrive) {
  SynthesisedKeys own;
  const auto t0 = SynthesisedKeys::Clock::now();
  own.pressed(17, t0);
  own.pressed(17, t0);
  EXPECT_FALSE(own.takeOwn(84, t0));
  EXPECT_TRUE(own.takeOwn(17, t0 + std::chrono::milliseconds(999)));
  EXPECT_FALSE(own.takeOwn(17, t0 + SynthesisedKeys::kLifetime));
}

}  // namespace
}  // namespace skycall
