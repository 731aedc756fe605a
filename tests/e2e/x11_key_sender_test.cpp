// Xlib's macros clash with Qt, so the key sender's tests keep to their own file; gtest comes
// before Xlib, whose None and Bool macros it would otherwise trip over.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/X11KeySender.h"
#include "speech/Voice.h"

namespace skycall {
namespace {

// Watches the keyboard of the test display from a connection of its own.
class KeyboardWatch {
 public:
  KeyboardWatch() : display_(XOpenDisplay(nullptr)) {}
  ~KeyboardWatch() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  bool open() const { return display_ != nullptr; }

  bool isDown(KeySym sym) {
    char keys[32];
    XQueryKeymap(display_, keys);
    const KeyCode code = XKeysymToKeycode(display_, sym);
    return (keys[code / 8] & (1 << (code % 8))) != 0;
  }

  // The sender's requests travel on another connection, so give the server a moment.
  bool becomes(KeySym sym, bool down) {
    for (int i = 0; i < 200; ++i) {
      if (isDown(sym) == down) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

 private:
  Display* display_;
};

struct HotKey {
  int vk;
  KeySym sym;
};

TEST(X11KeySender, PressesAndReleasesTheReadTitleKeys) {
  KeyboardWatch watch;
  ASSERT_TRUE(watch.open()) << "needs an X display with XTest";
  const auto sender = createKeySender();
  const HotKey keys[] = {{17, XK_Control_L}, {16, XK_Shift_L}, {84, XK_t}};
  for (const auto& key : keys) {
    sender->keybd_event(key.vk, 0);
    EXPECT_TRUE(watch.becomes(key.sym, true)) << "key " << key.vk << " not down";
  }
  for (const auto& key : keys) {
    sender->keybd_event(key.vk, KeySender::kKeyUp);
    EXPECT_TRUE(watch.becomes(key.sym, false)) << "key " << key.vk << " still down";
  }
}

TEST(X11KeySender, RefusesKeysOutsideTheHotKey) {
  const auto sender = createKeySender();
  for (int vk : {0, 9, 65, 85, 233}) EXPECT_THROW(sender->keybd_event(vk, 0), SpeechError) << vk;
}

TEST(X11KeySender, WithoutADisplayEveryCallFails) {
  const std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", ":4711", 1);
  const auto sender = createKeySender();
  for (int flags : {0, 0, KeySender::kKeyUp})
    EXPECT_THROW(sender->keybd_event(17, flags), SpeechError);
  setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
}  // namespace skycall
