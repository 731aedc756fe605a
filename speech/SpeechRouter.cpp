// SPDX-License-Identifier: GPL-3.0-or-later
#include "speech/SpeechRouter.h"

#include <exception>

namespace skycall {

namespace {

// Runs one step of the router; a failing step is skipped and the next one runs.
template <typename F>
void step(F&& f) {
  try {
    f();
  } catch (const std::exception&) {
  }
}

void sendKeys(KeySender& keys, const ReadTitleKeys& hotKey, int flags) {
  for (const HotKeyKey& key : hotKey.keys)
    step([&] { keys.keybd_event(key.vk, flags | (key.extended ? KeySender::kExtendedKey : 0)); });
}

}  // namespace

void sayit(const std::wstring& tempm, int speechMode, int& sendingKeys, const SpeechOutputs& out,
           bool urgent) {
  Window& window = out.window;
  if (speechMode == kVoiceRoute) {
    step([&] {
      if (out.voice) out.voice->speak(tempm, Voice::kAsyncPurge | (urgent ? Voice::kUrgent : 0));
    });
    step([&] { window.pumpEvents(); });
  }
  // The hot-key the screen reader running now takes; where no key can be sent at all, the
  // caption is announced as on the caption route.
  ReadTitleKeys hotKey;
  if (speechMode == kCaptionHotKeyRoute && out.keys)
    step([&] { hotKey = out.keys->readTitleKeys(); });
  if (speechMode == kCaptionRoute || speechMode == kCaptionHotKeyRoute) {
    const bool announced = !(speechMode == kCaptionHotKeyRoute && hotKey.readsTitleItself);
    // Saying the caption's own text again: change it first, so a screen reader that
    // announces caption changes hears it a second time.
    step([&] {
      if (window.caption() == tempm) {
        window.setCaption(tempm + L" ", announced);
        window.pumpEvents();
      }
    });
    step([&] { window.setCaption(tempm, announced); });
  }
  if (speechMode == kCaptionHotKeyRoute && !hotKey.keys.empty()) {
    sendingKeys = 1;
    sendKeys(*out.keys, hotKey, 0);
    step([&] { window.pumpEvents(); });
    sendKeys(*out.keys, hotKey, KeySender::kKeyUp);
    sendingKeys = 0;
    step([&] { window.pumpEvents(); });
  }
  if (speechMode == kScreenReaderRoute) {
    step([&] {
      if (!out.screenReader) throw SpeechError("no screen reader");
      out.screenReader->SayString(tempm, 0);
    });
  }
  // Shown on every route, after the speech so as not to delay it; stopping the speech leaves
  // the last text in view.
  if (!tempm.empty()) step([&] { window.showSaid(tempm); });
}

}  // namespace skycall
