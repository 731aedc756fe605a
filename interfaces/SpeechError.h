// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>

namespace skycall {

// A speech component, the window's timer or the key synthesiser refused a value, failed, or
// could not be created.
class SpeechError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace skycall
