// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractNativeEventFilter>
#include <functional>

namespace skycall {

// Notices when the X server destroys a window of ours from outside (another program asked
// it to), which Qt does not tell its widget about: the window is gone though the widget
// lives on. gone then runs once.
class DestroyedWindowWatch : public QAbstractNativeEventFilter {
 public:
  DestroyedWindowWatch(std::function<unsigned long()> windowId, std::function<void()> gone)
      : windowId_(std::move(windowId)), gone_(std::move(gone)) {}

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  std::function<unsigned long()> windowId_;
  std::function<void()> gone_;
  bool fired_ = false;
};

}  // namespace skycall
