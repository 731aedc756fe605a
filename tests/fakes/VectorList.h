// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept for the site suites until they include fakes/FakeClock.h.
#include "fakes/FakeClock.h"
