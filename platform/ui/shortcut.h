#pragma once
// Keyboard shortcuts as the framework stores them: a 16-bit value holding the key's virtual key
// code in the low byte and the held Shift (0x2000), Ctrl (0x4000) and Alt (0x8000) keys.

#include <QKeyEvent>
#include <cstdint>

namespace kv::ui {

using TShortCut = std::uint16_t;

constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// Virtual key codes of the keys shortcuts name.
enum TVirtualKey : std::uint8_t {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_F1 = 0x70,
};

constexpr TShortCut ShortCut(std::uint8_t key, TShortCut shift) {
  return TShortCut(key | shift);
}

// The virtual key code of a Qt key; 0 for a key without one.
std::uint8_t VirtualKeyOf(int qt_key);
// The shortcut value of a key press (key plus Shift, Ctrl and Alt); 0 for a key without a code.
TShortCut ShortCutOf(const QKeyEvent &event);

} // namespace kv::ui
