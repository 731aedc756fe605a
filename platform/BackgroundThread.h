// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "interfaces/Background.h"

namespace skycall {

// A thread of its own for the program's background jobs; each job's result is taken in on the
// window's thread through Qt's event loop. The thread is left behind when the program ends: a
// job may be stuck in a transfer, and nothing of it is wanted any more.
class BackgroundThread : public Background {
 public:
  BackgroundThread();
  ~BackgroundThread() override;
  BackgroundThread(const BackgroundThread&) = delete;
  BackgroundThread& operator=(const BackgroundThread&) = delete;

  void run(Job job) override;

  struct Queue;

 private:
  std::shared_ptr<Queue> queue_;
};

}  // namespace skycall
