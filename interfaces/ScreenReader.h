// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

namespace skycall {

// A screen reader's own speech interface (speech route 3).
class ScreenReader {
 public:
  virtual ~ScreenReader() = default;
  // Hands the text on without waiting for the screen reader; throws SpeechError when it
  // cannot even be handed on.
  virtual void SayString(const std::wstring& text, int flags) = 0;

  // Called later, on the window's thread, when a text handed on was not taken (no answer
  // within a second, or a refusal): with the newest text handed on, once for each such spell.
  std::function<void(const std::wstring& newestText)> unanswered;
};

}  // namespace skycall
