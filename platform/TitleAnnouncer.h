// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace skycall {

// Tells the screen reader that a window's title has changed, the way it reads it best.
//
// Qt up to 6.7 sends the accessible-name change with an object reference where the new name
// belongs; Orca 43 fails to speak the first such change and drops every later one as equal to
// it. So, while the accessibility bus is up, the change is announced here with the title as a
// string, on Qt's own accessibility connection. From Qt 6.8 on, Qt's bridge sends the string
// itself and its own event is used, so that no title is announced twice; but a title that comes
// back after a blank was added to it reaches Orca 48 as no change at all, so that one is
// announced as such.
//
// spoken: what the screen reader is given as the new name; window->windowTitle() stays what
// the window shows. repeated: the title is the one before its interim blank.
void announceTitle(QWidget* window, const QString& spoken, bool repeated);

// Sends text as an announcement from the window on the accessibility bus, which a screen
// reader that listens for announcements speaks as it comes, the same text again each time.
// False when it cannot be sent.
bool announce(QWidget* window, const QString& text);

// Points magnifiers at a widget: they follow an object that becomes selected as they follow the
// focus, to its place on the screen. A screen reader takes no note of it from an object that
// does not hold the focus. False when it cannot be sent.
bool pointMagnifiersAt(QWidget* widget);

}  // namespace skycall
