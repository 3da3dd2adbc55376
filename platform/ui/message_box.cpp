#include "platform/ui/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

#include "platform/ui/application.h"

namespace kv::ui {

namespace {

MessageBoxCapture *g_capture = nullptr;

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

QString BoxText(const QString &text) {
  // Longer than any word of the program's own texts.
  constexpr int kLongWord = 40;
  QString shown;
  shown.reserve(text.size());
  for (qsizetype start = 0; start < text.size();) {
    qsizetype end = start;
    while (end < text.size() && !text[end].isSpace())
      ++end;
    if (end - start <= kLongWord) {
      shown += QStringView(text).mid(start, end - start);
    } else {
      for (qsizetype i = start; i < end; ++i) {
        shown += text[i];
        if (i + 1 < end && !text[i].isHighSurrogate()) shown += QChar(0x200B);
      }
    }
    while (end < text.size() && text[end].isSpace())
      shown += text[end++];
    start = end;
  }
  return shown;
}

MessageBoxCapture::MessageBoxCapture() : previous_(g_capture) { g_capture = this; }

MessageBoxCapture::~MessageBoxCapture() { g_capture = previous_; }

MessageAnswer ShowMessage(QWidget *parent, const MessageRequest &request) {
  if (g_capture) {
    g_capture->shown_.push_back(request);
    if (g_capture->answers_.empty()) return request.default_answer;
    MessageAnswer a = g_capture->answers_.front();
    g_capture->answers_.erase(g_capture->answers_.begin());
    return a;
  }
  if (IsHeadless()) {
    QString text = request.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    std::fprintf(stderr, "%s: %s\n", request.caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
    return request.default_answer;
  }

  const QString text = BoxText(request.text);
  QMessageBox box(QtIcon(request.icon), request.caption, text, QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  // Where a style lets the text be selected, a copy would carry the zero-width spaces.
  if (text != request.text) box.setTextInteractionFlags(Qt::NoTextInteraction);
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
