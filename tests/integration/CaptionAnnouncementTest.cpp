#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <cstdlib>

#include "platform/QtWindow.h"

// Qt tells a screen reader nothing unless an accessibility bus is listening, so this suite runs
// on a real X display with a private session and accessibility bus (with-accessibility-bus.sh).

namespace skycall {
namespace {

// What a screen reader hears of the window: the name of every NameChanged event it is sent.
std::vector<std::wstring> heardNames;
void hearNameChanges(QAccessibleEvent* event) {
  if (event->type() == QAccessible::NameChanged && event->accessibleInterface())
    heardNames.push_back(event->accessibleInterface()->text(QAccessible::Name).toStdWString());
}

TEST(CaptionAnnouncement, EveryCaptionWriteIsAnnouncedWithTheNewName) {
  QtWindow window{[] {}};
  window.showAndActivate();
  for (int waited = 0; waited < 250 && !QAccessible::isActive(); ++waited) QTest::qWait(20);
  if (!QAccessible::isActive()) {
    if (std::getenv("SKYCALL_ACCESSIBILITY_REQUIRED")) FAIL() << "no accessibility bus came up";
    GTEST_SKIP() << "no accessibility bus listens";
  }
  const auto previous = QAccessible::installUpdateHandler(hearNameChanges);
  const std::vector<std::wstring> captions = {L"Skycall (v0.3b) by Korvel", L"Sapi on", L"Sapi on ",
                                              L"High of 72\u00b0", L""};
  for (const auto& caption : captions) {
    window.setCaption(caption);
    EXPECT_EQ(window.caption(), caption);
  }
  QAccessible::installUpdateHandler(previous);
  EXPECT_EQ(heardNames, captions);
}

}  // namespace
}  // namespace skycall
