// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/SpeechRouter.h"

#include <array>
#include <exception>

namespace skycall {

namespace {

// The screen reader's read-title hot-key, Ctrl+Shift+T, as virtual-key codes in press order.
constexpr std::array<int, 3> kReadTitleKeys = {17, 16, 84};

// Runs one step of the router; a failing step is skipped and the next one runs.
template <typename F>
void step(F&& f) {
  try {
    f();
  } catch (const std::exception&) {
  }
}

void sendKeys(KeySender* keys, int flags) {
  for (int vk : kReadTitleKeys)
    step([&] {
      if (!keys) throw SpeechError("no key synthesiser");
      keys->keybd_event(vk, flags);
    });
}

}  // namespace

void sayit(const std::wstring& tempm, int speechMode, int& sendingKeys, const SpeechOutputs& out) {
  Window& window = out.window;
  if (speechMode == kVoiceRoute) {
    step([&] {
      if (out.voice) out.voice->speak(tempm, Voice::kAsyncPurge);
    });
    step([&] { window.pumpEvents(); });
  }
  if (speechMode == kCaptionRoute || speechMode == kCaptionHotKeyRoute) {
    // Saying the caption's own text again: change it first, so a screen reader that
    // announces caption changes hears it a second time.
    step([&] {
      if (window.caption() == tempm) {
        window.setCaption(tempm + L" ");
        window.pumpEvents();
      }
    });
    step([&] { window.setCaption(tempm); });
  }
  if (speechMode == kCaptionHotKeyRoute) {
    sendingKeys = 1;
    sendKeys(out.keys, 0);
    step([&] { window.pumpEvents(); });
    sendKeys(out.keys, KeySender::kKeyUp);
    sendingKeys = 0;
    step([&] { window.pumpEvents(); });
  }
  if (speechMode == kScreenReaderRoute) {
    step([&] {
      if (!out.screenReader) throw SpeechError("no screen reader");
      out.screenReader->SayString(tempm, 0);
    });
  }
}

}  // namespace skycall
