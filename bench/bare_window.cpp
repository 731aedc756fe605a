// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt 6 window program costs: one empty window. Prints "painted" once its first frame
// has been drawn and handed to the display, then runs until it is ended, so both its start and
// its resident memory can be read from outside.

#include <QApplication>
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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  BareWindow window;
  window.setWindowTitle(QStringLiteral("Bare window"));
  window.show();
  return app.exec();
}
