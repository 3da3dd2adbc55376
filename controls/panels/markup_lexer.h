#pragma once
// The panel mark-up language's text level: pre-processing of a whole text (entities, "<#", line
// breaks), the entities replaced inside each run, and the cursor that cuts a text into runs and
// tags. Case-insensitive matching is ASCII only; every position counts UTF-16 units.

#include <QString>
#include <QStringView>

namespace kv::panels {

// Entities, the first "<#" and line breaks, in that order.
QString PreprocessMarkup(const QString &text);

// The nine entities of a whole text ("&amp;" gives "&&"). The result is that of replacing, again
// and again, the first occurrence of each entity until none is left, reached in one pass.
QString DecodeMarkupEntities(const QString &text);

// "&nbsp;", "&lt;" and "&gt;" inside one run. A doubled ampersand (one shown ampersand) stays
// whole, also where its second "&" begins an entity: "&&lt;" becomes "&&<" and shows "&<".
QString DecodeRunEntities(QStringView run);

// ASCII upper case; keeps every position.
QString AsciiUpper(QStringView text);

enum class TMarkupTagKind {
  None,        // unrecognised: removed without effect
  Anchor,      // A
  Bold,        // B> ; closing "</B>"
  BaseColor,   // closing B other than "</B>": text colour back to the base font's
  Break,       // BR
  Blink,       // BL
  Body,        // BO
  Error,       // E
  Font,        // F
  Highlight,   // HI ; closing H
  Rule,        // HR
  Italic,      // I> ; closing I
  Indent,      // IN
  Image,       // IM
  ListItem,    // LI ; closing L ends the line
  Paragraph,   // P
  Rotate,      // R
  Strike,      // S> ; closing S other than SU and SH
  Shadow,      // SH
  Subscript,   // "<SUB>" ; closing SU ends sub- and superscript
  Superscript, // "<SUP>"
  Underline,   // U> ; closing "</U>"
  List,        // other U (UL) ; closing UL
  Hidden,      // Z
};

struct TMarkupTag {
  TMarkupTagKind Kind = TMarkupTagKind::None;
  bool Closing = false;
  QStringView Text; // "<" to ">" inclusive, as written
  QString Upper;    // Text in ASCII upper case, same positions
};

// Sorts a tag by its first letters.
TMarkupTagKind ClassifyTag(QStringView upper, bool closing);

// Walks a pre-processed text, or a part of it, front to back.
class TMarkupCursor {
public:
  TMarkupCursor(QStringView text, qsizetype pos = 0, qsizetype end = -1);

  bool AtEnd() const { return pos_ >= end_; }
  qsizetype Pos() const { return pos_; }
  qsizetype End() const { return end_; }
  // Puts the cursor back, e.g. before a run that goes to the next line.
  void Rewind(qsizetype pos) { pos_ = pos; }

  // The run at the front (may be empty), consumed: up to the first "<", or with word wrap up to
  // and including a blank that comes first.
  QStringView NextRun(bool word_wrap);

  // Whether the front is a "<".
  bool AtTag() const { return pos_ < end_ && text_[pos_] == u'<'; }
  // The tag at the front, not consumed. False when there is none: a "<" with at most two
  // characters after it, or without a later ">", ends the text (the rest is dropped).
  bool PeekTag(TMarkupTag &tag);
  // Consumes the tag PeekTag returned.
  void SkipTag();

  // Drops everything after the cursor.
  void DropRest() { end_ = pos_; }

private:
  QStringView text_;
  qsizetype pos_;
  qsizetype end_;
  qsizetype tag_end_ = -1; // just after the ">" of the peeked tag
};

} // namespace kv::panels
