// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ctime>
#include <optional>

namespace skycall {

// How often the forecast and the alerts are loaded again while the program runs, in minutes;
// 0: never.
struct RefreshTimes {
  int refreshMinutes = 30;
  int alertsMinutes = 2;
};

// When the forecast is loaded again, and when the alerts are asked for: every refreshMinutes
// and at local midnight, five minutes after a load that failed, at once after a suspend; the
// alerts every alertsMinutes besides. Times are the wall clock's, which moves on over a suspend.
class RefreshSchedule {
 public:
  explicit RefreshSchedule(RefreshTimes times = {}) : times_(times) {}

  // A whole forecast came in at `now`; `midnight` is the local midnight after it.
  void loaded(std::time_t now, std::time_t midnight);
  // A load failed: it is tried again in five minutes.
  void failed(std::time_t now);
  // Back from a suspend: the forecast is loaded again at once.
  void wokeUp() { next_ = 0; }
  void alertsAsked(std::time_t now);
  void alertsDueNow() { alertsNext_ = 0; }

  bool refreshDue(std::time_t now) const;
  bool alertsDue(std::time_t now) const;
  // When the forecast the user hears was loaded, if that is more than an hour longer ago than
  // the refreshes allow (they keep failing).
  std::optional<std::time_t> staleSince(std::time_t now) const;

 private:
  RefreshTimes times_;
  std::optional<std::time_t> loadedAt_;
  std::time_t next_ = 0;
  std::optional<std::time_t> alertsNext_ = 0;  // none: only with the forecast
};

}  // namespace skycall
