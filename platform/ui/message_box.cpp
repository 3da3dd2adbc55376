#include "platform/ui/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

#include "platform/ui/application.h"

namespace kv::ui {

namespace {

MessageBoxCapture *g_capture = nullptr;
bool g_real_boxes = false;

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
  case MessageIcon::Information: return QMessageBox::Information;
  case MessageIcon::Warning: return QMessageBox::Warning;
  case MessageIcon::Error: return QMessageBox::Critical;
  case MessageIcon::Question: return QMessageBox::Question;
  case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonInfo {
  MessageAnswer answer;
  const char *text;
  QMessageBox::ButtonRole role;
};

std::vector<ButtonInfo> Buttons(MessageButtons buttons) {
  const ButtonInfo ok{MessageAnswer::Ok, "OK", QMessageBox::AcceptRole};
  const ButtonInfo cancel{MessageAnswer::Cancel, "Abbrechen", QMessageBox::RejectRole};
  const ButtonInfo yes{MessageAnswer::Yes, "&Ja", QMessageBox::YesRole};
  const ButtonInfo no{MessageAnswer::No, "&Nein", QMessageBox::NoRole};
  switch (buttons) {
  case MessageButtons::Ok: return {ok};
  case MessageButtons::OkCancel: return {ok, cancel};
  case MessageButtons::YesNo: return {yes, no};
  case MessageButtons::YesNoCancel: return {yes, no, cancel};
  }
  return {ok};
}

} // namespace

MessageBoxCapture::MessageBoxCapture() : previous_(g_capture) { g_capture = this; }

MessageBoxCapture::~MessageBoxCapture() { g_capture = previous_; }

RealMessageBoxes::RealMessageBoxes() : capture_(g_capture), previous_(g_real_boxes) {
  g_capture = nullptr;
  g_real_boxes = true;
}

RealMessageBoxes::~RealMessageBoxes() {
  g_capture = capture_;
  g_real_boxes = previous_;
}

MessageAnswer ShowMessage(QWidget *parent, const MessageRequest &request) {
  if (g_capture) {
    g_capture->shown_.push_back(request);
    if (g_capture->answers_.empty()) return request.default_answer;
    MessageAnswer a = g_capture->answers_.front();
    g_capture->answers_.erase(g_capture->answers_.begin());
    return a;
  }
  if (IsHeadless() && !g_real_boxes) {
    QString text = request.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    std::fprintf(stderr, "%s: %s\n", request.caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
    return request.default_answer;
  }

  QMessageBox box(QtIcon(request.icon), request.caption, request.text, QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  std::vector<std::pair<QAbstractButton *, MessageAnswer>> made;
  QPushButton *escape = nullptr;
  for (const ButtonInfo &button : Buttons(request.buttons)) {
    QPushButton *b = box.addButton(QString::fromUtf8(button.text), button.role);
    made.emplace_back(b, button.answer);
    if (button.answer == request.default_answer) box.setDefaultButton(b);
    if (button.answer == MessageAnswer::Cancel || (button.answer == MessageAnswer::No && !escape)) escape = b;
  }
  if (escape) box.setEscapeButton(escape);
  box.exec();
  for (const auto &[button, answer] : made)
    if (box.clickedButton() == button) return answer;
  return escape ? (request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel)
                : request.default_answer;
}

void ShowError(QWidget *parent, const QString &text) {
  ShowMessage(parent, {text, QStringLiteral("Fehler"), MessageIcon::Error});
}

void ShowWarning(QWidget *parent, const QString &text) {
  ShowMessage(parent, {text, QStringLiteral("Fehler"), MessageIcon::Warning});
}

void ShowInformation(QWidget *parent, const QString &text) {
  ShowMessage(parent, {text, QStringLiteral("Informationen"), MessageIcon::Information});
}

} // namespace kv::ui
