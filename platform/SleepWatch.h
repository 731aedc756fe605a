// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

namespace skycall {

// Tells when the computer wakes from a suspend: logind's PrepareForSleep(false) on the system
// bus, where there is one.
class SleepWatch : public QObject {
  Q_OBJECT

 public:
  explicit SleepWatch(std::function<void()> woke);

 private slots:
  void prepareForSleep(bool sleeping);

 private:
  std::function<void()> woke_;
};

}  // namespace skycall
