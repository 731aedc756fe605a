#include "platform/SpeechDispatcherVoice.h"

#include <cstdlib>
#include <string>

#include "forecast/TextCodec.h"

namespace skycall {

namespace {

constexpr int kSlowestRate = -10;
constexpr int kFastestRate = 10;
// speech-dispatcher's scale runs from -100 to 100 where the voice's runs from -10 to 10.
constexpr int kRateScale = 10;
constexpr int kPurgeBeforeSpeak = 2;

}  // namespace

SpeechDispatcherVoice::SpeechDispatcherVoice() {
  char* error = nullptr;
  // The address comes from SPEECHD_ADDRESS, else the user's own daemon, started when needed.
  connection_ = spd_open2("skycall", "voice", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error);
  if (!connection_) {
    std::string message = "Speech Dispatcher does not answer";
    if (error) {
      message += std::string(": ") + error;
      std::free(error);
    }
    throw SpeechError(message);
  }
  std::free(error);
  // Every text of the program is English; without this the C locale's "c" reaches the
  // synthesiser as the language.
  spd_set_language(connection_, "en");
}

SpeechDispatcherVoice::~SpeechDispatcherVoice() {
  spd_close(connection_);
}

void SpeechDispatcherVoice::setRate(int rate) {
  if (rate < kSlowestRate || rate > kFastestRate)
    throw SpeechError("The voice refuses the rate " + std::to_string(rate) + " (it takes " +
                      std::to_string(kSlowestRate) + " to " + std::to_string(kFastestRate) + ")");
  if (spd_set_voice_rate(connection_, rate * kRateScale) != 0)
    throw SpeechError("Speech Dispatcher refused the rate " + std::to_string(rate));
  rate_ = rate;
}

void SpeechDispatcherVoice::setVolume(int volume) {
  // The voice's volume runs from 0 to 100, speech-dispatcher's from -100 to 100.
  if (volume < 0 || volume > 100)
    throw SpeechError("The voice refuses the volume " + std::to_string(volume));
  if (spd_set_volume(connection_, volume * 2 - 100) != 0)
    throw SpeechError("Speech Dispatcher refused the volume " + std::to_string(volume));
}

void SpeechDispatcherVoice::speak(const std::wstring& text, int flags) {
  // Only this program's own speech is cut off: cancelling every client would silence a screen
  // reader as well.
  if (flags & kPurgeBeforeSpeak) spd_cancel(connection_);
  if (text.empty()) return;
  if (spd_say(connection_, SPD_TEXT, toUtf8(text).c_str()) < 0)
    throw SpeechError("Speech Dispatcher did not take the text");
}

std::unique_ptr<Voice> createVoice() {
  return std::make_unique<SpeechDispatcherVoice>();
}

}  // namespace skycall
