#include "platform/QtWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/KeyCodes.h"
#include "speech/Voice.h"

namespace skycall {

namespace {

// The list box's place in twips (1/1440 inch), the unit the window was laid out in.
constexpr int kListLeft = 240;
constexpr int kListTop = 840;
constexpr int kListWidth = 12615;
constexpr int kListHeight = 5130;
constexpr int kTwipsPerInch = 1440;

constexpr int kLongestHolderInterval = 65535;

int twipsToPixels(int twips, int dotsPerInch) {
  return (twips * dotsPerInch + kTwipsPerInch / 2) / kTwipsPerInch;
}

void exitAtOnce() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  // Nested event loops (a hold, the location box) may be running: leave without unwinding them.
  std::_Exit(0);
}

}  // namespace

QtWindow::QtWindow(std::function<void()> programEnd)
    : listBox_(new QListWidget), rows_(*listBox_), programEnd_(std::move(programEnd)) {
  if (!programEnd_) programEnd_ = exitAtOnce;

  auto* client = new QWidget(this);
  listBox_->setParent(client);
  listBox_->setAccessibleName(QStringLiteral("Forecast"));
  setCentralWidget(client);
  placeListBox();
  listBox_->setFocus();

  holder_.setTimerType(Qt::PreciseTimer);
  connect(&holder_, &QTimer::timeout, this, [this] {
    if (handler_) handler_->Holder_Timer();
  });

  qApp->installEventFilter(this);
}

QtWindow::~QtWindow() {
  qApp->removeEventFilter(this);
}

void QtWindow::placeListBox() {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  listBox_->setGeometry(twipsToPixels(kListLeft, dpiX), twipsToPixels(kListTop, dpiY),
                        twipsToPixels(kListWidth, dpiX), twipsToPixels(kListHeight, dpiY));
  // The same margin right of and below the list as left of it.
  resize(twipsToPixels(kListLeft + kListWidth + kListLeft, dpiX),
         twipsToPixels(kListTop + kListHeight + kListLeft, dpiY));
}

std::wstring QtWindow::caption() const {
  return windowTitle().toStdWString();
}

void QtWindow::setCaption(const std::wstring& text) {
  setWindowTitle(QString::fromStdWString(text));
  // Qt changes the accessible name without telling anyone; a screen reader that announces
  // caption changes only hears of it through this event.
  QAccessibleEvent nameChanged(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&nameChanged);
}

void QtWindow::pumpEvents() {
  QCoreApplication::processEvents();
}

void QtWindow::waitForEvents() {
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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

std::wstring QtWindow::inputBox(const std::wstring& prompt, const std::wstring& title,
                                const std::wstring& defaultText) {
  QInputDialog box(this);
  box.setObjectName(QString::fromStdWString(title));
  box.setWindowTitle(QString::fromStdWString(title));
  box.setLabelText(QString::fromStdWString(prompt));
  box.setTextValue(QString::fromStdWString(defaultText));
  box.setInputMode(QInputDialog::TextInput);
  box.setWindowModality(Qt::ApplicationModal);
  // Without a window manager nothing else gives the box the keyboard.
  box.show();
  box.raise();
  box.activateWindow();
  if (box.exec() != QDialog::Accepted) return std::wstring();
  return box.textValue().toStdWString();
}

void QtWindow::showAndActivate() {
  show();
  raise();
  activateWindow();
}

void QtWindow::minimize() {
  showMinimized();
}

void QtWindow::endProgram() {
  programEnd_();
}

bool QtWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate && handler_) handler_->Form_Activate();
  return handled;
}

void QtWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
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
  handler_->Form_KeyDown(vk, shiftMaskFor(key->modifiers()));
  event->accept();
  return true;
}

}  // namespace skycall
