// The panel mark-up language from outside: pre-processing, cutting into runs and tags, reading
// attributes, and laying a text out and hit-testing it with a fixed-pitch measure.
// Properties: the one-pass entity step equals the repeated replacement (checked on short
// texts, where the literal form is quick), the cursor always moves forward, numbers read from
// a text stay within their bounds, and layout ends with sizes in range.
#include <QString>
#include <cstddef>
#include <cstdint>

#include "controls/panels/markup_attrs.h"
#include "controls/panels/markup_lexer.h"
#include "controls/panels/markup_renderer.h"
#include "harness.h"
#include "platform/ui/canvas.h"
#include "platform/ui/text_measure.h"

namespace {

QString LiteralEntities(QString s) {
  static const char16_t *names[] = {u"&amp;",  u"&quot;", u"&sect;",  u"&permil;", u"&reg;",
                                    u"&copy;", u"&para;", u"&trade;", u"&euro;"};
  static const char16_t *results[] = {u"&&",     u"\"",     u"\u00A7", u"\u2030", u"\u00AE",
                                      u"\u00A9", u"\u00B6", u"\u2122", u"\u20AC"};
  for (bool found = s.contains(u'&'); found;) {
    found = false;
    for (size_t i = 0; i < std::size(names); ++i) {
      const QString name = QString::fromUtf16(names[i]);
      QString folded = s;
      for (QChar &c : folded)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z') c = QChar(c.unicode() + 32);
      const qsizetype p = folded.indexOf(name);
      if (p >= 0) {
        s.replace(p, name.size(), QString::fromUtf16(results[i]));
        found = true;
      }
    }
  }
  return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kv::panels;
  const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
  if (text.size() <= 64 && DecodeMarkupEntities(text) != LiteralEntities(text))
    kvfuzz::Broken("entity step differs from the repeated replacement");

  const QString pre = PreprocessMarkup(text);
  for (const bool wrap : {false, true}) {
    TMarkupCursor cursor(pre);
    while (!cursor.AtEnd()) {
      const qsizetype before = cursor.Pos();
      DecodeRunEntities(cursor.NextRun(wrap));
      TMarkupTag tag;
      if (cursor.PeekTag(tag)) {
        if (tag.Text.isEmpty() || tag.Text.front() != u'<' || tag.Text.back() != u'>')
          kvfuzz::Broken("tag bounds");
        AnchorTarget(tag);
        if (const auto points = FontSizeAttr(tag);
            points && (*points < kMinFontPoints || *points > kMaxFontPoints))
          kvfuzz::Broken("font size out of bounds");
        const uint32_t color = MarkupColor(MarkupAttr(tag, u" COLOR", true, 5));
        if (color > 0xFFFFFF && (color < 0xFF000001 || color > 0xFF000018))
          kvfuzz::Broken("colour neither RGB nor one of the named system colours");
        BodyColor(MarkupAttr(tag, u"BGCOLOR", true));
        ReadMarkupInt(MarkupAttr(tag, u"WIDTH"));
        cursor.SkipTag();
      }
      if (!cursor.AtEnd() && cursor.Pos() == before) kvfuzz::Broken("cursor did not move");
    }
  }

  kv::ui::TFixedTextMeasure measure(6, 13, 0);
  kv::ui::TCanvas canvas;
  canvas.SetTextMeasure(&measure);
  TMarkupParams params;
  params.Rect = kv::ui::Rect(0, 0, 1 + int(size % 97), 400);
  for (const bool measure_only : {true, false}) {
    params.MeasureOnly = measure_only;
    params.CheckOnly = true;
    params.WordWrap = size % 2;
    params.X = 20;
    params.Y = 20;
    TMarkupResult result;
    DrawMarkup(canvas, text, params, result);
    if (result.YSize < 13 || result.XSize < 0) kvfuzz::Broken("layout size");
  }
  return 0;
}
