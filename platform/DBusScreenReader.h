// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "speech/ScreenReader.h"

namespace skycall {

// The screen reader's own speech interface on the session bus; throws SpeechError with a
// message for the start-up log when no screen reader answers.
std::unique_ptr<ScreenReader> createScreenReader();

}  // namespace skycall
