// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kept for the site suites until they move to fakes/LoopbackSite.h.
#include "fakes/LoopbackSite.h"

namespace skycall::testing {
using LoopbackServer = fakes::LoopbackSite;
}
