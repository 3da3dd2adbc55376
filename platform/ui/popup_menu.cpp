#include "platform/ui/popup_menu.h"

namespace kv::ui {

TPopupMenu::TPopupMenu(QWidget *parent) : QMenu(parent) {
  setAttribute(Qt::WA_NoMouseReplay);
}

std::function<void(TPopupMenu &, QPoint)> &TPopupMenu::ShowHook() {
  static std::function<void(TPopupMenu &, QPoint)> hook;
  return hook;
}

QPoint TPopupMenu::PlaceFor(QPoint at) const {
  const int width = sizeHint().width();
  switch (Alignment) {
  case paRight:
    return {at.x() - width, at.y()};
  case paCenter:
    return {at.x() - width / 2, at.y()};
  default:
    return at;
  }
}

void TPopupMenu::Popup(QPoint at) {
  if (ShowHook()) {
    ShowHook()(*this, at);
    return;
  }
  exec(PlaceFor(at));
}

} // namespace kv::ui
