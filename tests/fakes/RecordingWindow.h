#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

#include "fakes/EventLog.h"
#include "fakes/VectorList.h"
#include "speech/Voice.h"
#include "speech/Window.h"

namespace skycall::fakes {

// Thrown by endProgram: the program ends at once, so nothing after it may run.
struct ProgramEnded {};

// A main window that records what the program does with it. Events queued with post() are
// handled at the next pump or wait; waits advance a fake clock to the Holder's next tick.
class RecordingWindow : public Window {
 public:
  explicit RecordingWindow(EventLog& log) : log_(log) {}

  WindowEvents* handler = nullptr;
  std::wstring captionText;
  VectorList list;
  bool enabled = false;
  int interval = 0;
  double elapsedMs = 0;              // fake time spent waiting
  std::deque<std::wstring> answers;  // the location box's answers; none left = Cancel
  std::deque<std::function<void()>> pending;
  int prompts = 0;

  void post(std::function<void()> event) { pending.push_back(std::move(event)); }

  void setEventHandler(WindowEvents* h) override { handler = h; }
  std::wstring caption() const override { return captionText; }
  void setCaption(const std::wstring& text) override {
    captionText = text;
    log_.add("caption=", text);
  }
  ForecastList& List1() override { return list; }
  void pumpEvents() override {
    log_.add("pump");
    runPending();
  }
  void waitForEvents() override {
    if (runPending()) return;
    if (!enabled || interval <= 0) throw std::logic_error("a wait that nothing can end");
    elapsedMs += interval;
    log_.add("tick");
    handler->Holder_Timer();
  }
  void setHolderEnabled(bool on) override { enabled = on; }
  bool holderEnabled() const override { return enabled; }
  void setHolderInterval(int ms) override {
    if (ms < 0 || ms > 65535) throw SpeechError("Invalid property value");
    interval = ms;
  }
  int holderInterval() const override { return interval; }
  std::wstring inputBox(const std::wstring& prompt, const std::wstring& title,
                        const std::wstring& defaultText) override {
    ++prompts;
    log_.add("prompt:", title + L"|" + prompt + L"|" + defaultText);
    if (answers.empty()) return L"";
    std::wstring a = answers.front();
    answers.pop_front();
    return a;
  }
  // The window becomes active at once.
  void showAndActivate() override {
    log_.add("show");
    if (handler) handler->Form_Activate();
  }
  void minimize() override { log_.add("minimize"); }
  void endProgram() override {
    log_.add("end");
    throw ProgramEnded{};
  }

 private:
  // One pass: the events pending now, not those they post.
  bool runPending() {
    std::deque<std::function<void()>> now;
    now.swap(pending);
    for (auto& e : now) e();
    return !now.empty();
  }
  EventLog& log_;
};

}  // namespace skycall::fakes
