// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "interfaces/SpeechError.h"

namespace skycall {

// The text-to-speech voice.
class Voice {
 public:
  // flag 1: asynchronous; flag 2: purge speech in progress before speaking.
  static constexpr int kAsyncPurge = 3;
  // flag 4: before any other speech, a screen reader's too (a weather alert).
  static constexpr int kUrgent = 4;

  virtual ~Voice() = default;
  // Accepts -10 to 10; throws SpeechError for a rate the voice refuses.
  virtual void setRate(int rate) = 0;
  virtual int rate() const = 0;
  virtual void setVolume(int volume) = 0;
  // An empty text silences the voice.
  virtual void speak(const std::wstring& text, int flags) = 0;
  // False while the voice has not yet answered at all (its service hangs): its texts wait for
  // it and are spoken once it answers.
  virtual bool answered() const { return true; }
};

}  // namespace skycall
