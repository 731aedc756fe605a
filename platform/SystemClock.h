// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interfaces/Clock.h"

namespace skycall {

// The machine's clock, in its local time zone and the user's locale.
class SystemClock : public Clock {
 public:
  std::time_t now() const override;
  using Clock::weekday;
  int weekday(std::time_t time) const override;
  std::time_t nextMidnight(std::time_t time) const override;
  std::wstring timeOfDay(std::time_t time) const override;
};

}  // namespace skycall
