// The spin edit's model without a window: loading order and the automatic checks, clamping,
// readings that never raise, the locales' separators, hexadecimal and float texts, the key
// filter and validator, stepping, and the change and exit checks.
#include "controls/edits/spin_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "edit_test_util.h"

using namespace kv::edits;

namespace {

const NumberLocale kGerman{QStringLiteral(","), QStringLiteral(".")};
const NumberLocale kSwiss{QStringLiteral("."), QString(QChar(0x2019))};
const NumberLocale kFrench{QStringLiteral(","), QString(QChar(0x202F))};
const NumberLocale kEnglish{QStringLiteral("."), QStringLiteral(",")};

// A spin edit whose text lives in a string; a change of the text runs the change handling the
// way the edit control's notification does.
class Spin : public TKvSpinModel {
public:
  explicit Spin(const NumberLocale &locale = kEnglish) {
    SetLocale(locale);
    text = QStringLiteral("0");
  }
  void WriteValue(double value) override { WriteValueAsText(value); }
  double ReadValue() const override { return ReadValueFromText(); }
  void Type(const QString &t) {
    text = t;
    Change();
  }

  QString text;
  bool read_only = false;
  int beeps = 0;
  int modified = 0;
  int changes = 0;
  int select_all = 0;
  int refocus = 0;

protected:
  QString HostText() const override { return text; }
  void HostSetText(const QString &t) override {
    if (t == text) return;
    text = t;
    Change();
  }
  void HostSetEditText(const QString &t) override { HostSetText(t); }
  bool HostReadOnly() const override { return read_only; }
  void HostBeep() override { ++beeps; }
  void HostSetModified() override { ++modified; }
  void HostChanged() override { ++changes; }
  void HostSelectAll() override { ++select_all; }
  void HostRefocus() override { ++refocus; }
};

} // namespace

TEST(SpinModel, TimeoutLoadedFromItsDescriptionClampsWritesButNotReads) {
  Spin s;
  s.LoadProperties(kvtest::TimeoutProperties());
  EXPECT_TRUE(s.CheckMinValue());
  EXPECT_TRUE(s.CheckMaxValue());
  EXPECT_TRUE(s.AutoCheckMin() && s.AutoCheckMax()); // Loaded sets them again
  EXPECT_EQ(s.text, "15");
  s.SetValue(200);
  EXPECT_EQ(s.text, "120");
  s.SetValue(-5);
  EXPECT_EQ(s.text, "0");
  s.Type("");
  EXPECT_EQ(s.Value(), 0);
  EXPECT_FALSE(s.TryValue());
  s.Type("150");
  EXPECT_EQ(s.Value(), 150);
  EXPECT_EQ(s.TryValue(), 150);
}

TEST(SpinModel, CountLoadedFromItsDescriptionKeepsOneToNinetyNine) {
  Spin s;
  s.LoadProperties(kvtest::CountProperties());
  EXPECT_EQ(s.text, "5");
  s.SetValue(0);
  EXPECT_EQ(s.text, "1");
  s.SetValue(100);
  EXPECT_EQ(s.text, "99");
  s.Type("");
  EXPECT_EQ(s.Value(), 1);
  // Text that is no number steps from the minimum but reads as "not a number" for the dialog.
  for (const char *garbage : {"", "5-", "-", "+-3", "1e3", "abc"}) {
    s.Type(QString::fromLatin1(garbage));
    EXPECT_EQ(s.Value(), 1) << garbage;
    EXPECT_FALSE(s.TryValue()) << garbage;
  }
  // Whole numbers are read with 64 bits, so a long one is not mistaken for garbage.
  s.Type("99999999999");
  EXPECT_EQ(s.TryValue(), 99999999999.0);
  s.Type("99999999999999999999");
  EXPECT_FALSE(s.TryValue());
}

TEST(SpinModel, AutomaticChecksFollowTheBoundsOnlyWhileNotSetByHand) {
  Spin s;
  s.SetMaxValue(10); // both checks switch on (the lower bound 0 counts too)
  EXPECT_TRUE(s.CheckMinValue() && s.CheckMaxValue());
  s.SetMaxValue(0); // back to no bounds at all
  EXPECT_FALSE(s.CheckMinValue() || s.CheckMaxValue());

  // During loading a check set by hand stops the automatic switching of that check.
  Spin l;
  l.BeginLoad();
  l.SetCheckMaxValue(false);
  EXPECT_FALSE(l.AutoCheckMax());
  l.Loaded();
  EXPECT_TRUE(l.AutoCheckMax());

  // A lower bound above the upper one: both tests look at the unclamped value, so the upper
  // bound wins where both apply.
  Spin m;
  m.SetMinValue(50);
  m.SetMaxValue(10);
  EXPECT_EQ(m.ClampValue(30), 10);
  EXPECT_EQ(m.ClampValue(70), 10);
  EXPECT_EQ(m.ClampValue(5), 50);
  // With no check the value passes unchanged.
  Spin n;
  EXPECT_EQ(n.ClampValue(-1e9), -1e9);
}

TEST(SpinModel, StoredPropertiesLoadIntoTheSameEdit) {
  Spin a;
  a.LoadProperties(kvtest::CountProperties());
  a.SetIncrement(2);
  a.SetThousands(true);
  const TKvSpinEditProperties p = a.StoredProperties();
  EXPECT_FALSE(p.CheckMinValue); // what the automatic switching gives is not stored
  EXPECT_FALSE(p.CheckMaxValue);
  EXPECT_EQ(p.DisplayFormat, QString()); // differs from ",0.##"
  Spin b;
  b.LoadProperties(p);
  EXPECT_EQ(b.MinValue(), 1);
  EXPECT_EQ(b.MaxValue(), 99);
  EXPECT_EQ(b.Increment(), 2);
  EXPECT_EQ(b.ButtonKind(), bkStandard);
  EXPECT_TRUE(b.CheckMinValue() && b.CheckMaxValue() && b.Thousands());
  EXPECT_EQ(b.text, a.text);
}

struct LocaleCase {
  const char *name;
  NumberLocale locale;
  TValueType type;
  bool thousands;
  double value;
  QString text;
};

class SpinLocale : public testing::TestWithParam<LocaleCase> {};

TEST_P(SpinLocale, WritesAndReadsBack) {
  const LocaleCase &c = GetParam();
  Spin s(c.locale);
  s.SetValueType(c.type);
  s.SetThousands(c.thousands);
  s.SetValue(c.value);
  EXPECT_EQ(s.text, c.text);
  EXPECT_EQ(s.TryValue(), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Separators, SpinLocale,
    testing::Values(
        LocaleCase{"GermanInt", kGerman, vtInteger, true, 1234, QStringLiteral("1.234")},
        LocaleCase{"GermanIntPlain", kGerman, vtInteger, false, -1234567, QStringLiteral("-1234567")},
        LocaleCase{"GermanIntMillions", kGerman, vtInteger, true, -1234567, QStringLiteral("-1.234.567")},
        LocaleCase{"GermanFloat", kGerman, vtFloat, true, 1234.5, QStringLiteral("1.234,50")},
        LocaleCase{"GermanFloatPlain", kGerman, vtFloat, false, 0.25, QStringLiteral("0,25")},
        LocaleCase{"SwissInt", kSwiss, vtInteger, true, 1234, QString::fromUtf8("1\u2019234")},
        LocaleCase{"SwissFloat", kSwiss, vtFloat, true, 98765.25, QString::fromUtf8("98\u2019765.25")},
        LocaleCase{"FrenchInt", kFrench, vtInteger, true, 1234, QString::fromUtf8("1\u202F234")},
        LocaleCase{"FrenchFloat", kFrench, vtFloat, true, 1234.5, QString::fromUtf8("1\u202F234,50")},
        LocaleCase{"EnglishFloat", kEnglish, vtFloat, true, -1234.5, QStringLiteral("-1,234.50")},
        LocaleCase{"Hex", kEnglish, vtHex, false, 255, QStringLiteral("FF")},
        LocaleCase{"HexNegative", kEnglish, vtHex, false, -255, QStringLiteral("-FF")}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SpinModel, QtLocalesGiveTheSeparatorsAsCharacters) {
  EXPECT_EQ(NumberLocale::FromQLocale(QLocale(QStringLiteral("de_CH"))).ThousandSeparator,
            QString(QChar(0x2019)));
  EXPECT_EQ(NumberLocale::FromQLocale(QLocale(QStringLiteral("fr_FR"))).ThousandSeparator,
            QString(QChar(0x202F)));
  EXPECT_EQ(NumberLocale::FromQLocale(QLocale(QStringLiteral("de_DE"))).DecimalSeparator, ",");
}

TEST(SpinModel, ThousandsSeparatorsAreRemovedOnlyWhereTheyGroupDigits) {
  EXPECT_EQ(StripThousands("1.234.567", kGerman), "1234567");
  EXPECT_EQ(StripThousands("-1.234,5", kGerman), "-1234,5");
  EXPECT_EQ(StripThousands("1.5", kGerman), "1.5");
  EXPECT_EQ(StripThousands("1234.567", kGerman), "1234.567");
  EXPECT_EQ(StripThousands("1.234.56", kGerman), "1.234.56");
  EXPECT_EQ(StripThousands("0,123.456", kGerman), "0,123.456"); // no groups after the separator
  EXPECT_EQ(StripThousands(QString::fromUtf8("12\u2019345.5"), kSwiss), "12345.5");
  // Same separator twice: nothing can be told apart, the text stays.
  EXPECT_EQ(StripThousands("1.234", NumberLocale{".", "."}), "1.234");

  Spin i(kGerman);
  i.Type("1.5"); // pasted in a German locale: not fifteen
  EXPECT_FALSE(i.TryValue());
  Spin f(kGerman);
  f.SetValueType(vtFloat);
  f.Type("1.5");
  EXPECT_FALSE(f.TryValue());
  f.Type("1.234,5");
  EXPECT_EQ(f.TryValue(), 1234.5);
}

TEST(SpinModel, NormalizedFloatTextForDisplayPatterns) {
  EXPECT_EQ(NormalizeFloatText("  ", kGerman), "0");
  EXPECT_EQ(NormalizeFloatText(" - ", kGerman), "-0");
  EXPECT_EQ(NormalizeFloatText(" 1.234,5 ", kGerman), "1234,5");
  EXPECT_EQ(NormalizeFloatText("1,5", kSwiss), "1.5");
  EXPECT_EQ(NormalizeFloatText("1.5", kFrench), "1,5");
  EXPECT_EQ(NormalizeFloatText("\t1", kGerman), "\t1"); // only blanks are trimmed

  Spin s(kGerman);
  s.SetValueType(vtFloat);
  s.SetDisplayFormat(",0.##");
  s.SetValue(1234.5);
  EXPECT_EQ(s.text, "1.234,5");
  EXPECT_EQ(s.Value(), 1234.5);
  s.SetValue(0.004);
  EXPECT_EQ(s.text, "0");
}

TEST(SpinModel, HexadecimalValues) {
  Spin s;
  s.SetValueType(vtHex);
  s.SetValue(255);
  EXPECT_EQ(s.text, "FF");
  s.Type("ff");
  EXPECT_EQ(s.Value(), 255);
  s.SetThousands(true);
  EXPECT_FALSE(s.Thousands());
  // Halves go to the even neighbour.
  s.SetValue(2.5);
  EXPECT_EQ(s.text, "2");
  s.SetValue(3.5);
  EXPECT_EQ(s.text, "4");
  // NaN, infinities and values beyond 64 bits are clamped before converting.
  const double inf = std::numeric_limits<double>::infinity();
  s.SetValue(std::nan(""));
  EXPECT_EQ(s.text, "0");
  s.SetValue(inf);
  EXPECT_EQ(s.text, "7FFFFFFFFFFFFFFF");
  s.SetValue(1e30);
  EXPECT_EQ(s.text, "7FFFFFFFFFFFFFFF");
  s.SetValue(-inf);
  EXPECT_EQ(s.text, "-8000000000000000");
  EXPECT_EQ(s.TryValue(), -9223372036854775808.0);
  s.Type("10000000000000000");
  EXPECT_FALSE(s.TryValue());

  Spin t;
  t.SetIncrement(0.5);
  t.SetThousands(true);
  t.SetValueType(vtHex);
  EXPECT_EQ(t.Increment(), 1); // 0.5 rounds to 0, which becomes 1
  EXPECT_FALSE(t.Thousands());
  // The old text is read again under the new type.
  Spin u;
  u.SetValue(255);
  u.SetValueType(vtHex);
  EXPECT_EQ(u.text, "255");
  EXPECT_EQ(u.Value(), 0x255);
}

TEST(SpinModel, WholeNumbersStayPlainAndInsideSixtyFourBits) {
  Spin s;
  s.SetValue(2.5);
  EXPECT_EQ(s.text, "3"); // halves away from zero
  s.SetValue(1e16);
  EXPECT_EQ(s.text, "10000000000000000");
  EXPECT_EQ(s.Value(), 1e16);
  s.SetValue(std::nan(""));
  EXPECT_EQ(s.text, "0");
  s.SetValue(-1e300);
  EXPECT_EQ(s.text, "-9223372036854775808");
}

TEST(SpinModel, FloatTextsKeepTheirDecimals) {
  Spin s(kGerman);
  s.SetValueType(vtFloat);
  for (double v : {0.0, 1.0, -2.5, 1234.567, 0.1}) {
    s.SetValue(v);
    const qsizetype comma = s.text.indexOf(',');
    ASSERT_GE(comma, 0) << s.text.toStdString();
    EXPECT_EQ(s.text.size() - comma - 1, 2) << s.text.toStdString();
  }
  s.SetValue(-0.001);
  EXPECT_EQ(s.text, "0,00");
  s.SetValue(1e20);
  EXPECT_EQ(s.text, "1E+20");
  EXPECT_EQ(s.Value(), 1e20);
  // Fifteen significant digits, then zeros: no binary noise in long fractions.
  s.SetDecimal(18);
  s.SetValue(0.1);
  EXPECT_EQ(s.text, "0,100000000000000000");
  s.SetValue(-1234.5678);
  EXPECT_EQ(s.text, "-1234,567800000000000000");
  s.SetValue(0.1234567890123456789);
  EXPECT_EQ(s.text, "0,123456789012346000");
  s.SetDecimal(2);
  // A change of Decimal shows at once; Thousands and DisplayFormat wait for the next write.
  s.SetValue(1234.5);
  s.SetDecimal(1);
  EXPECT_EQ(s.text, "1234,5");
  s.SetThousands(true);
  s.SetDisplayFormat("0.000");
  EXPECT_EQ(s.text, "1234,5");
  s.SetValue(s.Value());
  EXPECT_EQ(s.text, "1234,500");
}

TEST(SpinModel, EditFormatWhileFocused) {
  Spin s(kGerman);
  s.SetValueType(vtFloat);
  s.SetDisplayFormat("#,##0.00");
  s.SetValue(1234.5);
  EXPECT_EQ(s.text, "1.234,50");
  EXPECT_EQ(s.Value(), 1234.5);
  s.HandleFocusEnter();
  EXPECT_EQ(s.text, "1234,5"); // the plain number while the user edits it
  s.HandleFocusExit();
  s.SetValue(s.Value());
  EXPECT_EQ(s.text, "1.234,50");
}

TEST(SpinModel, FormatFloatPatterns) {
  EXPECT_EQ(FormatFloat(",0.##", 1234567.891, kEnglish), "1,234,567.89");
  EXPECT_EQ(FormatFloat("0.00", -0.001, kEnglish), "0.00");
  EXPECT_EQ(FormatFloat("#.##", 0.5, kEnglish), ".5");
  EXPECT_EQ(FormatFloat("000", 7, kEnglish), "007");
  EXPECT_EQ(FormatFloat("0.00;(0.00);'null'", -3.5, kEnglish), "(3.50)");
  EXPECT_EQ(FormatFloat("0.00;(0.00);'null'", 0, kEnglish), "null");
  EXPECT_EQ(FormatFloat("0.00E+00", 12345, kEnglish), "1.23E+04");
  EXPECT_EQ(FormatFloat("0.0E-0", 0.00126, kGerman), "1,3E-3");
  EXPECT_EQ(FormatFloat("0.0E-0", 99.99, kEnglish), "1.0E2");
}

struct KeyCase {
  TValueType type;
  bool thousands;
  const char *text;
  char16_t key;
  bool allowed;
};

TEST(SpinModel, KeyFilterTable) {
  const KeyCase cases[] = {
      {vtInteger, false, "", u'5', true},  {vtInteger, false, "", u'-', true},
      {vtInteger, false, "", u'a', false}, {vtInteger, false, "", u',', false},
      {vtInteger, false, "", u'.', false}, {vtInteger, false, "", u'\b', true},
      {vtFloat, false, "1", u',', true},   {vtFloat, false, "1,5", u',', false},
      {vtFloat, false, "1", u'.', true},   {vtFloat, true, "1", u'.', false}, // "." groups thousands
      {vtFloat, false, "1", u'e', true},   {vtFloat, false, "1E3", u'e', false},
      {vtFloat, false, "1", u'x', false},  {vtHex, false, "", u'f', true},
      {vtHex, false, "", u'G', false},     {vtHex, false, "", u'.', false},
  };
  for (const KeyCase &c : cases) {
    SpinTextFormat f;
    f.ValueType = c.type;
    f.Thousands = c.thousands;
    EXPECT_EQ(SpinCharAllowed(QChar(c.key), QString::fromLatin1(c.text), f, kGerman, true), c.allowed)
        << c.type << " '" << c.text << "' " << char(c.key);
  }
  SpinTextFormat f;
  EXPECT_FALSE(SpinCharAllowed(QChar(u'5'), "", f, kGerman, false));
  EXPECT_FALSE(SpinCharAllowed(QChar(u'\b'), "", f, kGerman, false));
  EXPECT_TRUE(SpinCharAllowed(QChar(u'\r'), "", f, kGerman, false));
}

TEST(SpinModel, OneValidatorForEveryWayTextComesIn) {
  SpinTextFormat whole;
  SpinTextFormat real;
  real.ValueType = vtFloat;
  // Paste of mixed text is refused whole; what the keys may type passes.
  EXPECT_FALSE(FilterSpinText("", "12abc", whole, kGerman, true));
  EXPECT_EQ(FilterSpinText("1", "1-2", whole, kGerman, true), "1-2");
  // "." becomes the decimal separator wherever it comes from.
  EXPECT_EQ(FilterSpinText("", "1.5", real, kGerman, true), "1,5");
  EXPECT_FALSE(FilterSpinText("1,5", "1,5,2", real, kGerman, true));
  EXPECT_FALSE(FilterSpinText("", "1.2.3", real, kGerman, true));
  // Replacing a selection that held the separator may bring a new one.
  EXPECT_EQ(FilterSpinText("1,5", "17,25", real, kGerman, true), "17,25");
  // Control characters would become text.
  EXPECT_FALSE(FilterSpinText("1", "1\n2", whole, kGerman, true));
  // Deleting is editing: fine while the editor is enabled, also through a separator the
  // program wrote.
  EXPECT_EQ(FilterSpinText("1.234", "1.34", whole, kGerman, true), "1.34");
  EXPECT_FALSE(FilterSpinText("12", "1", whole, kGerman, false));
  EXPECT_FALSE(FilterSpinText("12", "123", whole, kGerman, false));
  // What the edit shows comes back whole, separators and all, while the result holds a number.
  SpinTextFormat grouped;
  grouped.Thousands = true;
  EXPECT_EQ(FilterSpinText("0", "1.234", grouped, kGerman, true), "1.234");
  EXPECT_EQ(FilterSpinText("5", "51.234", grouped, kGerman, true), "51.234");
  EXPECT_FALSE(FilterSpinText("5", "1.2345", grouped, kGerman, true));
  EXPECT_FALSE(FilterSpinText("0", "1.23", grouped, kGerman, true));
  EXPECT_FALSE(FilterSpinText("0", "1.234", whole, kGerman, true)) << "not what this edit shows";
  real.Thousands = true;
  EXPECT_EQ(FilterSpinText("0,00", "-1.234,50", real, kGerman, true), "-1.234,50");
  real.DisplayFormat = ",0.##";
  EXPECT_EQ(FilterSpinText("", "1.234,5", real, kGerman, true), "1.234,5");
}

TEST(SpinModel, KeysStepTheValueAndRefusedKeysBeep) {
  Spin s;
  s.LoadProperties(kvtest::CountProperties());
  int tops = 0, bottoms = 0;
  QObject *seen = nullptr;
  s.OnTopClick = [&](QObject *o) { ++tops, seen = o; };
  s.OnBottomClick = [&](QObject *) { ++bottoms; };
  EXPECT_TRUE(s.HandleKeyDown(Qt::Key_Up));
  EXPECT_EQ(s.text, "6");
  EXPECT_EQ(s.modified, 1);
  EXPECT_TRUE(s.HandleKeyDown(Qt::Key_Down));
  EXPECT_EQ(s.text, "5");
  EXPECT_EQ(tops, 1);
  EXPECT_EQ(bottoms, 1);
  EXPECT_EQ(seen, nullptr); // the host of this test names no sender

  // At the maximum the text stays, nothing is marked modified, the event is still raised.
  s.SetValue(99);
  const int modified = s.modified;
  s.StepUp(nullptr);
  EXPECT_EQ(s.text, "99");
  EXPECT_EQ(s.modified, modified);
  EXPECT_EQ(tops, 2);

  s.HandleWheel(120);
  EXPECT_EQ(s.text, "99");
  s.HandleWheel(-120);
  EXPECT_EQ(s.text, "98");
  s.HandleWheel(0);
  EXPECT_EQ(s.text, "97");

  // Text that is no number steps from the minimum.
  s.Type("x");
  s.StepUp(nullptr);
  EXPECT_EQ(s.text, "2");

  s.read_only = true;
  s.StepUp(nullptr);
  EXPECT_EQ(s.text, "2");
  EXPECT_EQ(s.beeps, 1);

  s.SetArrowKeys(false);
  EXPECT_FALSE(s.HandleKeyDown(Qt::Key_Up));
  EXPECT_FALSE(s.HandleKeyPress(QChar(u'x')));
  EXPECT_EQ(s.beeps, 2);
  EXPECT_TRUE(s.HandleKeyPress(QChar(u'7')));
}

TEST(SpinModel, CheckOnChangeRewritesTheTextAndCheckOnExitHoldsTheFocus) {
  Spin s;
  s.LoadProperties(kvtest::CountProperties());
  s.SetCheckOptions(coCheckOnChange);
  const int changes = s.changes;
  s.Type("150");
  EXPECT_EQ(s.text, "99");
  EXPECT_EQ(s.changes, changes + 1); // one notice for the typed change and its correction

  Spin e;
  e.LoadProperties(kvtest::CountProperties());
  e.SetCheckOptions(coCheckOnExit);
  e.HandleFocusEnter();
  e.Type("150");
  try {
    e.HandleFocusExit();
    FAIL() << "no range error";
  } catch (const ERangeError &error) {
    EXPECT_EQ(error.Message(), "Wert muss zwischen 1 und 99 liegen");
  }
  EXPECT_TRUE(e.HasFocus());
  EXPECT_EQ(e.select_all, 1);
  EXPECT_EQ(e.refocus, 1);
  EXPECT_EQ(e.text, "150");
  e.Type("50");
  EXPECT_NO_THROW(e.HandleFocusExit());
  EXPECT_FALSE(e.HasFocus());
}

TEST(SpinModel, RangeMessageUsesGeneralNumbers) {
  EXPECT_EQ(RangeErrorText(0.5, 1e20, kGerman), "Wert muss zwischen 0,5 und 1E+20 liegen");
  EXPECT_EQ(RangeErrorText(-3, 120, kEnglish), "Wert muss zwischen -3 und 120 liegen");
}
