#pragma once

#include "forecast/Clock.h"

namespace skycall::fakes {

class FakeClock : public Clock {
 public:
  explicit FakeClock(int day = 1) : day_(day) {}
  int weekday() const override { return day_; }
  void set(int day) { day_ = day; }

 private:
  int day_;
};

}  // namespace skycall::fakes
