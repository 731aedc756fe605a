// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace skycall {

// Work done away from the window's thread, so that no key ever waits on it: a job runs on a
// thread of its own and gives back what is then done on the window's thread with its result.
// Jobs run one at a time, in the order they were handed on.
class Background {
 public:
  using Result = std::function<void()>;
  using Job = std::function<Result()>;

  virtual ~Background() = default;
  virtual void run(Job job) = 0;
};

}  // namespace skycall
