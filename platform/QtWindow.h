// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <optional>

#include "interfaces/Window.h"
#include "platform/ListBoxRows.h"
#include "platform/SynthesisedKeys.h"

namespace skycall {

// The main window on Qt: caption, the last text said in large type above the forecast list box,
// the Holder timer, the location box and the event pump. Every key-down on the window or its
// controls goes to Form_KeyDown first.
class QtWindow : public QMainWindow, public Window {
  Q_OBJECT

 public:
  // programEnd ends the process; the default flushes the program's own output and exits at once.
  explicit QtWindow(std::function<void()> programEnd = {});
  ~QtWindow() override;

  void setEventHandler(WindowEvents* handler) override { handler_ = handler; }
  // The program's own synthesised key presses, dropped whenever they arrive.
  void setSynthesisedKeys(SynthesisedKeys* own) { ownKeys_ = own; }

  std::wstring caption() const override;
  void setCaption(const std::wstring& text, bool announced = true) override;

  ForecastList& List1() override { return rows_; }
  QListWidget& listBox() { return *listBox_; }

  // The text is shown, and magnifiers are pointed at it; the rows are selected and scrolled
  // into view, the list's current row left where it is.
  void showSaid(const std::wstring& text) override;
  void showTopicRows(const std::vector<int>& rows) override;

  void pumpEvents() override;
  void waitForEvents() override;
  // The event pump while a page transfers: the window keeps painting, answering the screen
  // reader and handling keys. A first forecast that keeps start-up waiting shows the window
  // before it is in, so the user is not left without one; its activation still waits for
  // showAndActivate().
  void pumpWhileTransferring();

  void setHolderEnabled(bool enabled) override;
  bool holderEnabled() const override { return holderEnabled_; }
  void setHolderInterval(int milliseconds) override;
  int holderInterval() const override { return holderInterval_; }

  std::optional<std::wstring> inputBox(const std::wstring& prompt, const std::wstring& title,
                                       const std::wstring& defaultText) override;

  // Shows the window and asks for the focus; Form_Activate follows once the window is the
  // active window and holds the keyboard focus, or after a short time-out.
  void showAndActivate() override;
  void minimize() override;
  void endProgram() override;

 protected:
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void placeWindow();
  void followDesktopLook();
  void keepTopicRowsInView();
  void activateOnceFocused();
  void applyHolder();

  WindowEvents* handler_ = nullptr;
  SynthesisedKeys* ownKeys_ = nullptr;
  QLabel* said_;
  QListWidget* listBox_;
  ListBoxRows rows_;
  QTimer holder_;
  QTimer activationDeadline_;
  QTimer refresher_;
  QElapsedTimer loading_;          // since the first transfer before the window was shown
  bool activationWanted_ = false;  // showAndActivate() was called
  bool holderEnabled_ = false;
  int holderInterval_ = 0;
  std::function<void()> programEnd_;
};

}  // namespace skycall
