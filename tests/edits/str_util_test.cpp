// Text helpers of the edit controls, on QString and on UTF-8 byte strings.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "controls/edits/str_util.h"

using namespace kv::edits;

namespace {

TEST(StrUtil, ReplaceAllScansOnBehindEachReplacement) {
  EXPECT_EQ(ReplaceAll("a.b.c", ".", ","), "a,b,c");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("abc", "b", "bb"), "abbc") << "a replacement is never searched again";
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("Wert muss zwischen %d und %d liegen", "%d", "%g"),
            "Wert muss zwischen %g und %g liegen");
}

TEST(StrUtil, RemoveTrimAndRepeat) {
  EXPECT_EQ(RemoveChar(QString::fromUtf8("1’234’567"), QChar(0x2019)), "1234567");
  EXPECT_EQ(RemoveChar("1.234", u'.'), "1234");
  EXPECT_EQ(TrimSpaces("  12 "), "12");
  EXPECT_EQ(TrimSpaces("\t12 \t"), "\t12 \t") << "only character 32 is a blank";
  EXPECT_EQ(TrimLeadingSpaces("  a "), "a ");
  EXPECT_EQ(TrimTrailingSpaces("  a "), "  a");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(RepeatChar(u'#', 2), "##");
  EXPECT_EQ(RepeatChar(u'#', 0), "");
  EXPECT_EQ(RepeatChar(u'#', -3), "");
}

TEST(StrUtil, TakeUntilDelimiterWalksAPathList) {
  const QString list = "C:\\a;D:\\b";
  int position = 1;
  EXPECT_EQ(TakeUntilDelimiter(list, position, ";"), "C:\\a");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(TakeUntilDelimiter(list, position, ";"), "D:\\b");
  EXPECT_EQ(position, 10);
  EXPECT_EQ(TakeUntilDelimiter(list, position, ";"), "");
  EXPECT_EQ(position, 10);

  position = 1;
  EXPECT_EQ(TakeUntilDelimiter("/x;;/y", position, ";,"), "/x");
  EXPECT_EQ(TakeUntilDelimiter("/x;;/y", position, ";,"), "") << "an empty piece between two delimiters";
  EXPECT_EQ(position, 5);
  position = -4;
  EXPECT_EQ(TakeUntilDelimiter("ab,c", position, ","), "ab") << "a position before the start reads from 1";
}

TEST(StrUtil, CheckOsResultRaisesTheSystemError) {
  EXPECT_TRUE(CheckOsResult(true));
  errno = ENOENT;
  try {
    CheckOsResult(false);
    FAIL() << "no exception";
  } catch (const EOSError &e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_STREQ(e.what(), std::strerror(ENOENT));
  }
  errno = 0;
  EXPECT_THROW(CheckOsResult(false), EOSError);
}

TEST(StrUtil, Utf8FormsCountCharactersNotBytes) {
  EXPECT_EQ(utf8::RemoveChar("1’234", U'’'), "1234");
  EXPECT_EQ(utf8::RemoveChar("Grüße", U'ü'), "Grße");
  EXPECT_EQ(utf8::ReplaceAll("1 234 567", " ", "."), "1.234.567");
  EXPECT_EQ(utf8::TrimSpaces("  Größe "), "Größe");
  EXPECT_EQ(utf8::TrimLeadingSpaces(" x "), "x ");
  EXPECT_EQ(utf8::TrimTrailingSpaces(" x "), " x");
  EXPECT_EQ(utf8::RepeatChar(U'€', 3), "€€€");
  EXPECT_EQ(utf8::RepeatChar(U'€', 0), "");
}

} // namespace
