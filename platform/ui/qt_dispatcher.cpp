#include "platform/ui/qt_dispatcher.h"

#include <QMetaObject>

namespace kv::ui {

QtDispatcher::QtDispatcher() : receiver_(std::make_unique<QObject>()) {}

QtDispatcher::~QtDispatcher() {
  Close();
  receiver_.reset(); // Qt discards the calls still queued for it
}

bool QtDispatcher::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  if (closed_ || !task) return false;
  return QMetaObject::invokeMethod(
      receiver_.get(), [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtDispatcher::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

} // namespace kv::ui
