// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "interfaces/KeySender.h"
#include "platform/SynthesisedKeys.h"

namespace skycall {

// The read-title hot-key synthesiser for the X display the program runs on. Every press it
// synthesises is noted in own, when given, so the window can tell it from the user's keys.
std::unique_ptr<KeySender> createKeySender(SynthesisedKeys* own = nullptr);

}  // namespace skycall
