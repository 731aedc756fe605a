// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "interfaces/Voice.h"

namespace skycall {

// Stands in for a voice that could not be created: it keeps the rate the user sets, so that it
// is saved as before, and says nothing; the voice route's texts go to the caption instead.
class MissingVoice : public Voice {
 public:
  void setRate(int rate) override {
    if (rate < kSlowest || rate > kFastest) throw SpeechError("Invalid procedure call or argument");
    rate_ = rate;
  }
  int rate() const override { return rate_; }
  void setVolume(int) override {}
  void speak(const std::wstring&, int) override {}

 private:
  static constexpr int kSlowest = -10;
  static constexpr int kFastest = 10;
  int rate_ = 0;
};

}  // namespace skycall
