#include "platform/ui/task_windows.h"

#include <QApplication>

namespace kv::ui {

TTaskWindowsDisabled::TTaskWindowsDisabled(QWidget *keep) : active_(QApplication::activeWindow()) {
  for (QWidget *w : QApplication::topLevelWidgets()) {
    if (w == keep || !w->isWindow() || !w->isEnabled()) continue;
    w->setEnabled(false);
    disabled_.emplace_back(w);
  }
}

TTaskWindowsDisabled::~TTaskWindowsDisabled() {
  for (auto &w : disabled_)
    if (w) w->setEnabled(true);
  if (active_ && active_->isVisible()) active_->activateWindow();
}

} // namespace kv::ui
