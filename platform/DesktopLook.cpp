// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopLook.h"

#include <QApplication>
#include <QPalette>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace skycall {

namespace {

// gsettings answers in milliseconds; one that hangs must not hold the start up.
constexpr int kSettingTimeoutMs = 1000;

constexpr double kLegibleContrast = 7.0;  // the guidelines' enhanced level
constexpr double kLargeTypeFactor = 2.25;

void askSetting(QProcess& gsettings, const QString& schema, const QString& key) {
  gsettings.start(QStringLiteral("gsettings"), {QStringLiteral("get"), schema, key});
}

// What gsettings printed, or nothing when it could not be run, failed or hung.
QString answer(QProcess& gsettings) {
  if (!gsettings.waitForFinished(kSettingTimeoutMs) ||
      gsettings.exitStatus() != QProcess::NormalExit || gsettings.exitCode() != 0) {
    gsettings.kill();
    return {};
  }
  return QString::fromUtf8(gsettings.readAllStandardOutput()).trimmed();
}

// One palette for every state of a control, so that no text is ever greyed below the contrast
// asked for; selected rows in the highlight colours given.
QPalette palette(const QColor& text, const QColor& background, const QColor& control,
                 const QColor& highlight, const QColor& highlightedText) {
  QPalette p(text, control, control.lighter(130), control.darker(130), control.darker(110), text,
             text, background, background);
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::HighlightedText, highlightedText);
  p.setColor(QPalette::ToolTipBase, background);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, text);
  return p;
}

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

DesktopLook readDesktopLook() {
  QProcess highContrast, scheme;
  askSetting(highContrast, QStringLiteral("org.gnome.desktop.a11y.interface"),
             QStringLiteral("high-contrast"));
  askSetting(scheme, QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("color-scheme"));
  return {answer(highContrast) == QStringLiteral("true"),
          answer(scheme) == QStringLiteral("'prefer-dark'")};
}

void applyDesktopLook(const DesktopLook& look) {
  const QColor black(Qt::black), white(Qt::white);
  if (look.highContrast && look.dark)
    QApplication::setPalette(palette(white, black, black, white, black));
  else if (look.highContrast)
    QApplication::setPalette(palette(black, white, white, black, white));
  else if (look.dark)
    // Light grey on near black, 16:1 (13:1 on buttons); selected rows white on deep blue, 8:1.
    QApplication::setPalette(palette(QColor(0xf0, 0xf0, 0xf0), QColor(0x14, 0x14, 0x14),
                                     QColor(0x24, 0x24, 0x24), QColor(0x1c, 0x4f, 0x82), white));
}

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
