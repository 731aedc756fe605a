// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "forecast/MarkerScan.h"

namespace skycall {

const std::vector<Step>& currentConditionsSteps();
const std::vector<Step>& todayTomorrowSteps();
// Five day blocks of nine steps, beginning with the day after tomorrow.
// weekday: 1 = Sunday ... 7 = Saturday.
std::vector<Step> tenDaySteps(int weekday);

}  // namespace skycall
