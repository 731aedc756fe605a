// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "interfaces/KeySender.h"

namespace skycall {

// Whether a screen reader runs for this user now: the desktop says so (the accessibility bus's
// ScreenReaderEnabled), or an Orca of this user runs on this desktop.
bool screenReaderRunning();

// Orca's own read-title command, when an Orca of this user runs: its modifier key held with
// KP_Enter on the desktop layout or slash on the laptop layout, as the user's Orca settings
// ($XDG_DATA_HOME/orca/user-settings.conf) have them; the desktop layout without settings.
std::optional<ReadTitleKeys> orcaReadTitleKeys();

}  // namespace skycall
