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
// itself and its own event is used, so that no title is announced twice.
//
// spoken: what the screen reader is given as the new name; window->windowTitle() stays what
// the window shows.
void announceTitle(QWidget* window, const QString& spoken);

}  // namespace skycall
