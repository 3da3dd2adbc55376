#include "controls/edits/edit_types.h"

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

} // namespace kv::edits
