// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "interfaces/ScreenReader.h"

class QWidget;

namespace skycall {

// The screen reader's own speech interface, the first that answers: Orca's remote controller
// on the session bus (the newer name first), else an announcement on the accessibility bus
// from window, where the screen reader listens for announcements. Throws SpeechError, with a
// message for the start-up log, when there is neither.
std::unique_ptr<ScreenReader> createScreenReader(QWidget* window);

}  // namespace skycall
