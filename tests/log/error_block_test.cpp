#include "log/const_array.h"

#include <gtest/gtest.h>

#include "fake_sysinfo.h"
#include "log/parser.h"
#include "log/text_util.h"
#include "platform/datetime.h"

using namespace kv::logging;

namespace {

const std::string kTitle = "•••    E R R O R    •••";

TFLErrorSettings Defaults() {
  TFLErrorSettings s;
  s.SetErrorFillChar("•");
  s.SetErrorTitle(kTitle);
  return s;
}

TFLErrorRequest Request(int code, std::string message, std::string location, TConstArray values = {}) {
  TFLErrorRequest r;
  r.Code = code;
  r.Message = std::move(message);
  r.Location = std::move(location);
  r.HasValues = !values.empty();
  r.Values = std::move(values);
  return r;
}

} // namespace

TEST(ErrorBlock, SettingsBuildTheFillLines) {
  TFLErrorSettings s = Defaults();
  EXPECT_TRUE(s.FillOn);
  EXPECT_EQ(s.FillLine, Repeat("•", 23));
  EXPECT_EQ(s.LongFillLine, Repeat("•", 92));
  s.SetErrorTitle("ab");
  EXPECT_EQ(s.FillLine, "••");
  EXPECT_EQ(Utf8Length(s.LongFillLine), 80u);
  s.SetErrorFillChar("");
  EXPECT_FALSE(s.FillOn);
  s.SetErrorTitle("abc"); // fill off: the fill line stays
  EXPECT_EQ(s.FillLine, "••");
}

TEST(ErrorBlock, StyleOne) {
  TFLErrorSettings s = Defaults();
  EXPECT_EQ(BuildErrorBlock(s, Request(5, "M", "L")), (Lines{"", kTitle + " (5) \"M\"  in L", ""}));
  EXPECT_EQ(BuildErrorBlock(s, Request(0, "", "")), (Lines{"", kTitle + " ", ""}));
  EXPECT_EQ(
      BuildErrorBlock(s, Request(-2, "M", "", {TVarRec::Integer(3), TVarRec::Text(vtAnsiString, "ab")})),
      (Lines{"", kTitle + " (-2) \"M\" (3; ab);", ""}));
  s.FillLines = true;
  s.BlankLines = false;
  EXPECT_EQ(BuildErrorBlock(s, Request(1, "", "L")), (Lines{s.FillLine, kTitle + " (1)  in L", s.FillLine}));
  s.Style = 3;
  EXPECT_EQ(BuildErrorBlock(s, Request(1, "M", "L")), Lines{});
}

TEST(ErrorBlock, StyleTwo) {
  TFLErrorSettings s = Defaults();
  s.Style = 2;
  s.FillLines = true;
  EXPECT_EQ(BuildErrorBlock(s, Request(5, "M", "L")),
            (Lines{"", s.LongFillLine, kTitle + " (5) \"M\" in L", s.LongFillLine, ""}));
  Lines block = BuildErrorBlock(
      s, Request(5, "M", "L", {TVarRec::Integer(3), TVarRec::Boolean(true), TVarRec::Int64(-7)}));
  // The location stands under the message's quote; the values line up after "( ".
  const std::string b = s.FillLine + "      L";
  EXPECT_EQ(block, (Lines{"", s.LongFillLine, kTitle + " (5) \"M\" in :", b + "( Integer     :  3",
                          std::string(Utf8Length(b) + 2, ' ') + "Boolean     :  True",
                          std::string(Utf8Length(b) + 2, ' ') + "Int64       :  -7 );", s.LongFillLine, ""}));
  TFLErrorRequest none = Request(0, "", "L");
  none.HasValues = true;
  EXPECT_EQ(BuildErrorBlock(s, none)[3], s.FillLine + "L()");
  EXPECT_EQ(BuildErrorBlock(s, Request(0, "M", "L", {TVarRec::Integer(1)}))[3],
            s.FillLine + "  L( Integer     :  1 );");
}

TEST(ValueLists, FormatsEveryType) {
  int object = 0;
  EXPECT_EQ(FormatVarRec(TVarRec::Integer(-3)), "Integer     :  -3");
  EXPECT_EQ(FormatVarRec(TVarRec::Boolean(false)), "Boolean     :  False");
  EXPECT_EQ(FormatVarRec(TVarRec::Text(vtChar, "x")), "Char        :  x");
  EXPECT_EQ(FormatVarRec(TVarRec::Extended(2.5)), "Extended    :  2.5");
  EXPECT_EQ(FormatVarRec(TVarRec::Extended(1e20)), "Extended    :  1E20");
  EXPECT_EQ(FormatVarRec(TVarRec::Extended(-1.5e-5)), "Extended    :  -1.5E-5");
  EXPECT_EQ(FormatVarRec(TVarRec::Extended(1e-300)), "Extended    :  1E-300");
  EXPECT_EQ(FormatVarRec(TVarRec::Extended(1e100)), "Extended    :  1E100");
  EXPECT_EQ(FormatVarRec(TVarRec::Pointer(reinterpret_cast<void *>(0x7FFF12345678ull))),
            "Pointer     :  ^(00007FFF12345678)");
  EXPECT_EQ(FormatVarRec(TVarRec::Object(&object, "TFoo")), "TObject     :  TFoo");
  EXPECT_EQ(FormatVarRec(TVarRec::Object(nullptr, "TFoo")), "TObject     :  ^(NIL)");
  EXPECT_EQ(FormatVarRec(TVarRec::Text(vtClass, "TBar")), "Class       :  TBar");
  EXPECT_EQ(FormatVarRec(TVarRec::Currency(125000)), "Currency    :  12.5");
  EXPECT_EQ(FormatVarRec(TVarRec::Currency(-30000)), "Currency    :  -3");
  EXPECT_EQ(FormatVarRec(TVarRec::Interface(&object)), "Interface   :  (Interfaced object)");
  EXPECT_EQ(FormatVarRec(TVarRec::Int64(INT64_MIN)), "Int64       :  -9223372036854775808");
  TVarRec odd;
  odd.VType = 40;
  EXPECT_EQ(FormatVarRec(odd), "#FLType     :  [#FLvrType(40)]");
}

TEST(ValueLists, ShortFormsAndTextsShorterThanAPrefix) {
  EXPECT_EQ(ConstArrayToText({TVarRec::Integer(3), TVarRec::Text(vtAnsiString, "ab")}, 1), "(3; ab);");
  EXPECT_EQ(ConstArrayToText({TVarRec::Integer(3), TVarRec::Text(vtAnsiString, "a b")}, 2), "3a b");
  EXPECT_EQ(ConstArrayToText({}, 1), "();");
  // Texts keep their blanks; other values are cut after the first blank.
  EXPECT_EQ(ShortenValueText("Interface   :  (Interfaced object)", vtInterface), "(Interfaced ");
  EXPECT_EQ(ShortenValueText("String      :  a b", vtString), "a b");
  EXPECT_EQ(StripAddressPrefix("short"), "");
  EXPECT_EQ(StripAddressPrefix("0123456789012345678rest"), "rest");
  EXPECT_EQ(ShortenValueText("$_H_", vtInteger), "");
  EXPECT_EQ(ShortenValueText("x", vtInteger), "");
  EXPECT_EQ(ConstArrayToLines({TVarRec::Text(vtString, "0123$_H_TObject 1234567890")}),
            Lines{"$_H_TObject 1234567890"});
}

TEST(ValueLists, ThroughTheParserTagsInValuesAreExpanded) {
  kvtest::FakeSystemInfo info;
  TFastLogParser p(&info);
  TFLValueRequest r;
  r.Values = {TVarRec::Integer(3), TVarRec::Text(vtString, "{Foo}")};
  EXPECT_EQ(p.FormatValues(r), Lines{"(3; #FLTag(Foo));"});
  r.Style = 2;
  EXPECT_EQ(p.FormatValues(r), (Lines{"Integer     :  3", "String      :  #FLTag(Foo)"}));
  EXPECT_EQ(p.LineCount(), 3u);
  EXPECT_EQ(p.FormatErrorBlock(Request(5, "M", "L")).size(), 3u);
  EXPECT_EQ(p.LineCount(), 6u);
}
