// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/LoadJaws.h"

#include <exception>
#include <stdexcept>

namespace skycall {

std::unique_ptr<ScreenReader> loadjaws(const std::function<std::unique_ptr<ScreenReader>()>& create,
                                       int& JawsFlag,
                                       const std::function<void(const std::string&)>& logLine) {
  JawsFlag = -1;
  try {
    if (!create) throw std::runtime_error("No screen reader is available");
    auto reader = create();
    if (!reader) throw std::runtime_error("No screen reader is available");
    JawsFlag = 1;
    return reader;
  } catch (const std::exception& e) {
    logLine(std::string("error: ") + e.what());
  }
  JawsFlag = 0;
  return nullptr;
}

}  // namespace skycall
