// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SynthesisedKeys.h"

#include <algorithm>

namespace skycall {

void SynthesisedKeys::pressed(int vk, Clock::time_point at) {
  presses_.push_back({vk, at});
}

bool SynthesisedKeys::takeOwn(int vk, Clock::time_point at) {
  std::erase_if(presses_, [&](const Press& p) { return at - p.at >= kLifetime; });
  const auto own =
      std::find_if(presses_.begin(), presses_.end(), [&](const Press& p) { return p.vk == vk; });
  if (own == presses_.end()) return false;
  presses_.erase(own);
  return true;
}

}  // namespace skycall
