// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept for the benchmarks until they move to fakes/Rig.h.
#include "fakes/Rig.h"

namespace skycall::fakes {
using TestRig = Rig;
}
