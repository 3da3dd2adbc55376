#include "platform/ui/beep.h"

#include <QApplication>

namespace kv::ui {

namespace {
std::function<void()> &Hook() {
  static std::function<void()> hook;
  return hook;
}
} // namespace

void MessageBeep() {
  if (Hook())
    Hook()();
  else if (qobject_cast<QApplication *>(QCoreApplication::instance()))
    QApplication::beep();
}

std::function<void()> SetBeepHook(std::function<void()> hook) {
  std::function<void()> previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

} // namespace kv::ui
