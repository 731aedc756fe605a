// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtKeyCodes.h"

#include <array>

namespace skycall {

namespace {

struct KeyCode {
  int qtKey;
  std::int16_t vk;
};

// Runs of keys whose codes follow each other in both numberings.
struct KeyRun {
  int firstQtKey;
  int lastQtKey;
  std::int16_t firstVk;
};

constexpr std::array kKeyRuns{
    KeyRun{Qt::Key_0, Qt::Key_9, 48},
    KeyRun{Qt::Key_A, Qt::Key_Z, 65},
    KeyRun{Qt::Key_F1, Qt::Key_F24, 112},
};

// The number pad, when Qt marks the key with the keypad modifier. Keypad keys not listed here
// (Home, arrows, ... with Num Lock off) have the codes of the keys they stand for.
constexpr std::array kKeypadKeys{
    KeyCode{Qt::Key_0, 96},      KeyCode{Qt::Key_1, 97},         KeyCode{Qt::Key_2, 98},
    KeyCode{Qt::Key_3, 99},      KeyCode{Qt::Key_4, 100},        KeyCode{Qt::Key_5, 101},
    KeyCode{Qt::Key_6, 102},     KeyCode{Qt::Key_7, 103},        KeyCode{Qt::Key_8, 104},
    KeyCode{Qt::Key_9, 105},     KeyCode{Qt::Key_Asterisk, 106}, KeyCode{Qt::Key_Plus, 107},
    KeyCode{Qt::Key_Comma, 108}, KeyCode{Qt::Key_Minus, 109},    KeyCode{Qt::Key_Period, 110},
    KeyCode{Qt::Key_Slash, 111}, KeyCode{Qt::Key_Enter, 13},
};

// Every other key. Qt names a shifted character by the character, Windows by the key that
// carries it, so both characters of a key (on a US layout) map to that key's code.
constexpr std::array kKeys{
    KeyCode{Qt::Key_Backspace, 8},
    KeyCode{Qt::Key_Tab, 9},
    KeyCode{Qt::Key_Backtab, 9},  // Shift+Tab
    KeyCode{Qt::Key_Clear, 12},
    KeyCode{Qt::Key_Return, 13},
    KeyCode{Qt::Key_Enter, 13},
    KeyCode{Qt::Key_Shift, 16},
    KeyCode{Qt::Key_Control, 17},
    KeyCode{Qt::Key_Alt, 18},
    KeyCode{Qt::Key_AltGr, 18},
    KeyCode{Qt::Key_Pause, 19},
    KeyCode{Qt::Key_CapsLock, 20},
    KeyCode{Qt::Key_Escape, 27},
    KeyCode{Qt::Key_Space, 32},
    KeyCode{Qt::Key_PageUp, 33},
    KeyCode{Qt::Key_PageDown, 34},
    KeyCode{Qt::Key_End, 35},
    KeyCode{Qt::Key_Home, 36},
    KeyCode{Qt::Key_Left, 37},
    KeyCode{Qt::Key_Up, 38},
    KeyCode{Qt::Key_Right, 39},
    KeyCode{Qt::Key_Down, 40},
    KeyCode{Qt::Key_Select, 41},
    KeyCode{Qt::Key_Printer, 42},
    KeyCode{Qt::Key_Execute, 43},
    KeyCode{Qt::Key_Print, 44},
    KeyCode{Qt::Key_SysReq, 44},
    KeyCode{Qt::Key_Insert, 45},
    KeyCode{Qt::Key_Delete, 46},
    KeyCode{Qt::Key_Help, 47},
    KeyCode{Qt::Key_ParenRight, 48},
    KeyCode{Qt::Key_Exclam, 49},
    KeyCode{Qt::Key_At, 50},
    KeyCode{Qt::Key_NumberSign, 51},
    KeyCode{Qt::Key_Dollar, 52},
    KeyCode{Qt::Key_Percent, 53},
    KeyCode{Qt::Key_AsciiCircum, 54},
    KeyCode{Qt::Key_Ampersand, 55},
    KeyCode{Qt::Key_Asterisk, 56},
    KeyCode{Qt::Key_ParenLeft, 57},
    KeyCode{Qt::Key_Meta, 91},
    KeyCode{Qt::Key_Super_L, 91},
    KeyCode{Qt::Key_Super_R, 92},
    KeyCode{Qt::Key_Menu, 93},
    KeyCode{Qt::Key_Sleep, 95},
    KeyCode{Qt::Key_NumLock, 144},
    KeyCode{Qt::Key_ScrollLock, 145},
    KeyCode{Qt::Key_VolumeMute, 173},
    KeyCode{Qt::Key_VolumeDown, 174},
    KeyCode{Qt::Key_VolumeUp, 175},
    KeyCode{Qt::Key_MediaNext, 176},
    KeyCode{Qt::Key_MediaPrevious, 177},
    KeyCode{Qt::Key_MediaStop, 178},
    KeyCode{Qt::Key_MediaTogglePlayPause, 179},
    KeyCode{Qt::Key_Semicolon, 186},
    KeyCode{Qt::Key_Colon, 186},
    KeyCode{Qt::Key_Equal, 187},
    KeyCode{Qt::Key_Plus, 187},
    KeyCode{Qt::Key_Comma, 188},
    KeyCode{Qt::Key_Less, 188},
    KeyCode{Qt::Key_Minus, 189},
    KeyCode{Qt::Key_Underscore, 189},
    KeyCode{Qt::Key_Period, 190},
    KeyCode{Qt::Key_Greater, 190},
    KeyCode{Qt::Key_Slash, 191},
    KeyCode{Qt::Key_Question, 191},
    KeyCode{Qt::Key_QuoteLeft, 192},
    KeyCode{Qt::Key_AsciiTilde, 192},
    KeyCode{Qt::Key_BracketLeft, 219},
    KeyCode{Qt::Key_BraceLeft, 219},
    KeyCode{Qt::Key_Backslash, 220},
    KeyCode{Qt::Key_Bar, 220},
    KeyCode{Qt::Key_BracketRight, 221},
    KeyCode{Qt::Key_BraceRight, 221},
    KeyCode{Qt::Key_Apostrophe, 222},
    KeyCode{Qt::Key_QuoteDbl, 222},
};

template <typename Table>
bool lookUp(const Table& table, int qtKey, std::int16_t& vk) {
  for (const KeyCode& entry : table) {
    if (entry.qtKey == qtKey) {
      vk = entry.vk;
      return true;
    }
  }
  return false;
}

struct ModifierBit {
  Qt::KeyboardModifier modifier;
  std::int16_t bit;
};

constexpr std::array kModifierBits{
    ModifierBit{Qt::ShiftModifier, 1},
    ModifierBit{Qt::ControlModifier, 2},
    ModifierBit{Qt::AltModifier, 4},
};

}  // namespace

std::int16_t virtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers) {
  std::int16_t vk = kNoVirtualKey;
  if (modifiers.testFlag(Qt::KeypadModifier) && lookUp(kKeypadKeys, qtKey, vk)) return vk;
  for (const KeyRun& run : kKeyRuns)
    if (qtKey >= run.firstQtKey && qtKey <= run.lastQtKey)
      return static_cast<std::int16_t>(run.firstVk + (qtKey - run.firstQtKey));
  lookUp(kKeys, qtKey, vk);
  return vk;
}

std::int16_t shiftMaskFor(Qt::KeyboardModifiers modifiers) {
  std::int16_t mask = 0;
  for (const ModifierBit& entry : kModifierBits)
    if (modifiers.testFlag(entry.modifier)) mask = static_cast<std::int16_t>(mask | entry.bit);
  return mask;
}

}  // namespace skycall
