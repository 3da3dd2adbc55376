#pragma once
// While a modal dialog of the system runs, the application's other top-level windows are
// disabled. Only the windows this object disabled are enabled again afterwards: a window that
// was already disabled (the owner of another modal dialog) stays so.

#include <QPointer>
#include <QWidget>
#include <vector>

namespace kv::ui {

class TTaskWindowsDisabled {
public:
  // Remembers the active window and disables every enabled top-level window except `keep`.
  explicit TTaskWindowsDisabled(QWidget *keep = nullptr);
  // Enables the windows it disabled and activates the remembered window again.
  ~TTaskWindowsDisabled();
  TTaskWindowsDisabled(const TTaskWindowsDisabled &) = delete;
  TTaskWindowsDisabled &operator=(const TTaskWindowsDisabled &) = delete;

  // The windows it disabled.
  std::vector<QPointer<QWidget>> Disabled() const { return disabled_; }

private:
  std::vector<QPointer<QWidget>> disabled_;
  QPointer<QWidget> active_;
};

} // namespace kv::ui
