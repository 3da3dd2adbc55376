#include "log/parser.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

#include "fake_sysinfo.h"
#include "log/text_util.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/version.h"

// This test program carries a version record, as the real programs do.
KV_DEFINE_VERSION_RECORD("2005.0.0.27");

using namespace kv::logging;

namespace {

class FixedClock : public kv::platform::Clock {
public:
  kv::platform::UtcInstant Now() override { return {1772600767, 0}; } // 2026-03-04 05:06:07 UTC
  int Set(const kv::platform::UtcInstant &) override { return EPERM; }
};

class Parser : public testing::Test {
protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    kv::platform::SetCurrentClock(&clock);
    kv::platform::SetFormatSettings(kv::platform::FormatSettings{});
    p.SetProgramInfo({"/opt/korvane/korvan", {"/a", "extra"}});
  }
  void TearDown() override { kv::platform::SetCurrentClock(nullptr); }
  Lines Parse(const std::string &text) { return p.ParseText(text); }
  void Number(bool on, uint16_t width, uint8_t align) {
    p.SetPendingLineNumbers({on, width, align});
    ASSERT_TRUE(p.ApplyLineNumberSettings());
  }

  FixedClock clock;
  kvtest::FakeSystemInfo info;
  TFastLogParser p{&info};
};

} // namespace

TEST_F(Parser, TagKeysAndTokens) {
  EXPECT_EQ(TagKey("dte"), 21641u);
  EXPECT_EQ(TagKey("DTE"), TagKey("dte"));
  EXPECT_EQ(TagKey(""), 0u);
  EXPECT_EQ(TagKey("Timers"), tagkey::Timers);
  EXPECT_EQ(TagKey("tick"), tagkey::Disk); // names with one key are one tag
  TParseItems items = Tokenize("a{bb}c{&}{x}}");
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[1].Kind, TParseItem::kTag);
  EXPECT_EQ(items[1].Name, "bb");
  EXPECT_EQ(items[3].Kind, TParseItem::kTag);
  EXPECT_EQ(items[3].Name, "&");
  EXPECT_EQ(items[4].Kind, TParseItem::kText);
  EXPECT_EQ(items[4].Text, "x");
  EXPECT_EQ(items[5].Text, "}");
  EXPECT_EQ(Tokenize("").at(0).Text, "\r\n");
}

TEST_F(Parser, LineBreaksAndFills) {
  EXPECT_EQ(Parse("abc"), Lines{"abc"});
  EXPECT_EQ(Parse("abc{/}"), (Lines{"abc", ""}));
  EXPECT_EQ(Parse("{/}abc"), (Lines{"", "abc"}));
  EXPECT_EQ(Parse("{*80*}"), Lines{std::string(80, '*')});
  EXPECT_EQ(Parse("abc{*10-}"), Lines{"abc-------"});
  EXPECT_EQ(Parse("ab{*5=}{*8+}"), Lines{"ab===++++++++"});
  EXPECT_EQ(Parse("x{*4•}"), Lines{"x•••"});
  EXPECT_EQ(Parse("abcdef{*3-}"), Lines{"abcdef"});
  EXPECT_EQ(Parse("\n"), Lines{""});
  EXPECT_EQ(Parse("\r"), Lines{""});
  EXPECT_EQ(Parse("a\r\n"), Lines{"a"});
}

TEST_F(Parser, Columns) {
  EXPECT_EQ(Parse("{@12}From : x"), Lines{std::string(11, ' ') + "From : x"});
  EXPECT_EQ(Parse("ab{20@}xyz"), Lines{"ab" + std::string(15, ' ') + "xyz"});
  EXPECT_EQ(Parse("{@10@}abcd"), Lines{"   abcd   "});
  EXPECT_EQ(Parse("{@11@}abcd"), Lines{"   abcd    "});
  EXPECT_EQ(Parse("abcdefghij{@5}x"), Lines{"abcdefghij x"});
  EXPECT_EQ(Parse("x{@q}y"), Lines{"x#FLTag(@q) y"});
  EXPECT_EQ(Parse("Grüße{@10}x"), Lines{"Grüße    x"}); // columns count characters
  EXPECT_EQ(Parse("a{/}b{@4}c"), (Lines{"a", "b  c"}));
  EXPECT_EQ(Parse("abc{@9}"), Lines{"abc"}); // a last "@" has nothing to place
}

TEST_F(Parser, WidthsAreBounded) {
  EXPECT_EQ(Parse("{*10000*}").at(0).size(), 10000u);
  EXPECT_EQ(Parse("{*10001*}"), Lines{"#FLTag(*10001*) "});
  EXPECT_EQ(Parse("{*2000000000*}"), Lines{"#FLTag(*2000000000*) "});
  EXPECT_EQ(Parse("a{@99999999999999999999}b"), Lines{"a#FLTag(@99999999999999999999) b"});
  EXPECT_EQ(Parse("{2000000000@}x"), Lines{"#FLTag(2000000000@) x"});
  EXPECT_EQ(Parse("{@2000000000@}x"), Lines{"#FLTag(@2000000000@) x"});
  EXPECT_EQ(Parse("{*-5*}x"), Lines{"x"});
  // Numbers beyond 64 bits are no widths, however their digits would wrap.
  EXPECT_EQ(Parse("{@-19000000000000000000}x"), Lines{"#FLTag(@-19000000000000000000) x"});
  EXPECT_EQ(Parse("x{*-18446744073709551617*}"), Lines{"#FLTag(*-18446744073709551617*) x"});
}

TEST_F(Parser, LiteralBracesAndUnknownTags) {
  EXPECT_EQ(Parse("{Foo}"), Lines{"#FLTag(Foo)"});
  EXPECT_EQ(Parse("{dte"), Lines{"{dte"});
  EXPECT_EQ(Parse("a}b{dte}"), Lines{"a}b{dte}"});
  EXPECT_EQ(Parse("{{}dte{}}"), Lines{"{dte}"});
  EXPECT_EQ(Parse("{@}{}x{}"), Lines{"@x"});
  EXPECT_EQ(Parse("{&}"), Lines{""});
}

TEST_F(Parser, ValuesAndGlue) {
  EXPECT_EQ(Parse("{dte} {hms}"), Lines{"2026-03-04 05:06:07"});
  EXPECT_EQ(Parse("{now}|"), Lines{"2026-03-04 05:06:07 |"});
  EXPECT_EQ(Parse("{dtf}"), Lines{std::to_string(info.tick)});
  EXPECT_EQ(Parse("{App_name}|{App_path}|{App_lfn}"), Lines{"korvan|/opt/korvane/|/opt/korvane/korvan"});
  EXPECT_EQ(Parse("{App_prm-}"), Lines{"/a, extra"});
  EXPECT_EQ(Parse("{App_prm}"), Lines{"/a\r\nextra"});
  EXPECT_EQ(Parse("{App_ver}"), Lines{"-1.0.0.0"}); // the file cannot be read
  p.SetProgramInfo(CurrentProgramInfo());
  EXPECT_EQ(Parse("{App_ver}"), Lines{"2005.0.0.27"});
  p.SetProgramInfo({"/opt/korvane/korvan", {}});
  EXPECT_EQ(Parse("{App_prm-}"), Lines{"(No params)"});
  // Glue: the group's texts become one text; "/" adds nothing inside, "@" its own name.
  EXPECT_EQ(Parse("{&}a{/}b{@5}c{&}d"), Lines{"ab@5cd"});
  EXPECT_EQ(Parse("x{&}ab"), Lines{"xab"});
  EXPECT_EQ(Parse("{Heap-}"), Lines{"[Heap monitor] : Blocks=12, Bytes=3456 ;"});
  info.disk_ok = false;
  EXPECT_EQ(Parse("{Disk--}"), Lines{"FL:Unable to retrieve disk space values"});
}

TEST_F(Parser, HeaderAndFooterLayout) {
  p.SetProgramInfo({CurrentProgramInfo().FilePath, {"/a"}});
  const std::string name = FileNameOf(CurrentProgramInfo().FilePath);
  Lines header =
      p.ParseStrings({"{/}{LNumOff}{*80*}", ">>>> Start {App_name}  v {App_ver}{80@}{&}{dte} {hms}{&}",
                      "{@12}From : {App_path}", "{@12}Prms : {App_prm-}{/}"});
  ASSERT_EQ(header.size(), 6u);
  EXPECT_EQ(header[0], "");
  EXPECT_EQ(header[1], std::string(80, '*'));
  EXPECT_EQ(header[2].size(), 80u);
  EXPECT_EQ(header[2].rfind(">>>> Start " + name + "  v 2005.0.0.27 ", 0), 0u);
  EXPECT_EQ(header[2].substr(61), "2026-03-04 05:06:07");
  EXPECT_EQ(header[3], std::string(11, ' ') + "From : " + DirectoryOf(CurrentProgramInfo().FilePath));
  EXPECT_EQ(header[4], std::string(11, ' ') + "Prms : /a");
  EXPECT_EQ(header[5], "");
  Lines footer = p.ParseStrings({"{LNumOff}", "<<<< Stop  {App_name}{80@}{&}{dte} {hms}{&}", "{*80*}{/}"});
  ASSERT_EQ(footer.size(), 4u);
  EXPECT_EQ(footer[0], "");
  EXPECT_EQ(footer[1].size(), 80u);
  EXPECT_EQ(footer[1].substr(0, 11 + name.size()), "<<<< Stop  " + name);
  EXPECT_EQ(footer[2], std::string(80, '*'));
  EXPECT_EQ(footer[3], "");
}

TEST_F(Parser, LineTagsOnlyFirst) {
  Lines heap = Parse("{Heap}");
  ASSERT_EQ(heap.size(), 6u);
  EXPECT_EQ(heap[1], "===========  Heap Monitor  ============");
  EXPECT_EQ(Parse("text {Heap}"), Lines{"text "});
  EXPECT_EQ(Parse("{Heap}text"), heap);
  EXPECT_EQ(Parse("{Ruler}"), Lines{Repeat("....|....|", 8)});
  p.SetRulerWidth(20);
  EXPECT_EQ(Parse("{Ruler+}"), (Lines{"    5    10   15   20   ", "....|....|....|....|"}));
  EXPECT_EQ(Parse("{Timers}").size(), 15u);
  EXPECT_EQ(Parse("{OSVI}").size(), 7u);
  info.cpu_ok = false;
  EXPECT_EQ(Parse("{CPUI}").size(), 16u);
  info.disk.TotalToUser = 0;
  EXPECT_EQ(Parse("{Mem}"), (Lines{"Mem", "#FLOSMemoryStatus"}));
}

TEST_F(Parser, LineNumbering) {
  // Off by default: lines are counted only.
  EXPECT_EQ(Parse("a"), Lines{"a"});
  EXPECT_EQ(p.LineCount(), 1u);
  Number(true, 3, 1);
  for (int i = 2; i <= 6; ++i)
    Parse("x");
  EXPECT_EQ(Parse("seven"), Lines{"  7 seven"});
  EXPECT_EQ(Parse("{LNum}"), Lines{"  8 8"});
  // A list with LNumOff in any line is unnumbered, but counted.
  EXPECT_EQ(p.ParseStrings({"a", "b{LNumOff}", "c{/}d"}), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(p.LineCount(), 12u);
  EXPECT_EQ(Parse("next"), Lines{" 13 next"});
  // Continuation lines of the parameter list stand under the text.
  p.SetProgramInfo({"/x/korvan", {"/a", "b"}});
  EXPECT_EQ(Parse("{App_prm}"), Lines{" 14 /a\r\n    b"});
  while (p.LineCount() < 999)
    Parse("x");
  EXPECT_EQ(Parse("y"), Lines{"1000 y"});
  Number(true, 5, 0);
  EXPECT_EQ(Parse("z"), Lines{"1001  z"});
  Number(true, 40, 2); // widths are cut to 9; alignment 2 pads nowhere
  EXPECT_EQ(p.ActiveLineNumbers().Width, kMaxLineNumberWidth);
  EXPECT_EQ(Parse("w"), Lines{"1002 w"});
  Number(false, 3, 1);
  EXPECT_EQ(Parse("v"), Lines{"v"});
}

TEST_F(Parser, ListsKeepEveryLine) {
  // An empty text of a list is a line holding CR LF.
  EXPECT_EQ(p.ParseStrings({"a", "", "b"}), (Lines{"a", "\r\n", "b"}));
  EXPECT_EQ(p.ParseStrings({}), Lines{});
}
