#pragma once
// Message boxes with German captions and buttons. Without a display the text goes to standard
// error and the default answer is returned, so an unattended run never waits for a click.
// MessageBoxCapture lets tests answer boxes instead of showing them; RealMessageBoxes shows them
// to a test.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QMessageBox;
class QWidget;

namespace kv::ui {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
  QString text;
  QString caption;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
  MessageAnswer default_answer = MessageAnswer::Ok; // focused button; the answer without a display
  // Parts of the text (commands, paths) that are never broken across lines: the box then breaks
  // the lines itself, only at blanks outside these parts, and is made wide enough for them.
  QStringList unbroken = {};
};

// Shows the box modally over `parent` and returns the button pressed; closing the box counts as
// Cancel or No where the box has one, else as the default answer.
MessageAnswer ShowMessage(QWidget *parent, const MessageRequest &request);

// The box ShowMessage shows, with its buttons, not yet shown. Its text is a read-only text edit
// named "kvBoxText": selectable, and a copy is the text itself (line breaks as "\n"). A word too
// long for a line (a path, an address) breaks anywhere, so the box neither grows past the screen
// nor cuts it off.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget *parent, const MessageRequest &request);

// A box with only "OK", for one of the usual captions.
void ShowError(QWidget *parent, const QString &text);       // "Fehler", error icon
void ShowWarning(QWidget *parent, const QString &text);     // "Fehler", exclamation icon
void ShowInformation(QWidget *parent, const QString &text); // "Informationen", information icon

// While an instance lives, boxes are not shown: each is recorded and answered with the next
// queued answer, or its default answer when none is queued. Not for use from several threads.
class MessageBoxCapture {
public:
  MessageBoxCapture();
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture &) = delete;
  MessageBoxCapture &operator=(const MessageBoxCapture &) = delete;

  void SetNextAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  const std::vector<MessageRequest> &Shown() const { return shown_; }
  void Clear() { shown_.clear(); }

private:
  friend MessageAnswer ShowMessage(QWidget *, const MessageRequest &);
  std::vector<MessageAnswer> answers_;
  std::vector<MessageRequest> shown_;
  MessageBoxCapture *previous_ = nullptr;
};

// While an instance lives, boxes are shown as real windows even on a platform without a display
// (offscreen) and even while a capture lives, so that a test can look at the box and click it.
// Instances and captures nest; they end in the reverse order.
class RealMessageBoxes {
public:
  RealMessageBoxes();
  ~RealMessageBoxes();
  RealMessageBoxes(const RealMessageBoxes &) = delete;
  RealMessageBoxes &operator=(const RealMessageBoxes &) = delete;

private:
  MessageBoxCapture *capture_;
  bool previous_;
};

} // namespace kv::ui
