#pragma once
// Types the edit controls share: events, the library's exception, the framework's range error,
// text alignment.

#include <QString>
#include <functional>
#include <stdexcept>

class QObject;
class QWidget;

namespace kv::edits {

// A component event: the component that raises it comes first.
using TNotifyEvent = std::function<void(QObject *Sender)>;

// An error that carries a user-facing message.
class EMessageError : public std::runtime_error {
public:
  explicit EMessageError(const QString &message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString &Message() const { return message_; }

private:
  QString message_;
};

// The error of the edit library.
class EKvException : public EMessageError {
  using EMessageError::EMessageError;
};

// A value outside its allowed range.
class ERangeError : public EMessageError {
  using EMessageError::EMessageError;
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Reading direction of a control.
enum TBiDiMode { bdLeftToRight, bdRightToLeft };

// Sets a flag for the life of a block and clears it however the block is left.
class ScopedFlag {
public:
  explicit ScopedFlag(bool &flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag &) = delete;
  ScopedFlag &operator=(const ScopedFlag &) = delete;

private:
  bool &flag_;
};

// Runs `action`; an error it raises is shown to the user (caption "Fehler") instead of leaving
// the event handler that ran it.
void GuardEvent(QWidget *parent, const std::function<void()> &action);

// A control pressed with the mouse takes the focus when it can (it is a tab stop, enabled and
// visible) and does not hold it already.
void FocusOnPress(QWidget *control);

} // namespace kv::edits
