// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "interfaces/ScreenReader.h"

namespace skycall {

// Creates the screen-reader object. JawsFlag ends 1 when it exists and 0 when its creation
// failed; the failure costs one line "error: " + message through logLine and nothing else.
std::unique_ptr<ScreenReader> loadjaws(const std::function<std::unique_ptr<ScreenReader>()>& create,
                                       int& JawsFlag,
                                       const std::function<void(const std::string&)>& logLine);

}  // namespace skycall
