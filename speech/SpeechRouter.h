// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "interfaces/KeySender.h"
#include "interfaces/ScreenReader.h"
#include "interfaces/Voice.h"
#include "interfaces/Window.h"

namespace skycall {

// Speech routes, by the value of SpeechMode.
enum SpeechRoute : int {
  kVoiceRoute = 0,
  kCaptionRoute = 1,
  kCaptionHotKeyRoute = 2,
  kScreenReaderRoute = 3,
};

// Where a text can go. Any pointer may be null; a step that cannot be taken is skipped, and
// without a key sender the caption-and-hot-key route announces the caption instead.
struct SpeechOutputs {
  Window& window;
  Voice* voice;
  ScreenReader* screenReader;
  KeySender* keys;
};

// Speaks tempm by the route speechMode names, and shows it on the window. Never throws: every
// failing step is skipped and the next one runs. sendingKeys is 1 while the read-title hot-key
// is being sent. urgent: the voice says it before any other speech.
void sayit(const std::wstring& tempm, int speechMode, int& sendingKeys, const SpeechOutputs& out,
           bool urgent = false);

}  // namespace skycall
