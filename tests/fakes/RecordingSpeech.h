#pragma once

#include <string>

#include "fakes/EventLog.h"
#include "speech/KeySender.h"
#include "speech/ScreenReader.h"
#include "speech/Voice.h"

namespace skycall::fakes {

class RecordingVoice : public Voice {
 public:
  explicit RecordingVoice(EventLog& log) : log_(log) {}
  int rateValue = 0;
  int volume = 0;
  void setRate(int r) override {
    if (r < -10 || r > 10) throw SpeechError("Invalid procedure call or argument");
    rateValue = r;
  }
  int rate() const override { return rateValue; }
  void setVolume(int v) override { volume = v; }
  void speak(const std::wstring& text, int flags) override {
    log_.add("voice" + std::to_string(flags) + ": ", text);
  }

 private:
  EventLog& log_;
};

class RecordingScreenReader : public ScreenReader {
 public:
  explicit RecordingScreenReader(EventLog& log) : log_(log) {}
  void SayString(const std::wstring& text, int flags) override {
    log_.add("reader" + std::to_string(flags) + ": ", text);
  }

 private:
  EventLog& log_;
};

class RecordingKeySender : public KeySender {
 public:
  explicit RecordingKeySender(EventLog& log) : log_(log) {}
  bool fails = false;
  void keybd_event(int vk, int flags) override {
    if (fails) throw SpeechError("no display");
    log_.add("key " + std::to_string(vk) + (flags == kKeyUp ? " up" : " down"));
  }

 private:
  EventLog& log_;
};

}  // namespace skycall::fakes
