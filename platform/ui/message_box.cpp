#include "platform/ui/message_box.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <algorithm>
#include <cstdio>

#include "platform/ui/application.h"
#include "platform/ui/text_layout.h"

namespace kv::ui {

namespace {

MessageBoxCapture *g_capture = nullptr;
bool g_real_boxes = false;

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
  case MessageIcon::Information:
    return QMessageBox::Information;
  case MessageIcon::Warning:
    return QMessageBox::Warning;
  case MessageIcon::Error:
    return QMessageBox::Critical;
  case MessageIcon::Question:
    return QMessageBox::Question;
  case MessageIcon::None:
    break;
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
  case MessageButtons::Ok:
    return {ok};
  case MessageButtons::OkCancel:
    return {ok, cancel};
  case MessageButtons::YesNo:
    return {yes, no};
  case MessageButtons::YesNoCancel:
    return {yes, no, cancel};
  }
  return {ok};
}

// The answer a button of ours gives, as a property of the button.
constexpr const char *kAnswer = "kvAnswer";

// Stands for a blank inside a part that stays whole: no break point for the layout, measured
// as a blank.
constexpr char16_t kGlue = u'\uE000';

class GluedMeasure : public TTextMeasure {
public:
  explicit GluedMeasure(const QFont &font) : metrics_(font) {}
  int TextWidth(const TFont &, const QString &text) const override {
    return metrics_.horizontalAdvance(QString(text).replace(QChar(kGlue), QChar(u' ')));
  }
  int TextHeight(const TFont &) const override { return metrics_.height(); }
  int ExternalLeading(const TFont &) const override { return metrics_.leading(); }

private:
  QFontMetrics metrics_;
};

// Breaks the box's text itself, at blanks outside the parts that stay whole: the label would
// also break after "/" and "-", in the middle of a path or a command. The label is then made
// wide enough for its widest line, so it breaks none of them again; only a part wider than the
// widest box is left for the label to break.
void KeepPartsWhole(QMessageBox &box, const MessageRequest &request) {
  auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
  if (!label || !box.layout()) return;
  QString glued = request.text;
  glued.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  // Longest first: a part inside a longer one is then already glued with it.
  QStringList parts = request.unbroken;
  std::sort(parts.begin(), parts.end(),
            [](const QString &a, const QString &b) { return a.size() > b.size(); });
  for (const QString &part : parts) {
    if (part.isEmpty()) continue;
    QString whole = part;
    whole.replace(QChar(u' '), QChar(kGlue));
    glued.replace(part, whole);
  }

  // The box is as wide as half the screen (at most 500 pixels) or as its widest line, but never
  // wider than the screen less 480 pixels, 1000 at most (a screen up to 1024 pixels wide may be
  // filled). Its icon and margins take their part of that.
  constexpr int kProbe = 1000;
  label->setMinimumWidth(kProbe);
  box.layout()->invalidate();
  const int around = box.layout()->totalMinimumSize().width() - kProbe;
  const QScreen *screen = box.screen();
  const int screen_width = screen ? screen->availableGeometry().width() : 1024;
  const int widest_box = screen_width <= 1024 ? screen_width : std::min(screen_width - 480, 1000);
  const int slack = QFontMetrics(label->font()).averageCharWidth();
  const int usable = widest_box - around - slack;
  const GluedMeasure measure(label->font());
  int width = std::min(screen_width / 2, 500) - around;
  for (const QString &word : glued.split(QRegularExpression(QStringLiteral("[ \n]")), Qt::SkipEmptyParts))
    width = std::max(width, measure.TextWidth({}, word));
  width = std::max(1, std::min(width, usable));

  const TTextLayout layout = LayoutText(measure, {}, glued, {0, 0, width, 0}, tfWordBreak | tfNoPrefix);
  QStringList lines;
  for (const TTextLine &line : layout.lines)
    lines << line.text;
  box.setText(lines.join(QChar(u'\n')).replace(QChar(kGlue), QChar(u' ')));
  label->setMinimumWidth(std::max(1, std::min(layout.width, usable)) + slack);
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

MessageBoxCapture::MessageBoxCapture() : previous_(g_capture) {
  g_capture = this;
}

MessageBoxCapture::~MessageBoxCapture() {
  g_capture = previous_;
}

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
    std::fprintf(stderr, "%s: %s\n", request.caption.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
    std::fflush(stderr);
    return request.default_answer;
  }

  std::unique_ptr<QMessageBox> box = MakeMessageBox(parent, request);
  box->exec();
  if (const QAbstractButton *clicked = box->clickedButton(); clicked && clicked->property(kAnswer).isValid())
    return static_cast<MessageAnswer>(clicked->property(kAnswer).toInt());
  // Closed: Cancel or No where the box has one.
  if (request.buttons == MessageButtons::Ok) return request.default_answer;
  return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget *parent, const MessageRequest &request) {
  // A text with parts that stay whole is broken by KeepPartsWhole; in any other, a word too long
  // for a line may break anywhere.
  const QString text = request.unbroken.isEmpty() ? BoxText(request.text) : request.text;
  auto box = std::make_unique<QMessageBox>(QtIcon(request.icon), request.caption, text, QMessageBox::NoButton,
                                           parent);
  box->setTextFormat(Qt::PlainText);
  // Where a style lets the text be selected, a copy would carry the zero-width spaces.
  if (text != request.text) box->setTextInteractionFlags(Qt::NoTextInteraction);
  QPushButton *escape = nullptr;
  for (const ButtonInfo &button : Buttons(request.buttons)) {
    QPushButton *b = box->addButton(QString::fromUtf8(button.text), button.role);
    b->setProperty(kAnswer, static_cast<int>(button.answer));
    if (button.answer == request.default_answer) box->setDefaultButton(b);
    if (button.answer == MessageAnswer::Cancel || (button.answer == MessageAnswer::No && !escape)) escape = b;
  }
  if (escape) box->setEscapeButton(escape);
  if (!request.unbroken.isEmpty()) KeepPartsWhole(*box, request);
  return box;
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
