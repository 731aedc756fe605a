// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>

namespace skycall {

// The desktop's settings for how windows look, as far as Qt does not follow them itself. Its
// text scaling reaches Qt as the X resource Xft.dpi and needs nothing here.
struct DesktopLook {
  bool highContrast = false;
  bool dark = false;
};

// GNOME's high-contrast and colour-scheme settings, asked of the gsettings command so that no
// GTK is linked; both off where there is no gsettings, no such setting, or no answer at once.
DesktopLook readDesktopLook();

// Gives the application the palette the look asks for: every text in high contrast at 7:1 or
// more (black and white, the other way round when dark); dark colours when dark. Otherwise the
// desktop's palette stays.
void applyDesktopLook(const DesktopLook& look);

// text where it stands out at 7:1 or more against background, else black or white, whichever
// stands out more.
QColor legibleOn(const QColor& background, const QColor& text);

// The type of text that is read rather than scanned: a quarter more than twice the size of the
// font given, so that it is still twice as large once the screen has rounded both to whole
// pixels.
QFont largeType(QFont body);

}  // namespace skycall
