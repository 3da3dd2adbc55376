#include "platform/ui/message_box.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <algorithm>
#include <cmath>

#include "platform/system.h"
#include "platform/ui/application.h"

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

// Stands for a blank inside a part that stays whole: no break point for the box, measured as a
// blank.
constexpr char16_t kGlue = u'\uE000';

int GluedWidth(const QFontMetrics &metrics, QStringView text) {
  return metrics.horizontalAdvance(text.toString().replace(QChar(kGlue), QChar(u' ')));
}

// Capitals whose accents reach highest.
const QString kTallLetters = QStringLiteral("ÄÖÜÅÉ");

// The text of a box, in the place of the box's label and drawn like it: selectable by mouse and
// keys, and what is copied (or dragged, or put in the selection) is the box's text as it is,
// whatever the lines. They break at blanks, and a word too long for a line anywhere; the text
// shown may have line breaks in place of some blanks.
class TBoxText final : public QTextEdit {
public:
  TBoxText(const QString &text, const QString &shown, int width, const QLabel &label)
      : QTextEdit(label.parentWidget()), text_(text) {
    setObjectName(QStringLiteral("kvBoxText"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::ClickFocus);
    setFont(label.font());
    QPalette palette = label.palette();
    palette.setBrush(QPalette::Base, Qt::transparent);
    palette.setBrush(QPalette::Text, palette.brush(QPalette::WindowText));
    setPalette(palette);
    viewport()->setAutoFillBackground(false);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setPlainText(shown);
    // Accents over capitals (the dots of "Ü") reach above the font's ascent, where the edit would
    // cut them off in its first line.
    const QFontMetrics metrics(font());
    const int room = std::max(0, -metrics.tightBoundingRect(kTallLetters).top() - metrics.ascent());
    const auto lay = [room](QTextDocument &document) {
      document.setDocumentMargin(0);
      QTextFrameFormat frame = document.rootFrame()->frameFormat();
      frame.setTopMargin(room);
      document.rootFrame()->setFrameFormat(frame);
    };
    lay(*document());
    // Its height from a copy laid out now: the edit lays its own document out when shown.
    QTextDocument copy;
    copy.setDefaultFont(font());
    copy.setDefaultTextOption(document()->defaultTextOption());
    copy.setPlainText(shown);
    lay(copy);
    copy.setTextWidth(width);
    setFixedSize(width, int(std::ceil(copy.size().height())));
  }

protected:
  // The shown text has as many characters as the text, so a selection is the same span of both.
  QMimeData *createMimeDataFromSelection() const override {
    const QTextCursor cursor = textCursor();
    auto *data = new QMimeData;
    data->setText(text_.mid(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()));
    return data;
  }

private:
  QString text_;
};

// Replaces the box's label by a TBoxText. The box is as wide as half the screen (at most 500
// pixels) or as its widest word, but never wider than the screen less 480 pixels, 1000 at most
// (a screen up to 1024 pixels wide may be filled); it narrows to a text that needs less. A word
// over 40 characters may break anywhere and does not widen the box, unless it holds one of the
// parts that stay whole: a text with such parts is broken by the box itself, at blanks outside
// them, since the layout would also break after "/" and "-", in the middle of a path or a
// command. Only a part wider than the widest box is left for the layout to break.
void SetBoxText(QMessageBox &box, const MessageRequest &request) {
  auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
  if (!label || !box.layout()) return;
  QString text = request.text;
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QString glued = text;
  // Longest first: a part inside a longer one is then already glued with it.
  QStringList parts = request.unbroken;
  parts.removeAll(QString());
  std::sort(parts.begin(), parts.end(),
            [](const QString &a, const QString &b) { return a.size() > b.size(); });
  for (QString &part : parts) {
    const QString plain = part;
    glued.replace(plain, part.replace(QChar(u' '), QChar(kGlue)));
  }

  constexpr int kProbe = 1000;
  label->setMinimumWidth(kProbe);
  box.layout()->invalidate();
  const int around = box.layout()->totalMinimumSize().width() - kProbe;
  const QScreen *screen = box.screen();
  const int screen_width = screen ? screen->availableGeometry().width() : 1024;
  const int widest_box = screen_width <= 1024 ? screen_width : std::min(screen_width - 480, 1000);
  const QFontMetrics metrics(label->font());
  const int slack = metrics.averageCharWidth();
  const int usable = widest_box - around - slack;
  // Longer than any word of the program's own texts.
  constexpr int kLongWord = 40;
  int width = std::min(screen_width / 2, 500) - around;
  for (const QString &word : glued.split(QRegularExpression(QStringLiteral("[ \n]")), Qt::SkipEmptyParts))
    if (word.size() <= kLongWord ||
        std::any_of(parts.begin(), parts.end(), [&](const QString &part) { return word.contains(part); }))
      width = std::max(width, GluedWidth(metrics, word));
  width = std::max(1, std::min(width, usable));

  // A blank outside the parts becomes a line break where the next word would not fit.
  if (!parts.isEmpty()) {
    qsizetype start = 0, blank = -1;
    for (qsizetype i = 0; i <= glued.size(); ++i) {
      const bool line_end = i == glued.size() || glued[i] == u'\n';
      if (!line_end && glued[i] != u' ') continue;
      if (blank > start && GluedWidth(metrics, QStringView(glued).mid(start, i - start)) > width) {
        glued[blank] = u'\n';
        start = blank + 1;
      }
      if (line_end) {
        start = i + 1;
        blank = -1;
      } else {
        blank = i;
      }
    }
  }
  int widest = 0;
  for (const QString &line : glued.split(u'\n'))
    widest = std::max(widest, GluedWidth(metrics, line));
  const QString shown = glued.replace(QChar(kGlue), QChar(u' '));
  auto *shown_text = new TBoxText(text, shown, std::min(width, widest) + slack, *label);
  delete box.layout()->replaceWidget(label, shown_text);
  label->hide();
}

// A box waits for a click: while it is open the pointer has its usual shapes, not the wait
// cursor of a task that blocks around it, which gets its cursors back when the box closes.
class OverrideCursorsSuspended {
public:
  OverrideCursorsSuspended() {
    while (const QCursor *cursor = QGuiApplication::overrideCursor()) {
      saved_.push_back(*cursor);
      QGuiApplication::restoreOverrideCursor();
    }
  }
  ~OverrideCursorsSuspended() {
    for (auto cursor = saved_.rbegin(); cursor != saved_.rend(); ++cursor)
      QGuiApplication::setOverrideCursor(*cursor);
  }
  OverrideCursorsSuspended(const OverrideCursorsSuspended &) = delete;
  OverrideCursorsSuspended &operator=(const OverrideCursorsSuspended &) = delete;

private:
  std::vector<QCursor> saved_;
};

} // namespace

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
    platform::SayOnStandardError((request.caption + QStringLiteral(": ") + text).toStdString());
    return request.default_answer;
  }

  std::unique_ptr<QMessageBox> box = MakeMessageBox(parent, request);
  {
    const OverrideCursorsSuspended usual_pointer;
    box->exec();
  }
  if (const QAbstractButton *clicked = box->clickedButton(); clicked && clicked->property(kAnswer).isValid())
    return static_cast<MessageAnswer>(clicked->property(kAnswer).toInt());
  // Closed: Cancel or No where the box has one.
  if (request.buttons == MessageButtons::Ok) return request.default_answer;
  return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget *parent, const MessageRequest &request) {
  auto box = std::make_unique<QMessageBox>(QtIcon(request.icon), request.caption, request.text,
                                           QMessageBox::NoButton, parent);
  box->setTextFormat(Qt::PlainText);
  QPushButton *escape = nullptr;
  for (const ButtonInfo &button : Buttons(request.buttons)) {
    QPushButton *b = box->addButton(QString::fromUtf8(button.text), button.role);
    b->setProperty(kAnswer, static_cast<int>(button.answer));
    if (button.answer == request.default_answer) box->setDefaultButton(b);
    if (button.answer == MessageAnswer::Cancel || (button.answer == MessageAnswer::No && !escape)) escape = b;
  }
  if (escape) box->setEscapeButton(escape);
  SetBoxText(*box, request);
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
