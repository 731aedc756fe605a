#pragma once

#include <libspeechd.h>

#include <memory>

#include "speech/Voice.h"

namespace skycall {

// The text-to-speech voice, spoken by speech-dispatcher over its own connection.
class SpeechDispatcherVoice : public Voice {
 public:
  // Throws SpeechError when no speech-dispatcher answers.
  SpeechDispatcherVoice();
  ~SpeechDispatcherVoice() override;
  SpeechDispatcherVoice(const SpeechDispatcherVoice&) = delete;
  SpeechDispatcherVoice& operator=(const SpeechDispatcherVoice&) = delete;

  void setRate(int rate) override;
  int rate() const override { return rate_; }
  void setVolume(int volume) override;
  void speak(const std::wstring& text, int flags) override;

 private:
  SPDConnection* connection_;
  int rate_ = 0;
};

// The voice of speech route 0; throws SpeechError with a message for the start-up log.
std::unique_ptr<Voice> createVoice();

}  // namespace skycall
