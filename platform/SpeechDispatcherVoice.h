// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "interfaces/Voice.h"

namespace skycall {

// The text-to-speech voice, spoken by speech-dispatcher over its own connection.
//
// Every call into speech-dispatcher runs on a thread of the voice's own: a daemon that stops
// answering blocks that thread, never the window. The window's thread only leaves each text,
// with the rate and volume it is to be spoken at, in a mailbox of two; when a third comes the
// oldest is dropped, as the newer ones would cut it off anyway. A connection that fails is
// closed and opened afresh for the next text, so speech comes back once the daemon does.
class SpeechDispatcherVoice : public Voice {
 public:
  // Throws SpeechError when no speech-dispatcher can be reached. One that takes the connection
  // but has not answered within two seconds keeps the voice: its texts wait for it.
  SpeechDispatcherVoice();
  ~SpeechDispatcherVoice() override;
  SpeechDispatcherVoice(const SpeechDispatcherVoice&) = delete;
  SpeechDispatcherVoice& operator=(const SpeechDispatcherVoice&) = delete;

  void setRate(int rate) override;
  int rate() const override { return rate_; }
  void setVolume(int volume) override;
  void speak(const std::wstring& text, int flags) override;
  bool answered() const override;

  struct Mailbox;

 private:
  std::shared_ptr<Mailbox> mailbox_;
  int rate_ = 0;
};

// The voice of speech route 0; throws SpeechError with a message for the start-up log.
std::unique_ptr<Voice> createVoice();

}  // namespace skycall
