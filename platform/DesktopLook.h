// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>

namespace skycall {

// text where it stands out at 7:1 or more against background, else black or white, whichever
// stands out more.
QColor legibleOn(const QColor& background, const QColor& text);

// The type of text that is read rather than scanned: a quarter more than twice the size of the
// font given, so that it is still twice as large once the screen has rounded both to whole
// pixels.
QFont largeType(QFont body);

}  // namespace skycall
