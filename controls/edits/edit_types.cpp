#include "controls/edits/edit_types.h"

#include <QWidget>

#include "platform/ui/message_box.h"

namespace kv::edits {

void GuardEvent(QWidget *parent, const std::function<void()> &action) {
  try {
    action();
  } catch (const EMessageError &error) {
    ui::ShowError(parent, error.Message());
  } catch (const std::exception &error) {
    ui::ShowError(parent, QString::fromLocal8Bit(error.what()));
  }
}

void FocusOnPress(QWidget *control) {
  if (control && (control->focusPolicy() & Qt::TabFocus) && control->isEnabled() && control->isVisible() &&
      !control->hasFocus())
    control->setFocus(Qt::MouseFocusReason);
}

} // namespace kv::edits
