// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt 6 window program costs: one empty window. Prints "painted" once its first frame
// has been drawn and handed to the display, then runs until it is ended, so both its start and
// its resident memory can be read from outside.
//
//   bare_window [--list N]
//
// With --list N the window, titled "Bare list", holds a focused QListWidget of N items named
// "Bare item I of N": the floor for a screen reader speaking the next item after Down, each name
// distinct (none is part of another) so that what was spoken tells which item it was.

#include <QApplication>
#include <QListWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {

class BareWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (painted_) return;
    painted_ = true;
    // Queued, so it runs after this frame has been flushed to the display.
    QMetaObject::invokeMethod(
        this,
        [] {
          std::puts("painted");
          std::fflush(stdout);
        },
        Qt::QueuedConnection);
  }

 private:
  bool painted_ = false;
};

// The N after --list, or 0 for the empty window; -1 when the command line is not understood.
int listItems(const QStringList& arguments) {
  if (arguments.size() == 1) return 0;
  bool number = false;
  const int items = arguments.size() == 3 && arguments[1] == QStringLiteral("--list")
                        ? arguments[2].toInt(&number)
                        : 0;
  return number && items > 0 ? items : -1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int items = listItems(QApplication::arguments());
  if (items < 0) {
    std::fputs("usage: bare_window [--list N]\n", stderr);
    return 2;
  }
  BareWindow window;
  window.setWindowTitle(items ? QStringLiteral("Bare list") : QStringLiteral("Bare window"));
  if (items) {
    auto* list = new QListWidget(&window);
    for (int i = 1; i <= items; ++i)
      list->addItem(QStringLiteral("Bare item %1 of %2").arg(i).arg(items));
    list->setCurrentRow(0);
    (new QVBoxLayout(&window))->addWidget(list);
    list->setFocus();
  }
  window.show();
  // Without a window manager nobody else hands a new window the keyboard; the empty window, the
  // start-up floor, stays as it always was.
  if (items) window.activateWindow();
  return app.exec();
}
