// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "interfaces/SpeechError.h"
#include "platform/DesktopLook.h"
#include "platform/QtKeyCodes.h"
#include "platform/TitleAnnouncer.h"

namespace skycall {

namespace {

// The list box's margin and size in twips (1/1440 inch), the unit the window was laid out in.
constexpr int kListLeft = 240;
constexpr int kListWidth = 12615;
constexpr int kListHeight = 5130;
constexpr int kTwipsPerInch = 1440;

// Room for this many lines of the large text, so that the list stays put while texts of up to
// as many lines come and go; a longer text takes room from the list.
constexpr int kSaidLines = 3;

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

// Orca 43 takes a selection change in a list for a move of the focus, and speaks the first row
// selected over the topic. The list's selection is therefore kept off the accessibility bus;
// every other event reaches it as before.
const QObject* quietList = nullptr;
QAccessible::UpdateHandler otherHandler = nullptr;

void keepListSelectionQuiet(QAccessibleEvent* event) {
  switch (event->type()) {
    case QAccessible::Selection:
    case QAccessible::SelectionAdd:
    case QAccessible::SelectionRemove:
    case QAccessible::SelectionWithin:
      if (event->object() == quietList) return;
      break;
    default:
      break;
  }
  if (otherHandler) return otherHandler(event);
  // Qt's own delivery for this one event. A list's model change, which Qt applies to its
  // accessible rows before any handler, is applied again: it is worked out from the rows'
  // places in the model, so the second time changes nothing.
  QAccessible::installUpdateHandler(nullptr);
  QAccessible::updateAccessibility(event);
  QAccessible::installUpdateHandler(keepListSelectionQuiet);
}

// The large text as the accessibility bus shows it: its text as its name, and its place in the
// screen's own pixels, where a magnifier looks for it. Qt gives places in its own units, the
// screen's pixels divided by the scale it takes from the desktop's text scaling (Xft.dpi): at 192
// dots an inch a magnifier would go to half the text's place.
class LargeText : public QAccessibleWidget {
 public:
  explicit LargeText(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    return static_cast<const QLabel*>(widget())->text();
  }
  QRect rect() const override {
    const QRect units = QAccessibleWidget::rect();
    const qreal scale = widget()->devicePixelRatioF();
    return {(QPointF(units.topLeft()) * scale).toPoint(), (QSizeF(units.size()) * scale).toSize()};
  }
};

const QString kLargeTextName = QStringLiteral("said");

QAccessibleInterface* largeTextAccessible(const QString&, QObject* object) {
  auto* label = qobject_cast<QLabel*>(object);
  return label && label->objectName() == kLargeTextName ? new LargeText(label) : nullptr;
}

// Rows drawn without the mark of the list's current row: the program never moves it, and a mark
// left on the first row would look like part of the topic.
class RowsWithoutCurrentMark : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
  }
};

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
    : said_(new QLabel),
      listBox_(new QListWidget),
      rows_(*listBox_),
      programEnd_(std::move(programEnd)) {
  if (!programEnd_) programEnd_ = exitAtOnce;

  // Named before the accessibility bus may first ask for it, which placing it can set off.
  said_->setObjectName(kLargeTextName);
  QAccessible::installFactory(largeTextAccessible);
  // The large text above the list, as tall as its lines need; the list takes the rest.
  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->addWidget(said_);
  layout->addWidget(listBox_, 1);
  said_->setTextFormat(Qt::PlainText);
  said_->setWordWrap(true);
  said_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  listBox_->setAccessibleName(QStringLiteral("Forecast"));
  listBox_->setSelectionMode(QAbstractItemView::SingleSelection);
  listBox_->setItemDelegate(new RowsWithoutCurrentMark(listBox_));
  quietList = listBox_;
  otherHandler = QAccessible::installUpdateHandler(keepListSelectionQuiet);
  followDesktopLook();
  setCentralWidget(client);
  placeWindow();
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
  QAccessible::installUpdateHandler(otherHandler);
  quietList = nullptr;
  qApp->removeEventFilter(this);
}

void QtWindow::followDesktopLook() {
  // The topic's rows are highlighted in the desktop's own colours, as strongly while another
  // window has the focus: many palettes give an unfocused selection a shade barely off white.
  QPalette palette = QApplication::palette(listBox_);
  for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  listBox_->setPalette(palette);
  // The large text in the desktop's type and colours, at least twice the size, and at 7:1 or
  // more against the window whatever its colours.
  QPalette large = QApplication::palette(said_);
  for (const auto group : {QPalette::Active, QPalette::Inactive})
    large.setColor(
        group, QPalette::WindowText,
        legibleOn(large.color(group, QPalette::Window), large.color(group, QPalette::WindowText)));
  said_->setPalette(large);
  said_->setFont(largeType(QApplication::font(said_)));
  // As the label measures a text of so many lines.
  const QString lines = QStringLiteral("\n").repeated(kSaidLines - 1);
  said_->setMinimumHeight(said_->fontMetrics()
                              .boundingRect(0, 0, QWIDGETSIZE_MAX, 0, Qt::TextWordWrap, lines)
                              .height());
}

void QtWindow::placeWindow() {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  // The list keeps its size below the large text, with the same margin all round; the window
  // is never larger than the screen has room for, or the list's scroll bar would lie out of
  // sight: the list gives up what it must.
  const int margin = twipsToPixels(kListLeft, dpiX);
  centralWidget()->layout()->setContentsMargins(margin, margin, margin, margin);
  centralWidget()->layout()->setSpacing(margin);
  const QSize wanted(twipsToPixels(kListLeft + kListWidth + kListLeft, dpiX),
                     3 * margin + said_->minimumHeight() + twipsToPixels(kListHeight, dpiY));
  resize(wanted.boundedTo(screen()->availableGeometry().size()));
}

std::wstring QtWindow::caption() const {
  return windowTitle().toStdWString();
}

void QtWindow::showSaid(const std::wstring& text) {
  said_->setText(QString::fromStdWString(text));
  // Laid out at once, so that a magnifier goes where the whole text lies, and the topic's rows
  // stay in view above a list that a longer text has made shorter.
  centralWidget()->layout()->activate();
  keepTopicRowsInView();
  pointMagnifiersAt(said_);
}

void QtWindow::showTopicRows(const std::vector<int>& rows) {
  rows_.select(rows);
  keepTopicRowsInView();
}

void QtWindow::keepTopicRowsInView() {
  const std::vector<int>& rows = rows_.selected();
  if (rows.empty()) return;
  // The last row first, then the first: all in view where the list has room, the first where
  // not.
  for (const int row : {rows.back(), rows.front()})
    if (QListWidgetItem* item = listBox_->item(row)) listBox_->scrollToItem(item);
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
  // In the large type of the text said, the question wrapped to fit the screen. The box is laid
  // out as it is first measured, with the question's one-line width as its least: the question
  // is let shrink after that.
  box.setFont(largeType(QApplication::font(&box)));
  box.minimumSizeHint();
  if (auto* question = box.findChild<QLabel*>()) {
    question->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    question->setWordWrap(true);
  }
  const int width = std::min(box.sizeHint().width(), screen()->availableGeometry().width());
  box.resize(width, box.heightForWidth(width));
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
  } else if (event->type() == QEvent::ApplicationPaletteChange ||
             event->type() == QEvent::ApplicationFontChange) {
    followDesktopLook();
  }
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
  event->accept();
  // Handled at once, in a transfer too: the user must never wait on a page for an answer.
  handler_->Form_KeyDown(vk, shiftMaskFor(key->modifiers()));
  return true;
}

}  // namespace skycall
