// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "interfaces/SpeechError.h"
#include "platform/QtKeyCodes.h"
#include "platform/TitleAnnouncer.h"

namespace skycall {

namespace {

// The list box's place in twips (1/1440 inch), the unit the window was laid out in.
constexpr int kListLeft = 240;
constexpr int kListTop = 840;
constexpr int kListWidth = 12615;
constexpr int kListHeight = 5130;
constexpr int kTwipsPerInch = 1440;

constexpr int kLongestHolderInterval = 65535;

// How long the welcome waits for the window to become active: a session without a window
// manager may never hand it the focus, and the user must still hear that the program runs.
constexpr int kActivationTimeoutMs = 1500;

// How often the Refresher timer ticks: a refresh or an alerts check waits for the next tick.
constexpr int kRefresherIntervalMs = 5000;

// How long a first forecast may keep start-up waiting before the window is shown anyway.
constexpr qint64 kLongestWaitUnshownMs = 3000;

int twipsToPixels(int twips, int dotsPerInch) {
  return (twips * dotsPerInch + kTwipsPerInch / 2) / kTwipsPerInch;
}

void exitAtOnce() {
  // Only the program's own streams: fflush(nullptr) would wait for every stream's lock, one of
  // them held by a thread stuck in a speech-dispatcher that does not answer.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  // Nested event loops (a hold, the location box, a transfer) may be running: leave without
  // unwinding them, or waiting for a thread blocked in a call that never returns.
  std::_Exit(0);
}

}  // namespace

QtWindow::QtWindow(std::function<void()> programEnd)
    : listBox_(new QListWidget), rows_(*listBox_), programEnd_(std::move(programEnd)) {
  if (!programEnd_) programEnd_ = exitAtOnce;

  auto* client = new QWidget(this);
  listBox_->setParent(client);
  listBox_->setAccessibleName(QStringLiteral("Forecast"));
  listBox_->setSelectionMode(QAbstractItemView::SingleSelection);
  followDesktopHighlight();
  setCentralWidget(client);
  placeListBox();
  listBox_->setFocus();

  activationDeadline_.setSingleShot(true);
  connect(&activationDeadline_, &QTimer::timeout, this, [this] {
    activationWanted_ = false;
    if (handler_) handler_->Form_Activate();
  });

  connect(&refresher_, &QTimer::timeout, this, [this] {
    if (handler_) handler_->Refresher_Timer();
  });
  refresher_.start(kRefresherIntervalMs);

  holder_.setTimerType(Qt::PreciseTimer);
  connect(&holder_, &QTimer::timeout, this, [this] {
    if (handler_) handler_->Holder_Timer();
  });

  qApp->installEventFilter(this);
}

QtWindow::~QtWindow() {
  qApp->removeEventFilter(this);
}

void QtWindow::followDesktopHighlight() {
  // The current row is highlighted in the desktop's own colours, as strongly while another
  // window has the focus: many palettes give an unfocused selection a shade barely off white.
  QPalette palette = QApplication::palette(listBox_);
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  listBox_->setPalette(palette);
}

void QtWindow::placeListBox() {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  // The same margin right of and below the list as left of it; never larger than the screen
  // has room for, or the list's scroll bar would lie out of sight.
  const QSize wanted(twipsToPixels(kListLeft + kListWidth + kListLeft, dpiX),
                     twipsToPixels(kListTop + kListHeight + kListLeft, dpiY));
  const QRect room = screen()->availableGeometry();
  resize(wanted.boundedTo(room.size()));
  fitListBox();
}

void QtWindow::fitListBox() {
  // The list keeps its place and size in twips wherever the window leaves room for them.
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  const QRect wanted(twipsToPixels(kListLeft, dpiX), twipsToPixels(kListTop, dpiY),
                     twipsToPixels(kListWidth, dpiX), twipsToPixels(kListHeight, dpiY));
  const QSize room = size();
  const int margin = wanted.left();
  listBox_->setGeometry(
      wanted.left(), wanted.top(),
      std::max(1, std::min(wanted.width(), room.width() - wanted.left() - margin)),
      std::max(1, std::min(wanted.height(), room.height() - wanted.top() - margin)));
}

std::wstring QtWindow::caption() const {
  return windowTitle().toStdWString();
}

void QtWindow::setCaption(const std::wstring& text, bool announced) {
  const QString before = windowTitle();
  const QString title = QString::fromStdWString(text);
  setWindowTitle(title);
  if (!announced) return;
  // A text said twice in a row is first written with a blank appended, so that the title
  // changes. The screen reader is given that interim title as "", which it keeps without a
  // word, and so speaks the text once, when it comes back.
  const bool interim = title == before + QLatin1Char(' ');
  announceTitle(this, interim ? QString() : title, before == title + QLatin1Char(' '));
}

void QtWindow::pumpEvents() {
  QCoreApplication::processEvents();
}

void QtWindow::waitForEvents() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtWindow::pumpWhileTransferring() {
  QCoreApplication::processEvents();
  if (isVisible()) return;
  if (!loading_.isValid()) loading_.start();
  if (loading_.elapsed() < kLongestWaitUnshownMs) return;
  show();
  raise();
  activateWindow();
}

void QtWindow::setHolderEnabled(bool enabled) {
  if (enabled == holderEnabled_) return;
  holderEnabled_ = enabled;
  applyHolder();
}

void QtWindow::setHolderInterval(int milliseconds) {
  if (milliseconds < 0 || milliseconds > kLongestHolderInterval)
    throw SpeechError("Invalid timer interval: " + std::to_string(milliseconds) +
                      " ms is outside 0 to 65535");
  holderInterval_ = milliseconds;
  applyHolder();
}

void QtWindow::applyHolder() {
  // A new interval starts a new count; interval 0 stops the ticks even while enabled.
  if (holderEnabled_ && holderInterval_ > 0)
    holder_.start(holderInterval_);
  else
    holder_.stop();
}

std::optional<std::wstring> QtWindow::inputBox(const std::wstring& prompt,
                                               const std::wstring& title,
                                               const std::wstring& defaultText) {
  QInputDialog box(this);
  box.setObjectName(QString::fromStdWString(title));
  box.setWindowTitle(QString::fromStdWString(title));
  box.setLabelText(QString::fromStdWString(prompt));
  // The screen reader names the field with the question, not just "Location"; the box itself
  // carries no description, or the question would be read twice.
  if (auto* field = box.findChild<QLineEdit*>()) field->setAccessibleName(box.labelText());
  box.setTextValue(QString::fromStdWString(defaultText));
  box.setInputMode(QInputDialog::TextInput);
  box.setWindowModality(Qt::ApplicationModal);
  // Without a window manager nothing else gives the box the keyboard.
  box.show();
  box.raise();
  box.activateWindow();
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue().toStdWString();
}

void QtWindow::showAndActivate() {
  const QRect room = screen()->availableGeometry();
  if (!room.contains(frameGeometry())) move(room.topLeft());
  show();
  raise();
  activateWindow();
  activationWanted_ = true;
  activationDeadline_.start(kActivationTimeoutMs);
  // A window shown while start-up waited may hold the focus already: no activation will come.
  activateOnceFocused();
}

void QtWindow::activateOnceFocused() {
  if (!activationWanted_) return;
  // Keys synthesised before the window holds the keyboard would go to another program.
  if (!isActiveWindow()) return;
  QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr || focus->window() != this) return;
  activationDeadline_.stop();
  activationWanted_ = false;
  if (handler_) handler_->Form_Activate();
}

void QtWindow::minimize() {
  showMinimized();
}

void QtWindow::endProgram() {
  programEnd_();
}

bool QtWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate) {
    // Qt hands the focus to the list only after this event: look once that is done.
    QTimer::singleShot(0, this, &QtWindow::activateOnceFocused);
  } else if (event->type() == QEvent::ApplicationPaletteChange) {
    followDesktopHighlight();
  }
  return handled;
}

void QtWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  fitListBox();
  if (handler_) handler_->Form_Resize();
}

void QtWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (handler_) handler_->Form_Unload();
  endProgram();
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
  // Key-downs for this window or any of its controls, before the control or focus navigation
  // sees them; the location box is a window of its own and keeps its keys.
  if (event->type() != QEvent::KeyPress || !handler_) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  std::int16_t vk = virtualKeyFor(key->key(), key->modifiers());
  if (!key->isAutoRepeat() && ownKeys_ != nullptr && ownKeys_->takeOwn(vk)) {
    event->accept();
    return true;
  }
  event->accept();
  // Handled at once, in a transfer too: the user must never wait on a page for an answer.
  handler_->Form_KeyDown(vk, shiftMaskFor(key->modifiers()));
  return true;
}

}  // namespace skycall
