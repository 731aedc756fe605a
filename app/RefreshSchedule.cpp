// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RefreshSchedule.h"

#include <algorithm>

namespace skycall {

namespace {
constexpr std::time_t kMinute = 60;
constexpr std::time_t kRetryAfter = 5 * kMinute;
constexpr std::time_t kStaleAfter = 60 * kMinute;
}  // namespace

void RefreshSchedule::loaded(std::time_t now, std::time_t midnight) {
  loadedAt_ = now;
  next_ = std::min(now + times_.refreshMinutes * kMinute, midnight);
}

void RefreshSchedule::failed(std::time_t now) {
  next_ = now + kRetryAfter;
}

void RefreshSchedule::alertsAsked(std::time_t now) {
  alertsNext_.reset();
  if (times_.alertsMinutes > 0) alertsNext_ = now + times_.alertsMinutes * kMinute;
}

bool RefreshSchedule::refreshDue(std::time_t now) const {
  return times_.refreshMinutes > 0 && now >= next_;
}

bool RefreshSchedule::alertsDue(std::time_t now) const {
  return alertsNext_ && now >= *alertsNext_;
}

std::optional<std::time_t> RefreshSchedule::staleSince(std::time_t now) const {
  if (times_.refreshMinutes <= 0 || !loadedAt_) return std::nullopt;
  if (now - *loadedAt_ <= times_.refreshMinutes * kMinute + kStaleAfter) return std::nullopt;
  return loadedAt_;
}

}  // namespace skycall
