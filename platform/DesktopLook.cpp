// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopLook.h"

#include <algorithm>
#include <cmath>

namespace skycall {

namespace {

constexpr double kLegibleContrast = 7.0;  // the guidelines' enhanced level
constexpr double kLargeTypeFactor = 2.25;

double luminance(const QColor& c) {
  const auto linear = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// The contrast ratio of two colours as the Web Content Accessibility Guidelines define it,
// from 1 (none) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor legibleOn(const QColor& background, const QColor& text) {
  if (contrastRatio(background, text) >= kLegibleContrast) return text;
  const QColor black(Qt::black), white(Qt::white);
  return contrastRatio(background, black) >= contrastRatio(background, white) ? black : white;
}

QFont largeType(QFont body) {
  if (body.pointSizeF() > 0)
    body.setPointSizeF(body.pointSizeF() * kLargeTypeFactor);
  else
    body.setPixelSize(static_cast<int>(std::lround(body.pixelSize() * kLargeTypeFactor)));
  return body;
}

}  // namespace skycall
