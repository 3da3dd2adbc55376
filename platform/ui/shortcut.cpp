#include "platform/ui/shortcut.h"

namespace kv::ui {

std::uint8_t VirtualKeyOf(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return std::uint8_t('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return std::uint8_t('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return std::uint8_t(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
  case Qt::Key_Backspace:
    return VK_BACK;
  case Qt::Key_Tab:
  case Qt::Key_Backtab:
    return VK_TAB;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return VK_RETURN;
  case Qt::Key_Escape:
    return VK_ESCAPE;
  case Qt::Key_Space:
    return VK_SPACE;
  case Qt::Key_PageUp:
    return VK_PRIOR;
  case Qt::Key_PageDown:
    return VK_NEXT;
  case Qt::Key_End:
    return VK_END;
  case Qt::Key_Home:
    return VK_HOME;
  case Qt::Key_Left:
    return VK_LEFT;
  case Qt::Key_Up:
    return VK_UP;
  case Qt::Key_Right:
    return VK_RIGHT;
  case Qt::Key_Down:
    return VK_DOWN;
  case Qt::Key_Insert:
    return VK_INSERT;
  case Qt::Key_Delete:
    return VK_DELETE;
  default:
    return 0;
  }
}

TShortCut ShortCutOf(const QKeyEvent &event) {
  const std::uint8_t key = VirtualKeyOf(event.key());
  if (key == 0) return 0;
  TShortCut shift = 0;
  const auto mods = event.modifiers();
  if (mods & Qt::ShiftModifier) shift |= scShift;
  if (mods & Qt::ControlModifier) shift |= scCtrl;
  if (mods & Qt::AltModifier) shift |= scAlt;
  return ShortCut(key, shift);
}

} // namespace kv::ui
