// The mark-up language's text level: pre-processing, entities, cutting into runs and tags, and
// the tag letters.
#include "controls/panels/markup_lexer.h"

#include <gtest/gtest.h>

#include "qt_application.h"
#include "test_support.h"

#include <random>
#include <vector>

using namespace kv::panels;

namespace {

struct TextCase {
  const char16_t *in;
  const char16_t *out;
};

std::ostream &operator<<(std::ostream &os, const TextCase &c) {
  return os << QString::fromUtf16(c.in).toStdString();
}

class Preprocess : public ::testing::TestWithParam<TextCase> {};

TEST_P(Preprocess, GivesTheTextTheRendererLaysOut) {
  EXPECT_EQ(PreprocessMarkup(QString::fromUtf16(GetParam().in)), QString::fromUtf16(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(Table, Preprocess,
                         ::testing::Values(TextCase{u"no entities", u"no entities"},
                                           TextCase{u"a&amp;b", u"a&&b"}, TextCase{u"&AmP;", u"&&"},
                                           // The second "&" of "&amp;" starts a new entity with what follows.
                                           TextCase{u"&amp;quot;", u"&\""}, TextCase{u"&amp;amp;", u"&&&"},
                                           TextCase{u"&amp;lt;", u"&&lt;"},
                                           TextCase{u"&quot;&sect;&permil;&reg;&copy;&para;&trade;&euro;",
                                                    u"\"\u00A7\u2030\u00AE\u00A9\u00B6\u2122\u20AC"},
                                           TextCase{u"&EURO; &Euro;", u"\u20AC \u20AC"},
                                           TextCase{u"&unknown; & &amp", u"&unknown; & &amp"},
                                           // Run entities wait for the runs.
                                           TextCase{u"&nbsp;&lt;&gt;", u"&nbsp;&lt;&gt;"},
                                           // Only the first "<#" loses its "<" and the next ">".
                                           TextCase{u"a<#b>c", u"a#bc"},
                                           TextCase{u"a<#b>c<#d>e", u"a#bc<#d>e"}, TextCase{u"<#x", u"#x"},
                                           TextCase{u"x>y<#z", u"x>y#z"},
                                           // Carriage return to a break, line feed dropped.
                                           TextCase{u"a\r\nb\nc\rd", u"a<BR>bc<BR>d"}),
                         [](const auto &info) {
                           return kvtest::TestNameOf(QString::fromUtf16(info.param.in).toStdString());
                         });

// The repeated first-occurrence replacement exactly as the language defines it.
QString LiteralEntities(QString s) {
  static const std::vector<std::pair<QString, QString>> entities = {{"&amp;", "&&"},
                                                                    {"&quot;", "\""},
                                                                    {"&sect;", QString(QChar(0xA7))},
                                                                    {"&permil;", QString(QChar(0x2030))},
                                                                    {"&reg;", QString(QChar(0xAE))},
                                                                    {"&copy;", QString(QChar(0xA9))},
                                                                    {"&para;", QString(QChar(0xB6))},
                                                                    {"&trade;", QString(QChar(0x2122))},
                                                                    {"&euro;", QString(QChar(0x20AC))}};
  if (!s.contains('&')) return s;
  bool found = true;
  while (found) {
    found = false;
    for (const auto &[name, result] : entities) {
      const qsizetype p = s.indexOf(name, 0, Qt::CaseInsensitive);
      if (p >= 0) {
        s.replace(p, name.size(), result);
        found = true;
      }
    }
  }
  return s;
}

TEST(MarkupEntities, OnePassGivesTheRepeatedReplacementOnRandomTexts) {
  static const char *pieces[] = {"&",    "amp;",  "AMP;",  "&amp;",  "quot;", "&Quot;", "sect;", "permil;",
                                 "reg;", "copy;", "para;", "trade;", "euro;", "lt;",    "a",     "m",
                                 "p",    ";",     " ",     "&&",     "am",    "&e",     "uro;",  "x"};
  std::mt19937 rng(20050427);
  std::uniform_int_distribution<int> count(0, 12), pick(0, std::size(pieces) - 1);
  for (int i = 0; i < 30000; ++i) {
    QString text;
    for (int n = count(rng); n > 0; --n)
      text += QLatin1String(pieces[pick(rng)]);
    ASSERT_EQ(DecodeMarkupEntities(text), LiteralEntities(text)) << text.toStdString();
  }
}

TEST(MarkupEntities, RunEntitiesAndTheDoubledAmpersand) {
  EXPECT_EQ(DecodeRunEntities(u"A&nbsp;B"), "A B");
  EXPECT_EQ(DecodeRunEntities(u"&LT;b&gt;&Nbsp;"), "<b> ");
  EXPECT_EQ(DecodeRunEntities(u"&lt;&lt;&lt;"), "<<<");
  // "&amp;lt;" pre-processes to "&&lt;": a shown ampersand followed by "<".
  EXPECT_EQ(DecodeRunEntities(PreprocessMarkup("&amp;lt;")), "&&<");
  EXPECT_EQ(DecodeRunEntities(u"&&&lt;"), "&&<");
  EXPECT_EQ(DecodeRunEntities(u"&x &lt"), "&x &lt");
}

// Cuts a pre-processed text into "run:" and "tag:" items as the renderer walks it.
std::vector<QString> Cut(const QString &text, bool word_wrap) {
  std::vector<QString> items;
  TMarkupCursor cursor(text);
  while (!cursor.AtEnd()) {
    const QStringView run = cursor.NextRun(word_wrap);
    if (!run.isEmpty()) items.push_back("run:" + DecodeRunEntities(run));
    TMarkupTag tag;
    if (cursor.PeekTag(tag)) {
      items.push_back("tag:" + tag.Text.toString());
      cursor.SkipTag();
    }
  }
  return items;
}

TEST(MarkupCursor, CutsRunsAtTagsAndWithWordWrapAfterBlanks) {
  using V = std::vector<QString>;
  EXPECT_EQ(Cut("A&nbsp;B C", true), (V{"run:A B ", "run:C"}));
  EXPECT_EQ(Cut("A&nbsp;B C", false), (V{"run:A B C"}));
  EXPECT_EQ(Cut("one two<B>bold</B> x", true),
            (V{"run:one ", "run:two", "tag:<B>", "run:bold", "tag:</B>", "run: ", "run:x"}));
  EXPECT_EQ(Cut("a <A href=\"x>y\">z", false), (V{"run:a ", "tag:<A href=\"x>", "run:y\">z"}));
  // A "<" with at most two characters after it, or without a later ">", ends the text.
  EXPECT_EQ(Cut("abc<", true), (V{"run:abc"}));
  EXPECT_EQ(Cut("abc<x", true), (V{"run:abc"}));
  EXPECT_EQ(Cut("abc<BR", true), (V{"run:abc"}));
  EXPECT_EQ(Cut("abc<BR>d<e", true), (V{"run:abc", "tag:<BR>", "run:d"}));
  EXPECT_EQ(Cut("<>x", true), (V{"tag:<>", "run:x"}))
      << "a two-character rest is dropped, but <>x holds a tag";
}

TEST(MarkupCursor, WalksOnlyItsPartAndPeekingDoesNotConsume) {
  const QString text = "ab<B>cd<I>ef";
  TMarkupCursor cursor(text, 2, 7);
  TMarkupTag tag;
  ASSERT_TRUE(cursor.PeekTag(tag));
  ASSERT_TRUE(cursor.PeekTag(tag));
  EXPECT_EQ(tag.Kind, TMarkupTagKind::Bold);
  cursor.SkipTag();
  EXPECT_EQ(cursor.NextRun(true).toString(), "cd");
  EXPECT_TRUE(cursor.AtEnd());
}

struct TagCase {
  const char *text;
  TMarkupTagKind kind;
  bool closing;
};

std::ostream &operator<<(std::ostream &os, const TagCase &c) {
  return os << c.text;
}

class TagLetters : public ::testing::TestWithParam<TagCase> {};

TEST_P(TagLetters, AreRecognisedByTheirFirstLetters) {
  // Followed by more text, so that a closing tag has a rest longer than three characters.
  const QString text = QString::fromLatin1(GetParam().text) + "rest";
  TMarkupCursor cursor(text);
  TMarkupTag tag;
  ASSERT_TRUE(cursor.PeekTag(tag));
  EXPECT_EQ(tag.Kind, GetParam().kind);
  EXPECT_EQ(tag.Closing, GetParam().closing);
  EXPECT_EQ(tag.Text.toString(), QString::fromLatin1(GetParam().text));
}

using K = TMarkupTagKind;
INSTANTIATE_TEST_SUITE_P(
    Table, TagLetters,
    ::testing::Values(
        TagCase{"<A href=\"x\">", K::Anchor, false}, TagCase{"<a>", K::Anchor, false},
        TagCase{"<B>", K::Bold, false}, TagCase{"<b>", K::Bold, false}, TagCase{"<BR>", K::Break, false},
        TagCase{"<br/>", K::Break, false}, TagCase{"<BRAVO>", K::Break, false},
        TagCase{"<BLINK>", K::Blink, false}, TagCase{"<BODY bgcolor=\"clRed\">", K::Body, false},
        TagCase{"<BIG>", K::None, false}, TagCase{"<E>", K::Error, false}, TagCase{"<FONT>", K::Font, false},
        TagCase{"<FX>", K::Font, false}, TagCase{"<HI>", K::Highlight, false},
        TagCase{"<HR>", K::Rule, false}, TagCase{"<H1>", K::None, false}, TagCase{"<I>", K::Italic, false},
        TagCase{"<IND x=\"4\">", K::Indent, false}, TagCase{"<IMG src=\"idx:0\">", K::Image, false},
        TagCase{"<IX>", K::None, false}, TagCase{"<LI>", K::ListItem, false}, TagCase{"<LX>", K::None, false},
        TagCase{"<P align=\"right\">", K::Paragraph, false}, TagCase{"<R a=\"90\">", K::Rotate, false},
        TagCase{"<S>", K::Strike, false}, TagCase{"<SHAD>", K::Shadow, false},
        TagCase{"<SUB>", K::Subscript, false}, TagCase{"<sup>", K::Superscript, false},
        TagCase{"<SUB x>", K::None, false}, TagCase{"<U>", K::Underline, false},
        TagCase{"<UL>", K::List, false}, TagCase{"<Z>", K::Hidden, false}, TagCase{"<Q>", K::None, false},
        TagCase{"</A>", K::Anchor, true}, TagCase{"</B>", K::Bold, true},
        TagCase{"</BLINK>", K::BaseColor, true}, TagCase{"</E>", K::Error, true},
        TagCase{"</FONT>", K::Font, true}, TagCase{"</HI>", K::Highlight, true},
        TagCase{"</I>", K::Italic, true}, TagCase{"</LI>", K::ListItem, true},
        TagCase{"</P>", K::Paragraph, true}, TagCase{"</R>", K::Rotate, true},
        TagCase{"</SUB>", K::Subscript, true}, TagCase{"</SUP>", K::Subscript, true},
        TagCase{"</SHAD>", K::Shadow, true}, TagCase{"</S>", K::Strike, true},
        TagCase{"</U>", K::Underline, true}, TagCase{"</UL>", K::List, true},
        TagCase{"</Z>", K::Hidden, true}, TagCase{"</Q>", K::None, true}, TagCase{"</>", K::None, true}),
    [](const auto &info) {
      return kvtest::TestNameOf(std::string(info.param.closing ? "Close " : "") + info.param.text);
    });

TEST(MarkupCursor, AShortClosingFormAtTheEndIsAnOpeningTag) {
  TMarkupCursor cursor(u"</>");
  TMarkupTag tag;
  ASSERT_TRUE(cursor.PeekTag(tag));
  EXPECT_FALSE(tag.Closing);
  EXPECT_EQ(tag.Kind, K::None);
}

} // namespace
