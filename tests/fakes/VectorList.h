// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept for the benchmarks until they include fakes/FakeClock.h.
#include "fakes/FakeClock.h"
