// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "interfaces/ForecastList.h"

namespace skycall {

// One row cleaned for speech; index decides the row-window replacements (rows 19 to 22).
std::wstring normaliseRow(std::wstring row, int index);

// Rewrites every row in place (remove, then insert at the same index); count and order stay.
void normaliseList(ForecastList& list);

}  // namespace skycall
