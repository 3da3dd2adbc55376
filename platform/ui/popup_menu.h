#pragma once
// The framework's popup menu: a QMenu that opens with its left edge, right edge or middle at
// the point given, and that may be shown automatically by the control it belongs to.

#include <QMenu>
#include <QPointer>
#include <functional>

namespace kv::ui {

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public QMenu {
public:
  explicit TPopupMenu(QWidget *parent = nullptr);

  TPopupAlignment Alignment = paLeft;
  bool AutoPopup = true;
  // The control that showed the menu last.
  QPointer<QObject> PopupComponent;

  // Shows the menu at the screen point `at` (aligned as Alignment says) and returns when it has
  // closed; the click that closes it does not reach the window below.
  void Popup(QPoint at);
  // Where the menu's top-left corner goes for the point `at`.
  QPoint PlaceFor(QPoint at) const;

  // While set, Popup calls it instead of showing the menu (tests).
  static std::function<void(TPopupMenu &, QPoint)> &ShowHook();
};

} // namespace kv::ui
