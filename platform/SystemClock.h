// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interfaces/Clock.h"

namespace skycall {

// Today's day of the week by the local date of the machine.
class SystemClock : public Clock {
 public:
  int weekday() const override;
};

}  // namespace skycall
