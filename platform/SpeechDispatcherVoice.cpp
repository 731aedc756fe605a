// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SpeechDispatcherVoice.h"

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/SsipClient.h"
#include "text/TextCodec.h"

namespace skycall {

namespace {

constexpr int kSlowestRate = -10;
constexpr int kFastestRate = 10;
// speech-dispatcher's scale runs from -100 to 100 where the voice's runs from -10 to 10.
constexpr int kRateScale = 10;
constexpr int kPurgeBeforeSpeak = 2;
// Texts handed on faster than the daemon takes them: a text superseded at once still reaches
// it (and is cut off there, as it always was), but no more than this many wait.
constexpr std::size_t kMostTextsWaiting = 2;
// How long start-up waits for the first connection before it goes on without an answer: the
// window must come soon, whatever the daemon does.
constexpr auto kFirstAnswerWait = std::chrono::seconds(2);
// How long the end of the program waits for the voice's thread; one stuck in a daemon that no
// longer answers is left behind.
constexpr auto kEndWait = std::chrono::milliseconds(500);

}  // namespace

namespace {

// What one turn of the voice's thread hands on: a text with the rate and volume it is to be
// spoken at.
struct Delivery {
  bool hasText;      // false: the rate and volume alone, ahead of the next text
  std::string text;  // UTF-8; empty: silence only
  bool purge;
  bool urgent;  // before any other speech, a screen reader's too
  int rate;     // on speech-dispatcher's scale
  int volume;
};

}  // namespace

struct SpeechDispatcherVoice::Mailbox {
  std::mutex lock;
  std::condition_variable changed;

  // Left by the window's thread.
  std::deque<Delivery> waiting;
  int rate = 0;
  int volume = 0;
  bool settingsChanged = false;
  bool quit = false;

  // Left by the voice's thread.
  enum class FirstOpen { Waiting, Opened, Failed } firstOpen = FirstOpen::Waiting;
  std::string openError;
  bool finished = false;
};

namespace {

using Mailbox = SpeechDispatcherVoice::Mailbox;

class Connection {
 public:
  bool open(std::string& error) {
    appliedRate_ = appliedVolume_ = INT_MIN;
    appliedPriority_.clear();
    return ssip_.open(error);
  }

  bool isOpen() const { return ssip_.isOpen(); }
  void close() { ssip_.close(); }

  // False when the daemon did not take it: the connection is then of no further use.
  bool deliver(const Delivery& d) {
    if (d.rate != appliedRate_) {
      if (!ssip_.command("SET self RATE " + std::to_string(d.rate))) return false;
      appliedRate_ = d.rate;
    }
    if (d.volume != appliedVolume_) {
      if (!ssip_.command("SET self VOLUME " + std::to_string(d.volume))) return false;
      appliedVolume_ = d.volume;
    }
    if (!d.hasText) return true;
    // Only this program's own speech is cut off: cancelling every client would silence a
    // screen reader as well.
    if (d.purge && !ssip_.command("CANCEL self")) return false;
    if (d.text.empty()) return true;
    // A screen reader on the same daemon speaks at this priority too: its announcements then
    // wait for the text rather than cut it off, and it is not cut off by the text. A weather
    // alert goes before them all.
    const std::string priority = d.urgent ? "important" : "message";
    if (priority != appliedPriority_) {
      if (!ssip_.command("SET self PRIORITY " + priority)) return false;
      appliedPriority_ = priority;
    }
    return ssip_.speak(d.text);
  }

 private:
  SsipClient ssip_;
  int appliedRate_ = INT_MIN;
  int appliedVolume_ = INT_MIN;
  std::string appliedPriority_;
};

void runVoice(std::shared_ptr<Mailbox> box) {
  Connection connection;
  {
    std::string error;
    const bool opened = connection.open(error);
    std::lock_guard<std::mutex> hold(box->lock);
    box->firstOpen = opened ? Mailbox::FirstOpen::Opened : Mailbox::FirstOpen::Failed;
    box->openError = error;
    // Opened or not, the thread stays: a daemon that answers late, or is started later, is
    // tried again with the next text. A voice given up at start-up is told to quit.
    box->changed.notify_all();
  }
  for (;;) {
    Delivery d;
    {
      std::unique_lock<std::mutex> hold(box->lock);
      box->changed.wait(hold,
                        [&] { return box->quit || !box->waiting.empty() || box->settingsChanged; });
      if (box->quit) break;
      if (box->waiting.empty()) {
        d = {false, {}, false, false, box->rate, box->volume};
      } else {
        d = std::move(box->waiting.front());
        box->waiting.pop_front();
      }
      box->settingsChanged = false;
    }
    // A daemon that died or restarted fails the old connection: the same text gets one more
    // try on a new one. Where none answers, the text is lost and the next one tries again.
    for (int attempt = 0; attempt < 2; ++attempt) {
      std::string ignored;
      if (!connection.isOpen() && !connection.open(ignored)) break;
      if (connection.deliver(d)) break;
      connection.close();
    }
  }
  connection.close();
  std::lock_guard<std::mutex> hold(box->lock);
  box->finished = true;
  box->changed.notify_all();
}

}  // namespace

SpeechDispatcherVoice::SpeechDispatcherVoice() : mailbox_(std::make_shared<Mailbox>()) {
  std::thread(runVoice, mailbox_).detach();
  std::unique_lock<std::mutex> hold(mailbox_->lock);
  const bool answered = mailbox_->changed.wait_for(
      hold, kFirstAnswerWait, [&] { return mailbox_->firstOpen != Mailbox::FirstOpen::Waiting; });
  if (!answered || mailbox_->firstOpen == Mailbox::FirstOpen::Opened) return;
  mailbox_->quit = true;
  std::string message = "Speech Dispatcher does not answer";
  if (!mailbox_->openError.empty()) message += ": " + mailbox_->openError;
  throw SpeechError(message);
}

SpeechDispatcherVoice::~SpeechDispatcherVoice() {
  std::unique_lock<std::mutex> hold(mailbox_->lock);
  mailbox_->quit = true;
  mailbox_->changed.notify_all();
  mailbox_->changed.wait_for(hold, kEndWait, [&] { return mailbox_->finished; });
}

bool SpeechDispatcherVoice::answered() const {
  std::lock_guard<std::mutex> hold(mailbox_->lock);
  return mailbox_->firstOpen == Mailbox::FirstOpen::Opened;
}

void SpeechDispatcherVoice::setRate(int rate) {
  if (rate < kSlowestRate || rate > kFastestRate)
    throw SpeechError("The voice refuses the rate " + std::to_string(rate) + " (it takes " +
                      std::to_string(kSlowestRate) + " to " + std::to_string(kFastestRate) + ")");
  rate_ = rate;
  std::lock_guard<std::mutex> hold(mailbox_->lock);
  mailbox_->rate = rate * kRateScale;
  mailbox_->settingsChanged = true;
  mailbox_->changed.notify_all();
}

void SpeechDispatcherVoice::setVolume(int volume) {
  // The voice's volume runs from 0 to 100, speech-dispatcher's from -100 to 100.
  if (volume < 0 || volume > 100)
    throw SpeechError("The voice refuses the volume " + std::to_string(volume));
  std::lock_guard<std::mutex> hold(mailbox_->lock);
  mailbox_->volume = volume * 2 - 100;
  mailbox_->settingsChanged = true;
  mailbox_->changed.notify_all();
}

void SpeechDispatcherVoice::speak(const std::wstring& text, int flags) {
  std::string utf8 = toUtf8(text);
  std::lock_guard<std::mutex> hold(mailbox_->lock);
  auto& waiting = mailbox_->waiting;
  // Each text cuts the one before off, so of texts that pile up (a daemon that stops
  // answering) only the newest few are kept.
  while (waiting.size() >= kMostTextsWaiting) waiting.pop_front();
  waiting.push_back({true, std::move(utf8), (flags & kPurgeBeforeSpeak) != 0,
                     (flags & kUrgent) != 0, mailbox_->rate, mailbox_->volume});
  mailbox_->changed.notify_all();
}

std::unique_ptr<Voice> createVoice() {
  return std::make_unique<SpeechDispatcherVoice>();
}

}  // namespace skycall
