// SPDX-License-Identifier: GPL-3.0-or-later
// Xlib defines KeyPress, Bool, None and friends as macros, so this file stays free of Qt.
#include "platform/X11KeySender.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "interfaces/SpeechError.h"
#include "platform/ScreenReaderPresence.h"

namespace skycall {

namespace {

struct KeyName {
  HotKeyKey key;
  KeySym sym;
};

// The keys of the read-title hot-keys, by virtual-key code and extended flag.
constexpr std::array<KeyName, 8> kHotKeys{{
    {{vk::Ctrl}, XK_Control_L},
    {{vk::Shift}, XK_Shift_L},
    {{vk::T}, XK_T},
    {{vk::Insert, true}, XK_Insert},
    {{vk::Insert, false}, XK_KP_Insert},
    {{vk::Enter, true}, XK_KP_Enter},
    {{vk::CapsLock}, XK_Caps_Lock},
    {{vk::Slash}, XK_slash},
}};

// Orca takes its command pressed twice within half a second as a double press, which reads
// the status bar instead of the title; two texts said back to back keep this far apart.
constexpr auto kCommandGap = std::chrono::milliseconds(550);

class X11KeySender : public KeySender {
 public:
  explicit X11KeySender(SynthesisedKeys* own) : own_(own) {}
  ~X11KeySender() override {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  ReadTitleKeys readTitleKeys() override {
    try {
      openDisplay();
    } catch (const SpeechError&) {
      return {};  // no key can reach anyone: the caption is announced instead
    }
    ReadTitleKeys keys = orcaReadTitleKeys().value_or(kCtrlShiftT);
    command_ = keys.readsTitleItself ? std::optional(keyOf(keys.keys.back())) : std::nullopt;
    return keys;
  }

  void keybd_event(int vk, int flags) override {
    Display* display = openDisplay();
    const std::pair key{vk, (flags & kExtendedKey) != 0};
    const KeyCode code = XKeysymToKeycode(display, keysymFor(key));
    if (code == 0) throw SpeechError("The X display has no key for code " + std::to_string(vk));
    const bool press = (flags & kKeyUp) == 0;
    // A key goes to whichever window holds the keyboard: never press one into another
    // program, and release only what was pressed here.
    if (press && !ownWindowFocused(display))
      throw SpeechError("Another program's window has the keyboard focus");
    if (!press && down_.count(key) == 0)
      throw SpeechError("Code " + std::to_string(vk) + " was not pressed here");
    if (press && key == command_) keepCommandsApart();
    if (XTestFakeKeyEvent(display, code, press ? True : False, CurrentTime) == 0)
      throw SpeechError("The X display refused a synthesised key");
    if (press) {
      down_.insert(key);
      if (own_ != nullptr) own_->pressed(vk);
    } else {
      down_.erase(key);
    }
    // Wait for the server to take the key, so its event is on the way to the window before
    // the router's next event pump.
    XSync(display, False);
  }

 private:
  using Key = std::pair<int, bool>;  // virtual-key code, extended

  static Key keyOf(const HotKeyKey& key) { return {key.vk, key.extended}; }

  static KeySym keysymFor(const Key& key) {
    for (const auto& name : kHotKeys)
      if (keyOf(name.key) == key) return name.sym;
    throw SpeechError("No key to synthesise for code " + std::to_string(key.first));
  }

  void keepCommandsApart() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastCommand_ < kCommandGap)
      std::this_thread::sleep_for(kCommandGap - (now - lastCommand_));
    lastCommand_ = std::chrono::steady_clock::now();
  }

  // True when the window with the keyboard focus, or one it lies in, belongs to this process.
  static bool ownWindowFocused(Display* display) {
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    const ::Window root = DefaultRootWindow(display);
    while (focus != None && focus != PointerRoot && focus != root) {
      if (windowPid(display, focus, pidAtom) == static_cast<long>(getpid())) return true;
      ::Window parent = None, rootReturn = None;
      ::Window* children = nullptr;
      unsigned int count = 0;
      if (XQueryTree(display, focus, &rootReturn, &parent, &children, &count) == 0) break;
      if (children != nullptr) XFree(children);
      focus = parent;
    }
    return false;
  }

  static long windowPid(Display* display, ::Window window, Atom pidAtom) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr && format == 32 && items == 1)
      pid = *reinterpret_cast<long*>(data);
    if (data != nullptr) XFree(data);
    return pid;
  }

  // Opened on first use: a program started without a display only pays when route 2 speaks.
  Display* openDisplay() {
    if (display_ != nullptr) return display_;
    if (unusable_) throw SpeechError(unusable_reason_);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return fail("No X display to send keys to");
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (XTestQueryExtension(display, &event_base, &error_base, &major, &minor) == 0) {
      XCloseDisplay(display);
      return fail("The X display cannot synthesise keys (no XTest)");
    }
    display_ = display;
    return display_;
  }

  [[noreturn]] Display* fail(const char* reason) {
    unusable_ = true;
    unusable_reason_ = reason;
    throw SpeechError(unusable_reason_);
  }

  SynthesisedKeys* own_;
  std::set<Key> down_;          // pressed here and not yet released
  std::optional<Key> command_;  // the screen reader's own read-title command key, if any
  std::chrono::steady_clock::time_point lastCommand_;
  Display* display_ = nullptr;
  bool unusable_ = false;
  std::string unusable_reason_;
};

}  // namespace

std::unique_ptr<KeySender> createKeySender(SynthesisedKeys* own) {
  return std::make_unique<X11KeySender>(own);
}

}  // namespace skycall
