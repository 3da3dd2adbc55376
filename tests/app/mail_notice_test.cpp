// The notice's pure parts: message identifier, body, Date header, recipients, message, port.

#include "app/mail_notice.h"

#include <gtest/gtest.h>

using namespace kv::app;
using kv::platform::DateTimeFields;

TEST(MailNotice, MessageIdJoinsDayOrdinalAndMillisecondsOfTheLocalTime) {
  const DateTimeFields noon{2005, 3, 1, 12, 0, 0, 0};
  EXPECT_EQ(MsgIdParts(noon).Day, 732006);
  EXPECT_EQ(MsgIdParts(noon).Millis, 43200000);
  EXPECT_EQ(MakeMsgId(noon, "KORVANE-PC"), "<73200643200000@KORVANE-PC>");

  // Midnight has no leading zeros to pad; the first day of the calendar is ordinal 1.
  EXPECT_EQ(MakeMsgId({2005, 3, 1, 0, 0, 0, 0}, "pc"), "<7320060@pc>");
  EXPECT_EQ(MsgIdParts({1, 1, 1, 0, 0, 0, 0}).Day, 1);
  EXPECT_EQ(MsgIdParts({2005, 3, 1, 23, 59, 59, 999}).Millis, 86399999);
  // A 15-character name is kept whole.
  EXPECT_EQ(MakeMsgId(noon, "ABCDEFGHIJKLMNO"), "<73200643200000@ABCDEFGHIJKLMNO>");
}

TEST(MailNotice, EmptyComputerNameGivesLocalhostInTheMessageId) {
  EXPECT_EQ(MakeMsgId({2024, 2, 29, 0, 0, 1, 5}, ""), "<7389451005@localhost>");
}

TEST(MailNotice, BodyIsThreeLinesEndedByCrLfWithoutBareCarriageReturns) {
  const std::string body = NoticeBody("01.03.2005 12:00:00", "ABCDEFGHIJKLMNO", "ntp.example.org");
  EXPECT_EQ(body, "01.03.2005 12:00:00\r\n"
                  "Die Systemzeit des Computers ABCDEFGHIJKLMNO wurde\r\n"
                  "via NTP vom Server ntp.example.org aktualisiert.\r\n");
  // Line breaks smuggled into a name cannot add lines or leave a bare CR.
  const std::string odd = NoticeBody("t", "a\rb", "x\r\ny");
  EXPECT_EQ(odd, "t\r\nDie Systemzeit des Computers a b wurde\r\nvia NTP vom Server x  y aktualisiert.\r\n");
}

TEST(MailNotice, DateHeaderFollowsInternetMessageFormat) {
  EXPECT_EQ(MailDate({2005, 3, 1, 12, 0, 0, 0}, 3600), "Tue, 01 Mar 2005 12:00:00 +0100");
  EXPECT_EQ(MailDate({2024, 12, 31, 23, 5, 9, 0}, -(5 * 3600 + 30 * 60)), "Tue, 31 Dec 2024 23:05:09 -0530");
  EXPECT_EQ(MailDate({2023, 1, 1, 0, 0, 0, 0}, 0), "Sun, 01 Jan 2023 00:00:00 +0000");
}

TEST(MailNotice, RecipientsAreSplitAndCheckedForTheEnvelope) {
  EXPECT_EQ(ParseRecipients("admin@example.org"), std::vector<std::string>{"admin@example.org"});
  EXPECT_EQ(ParseRecipients(" a@x.org, Ops <ops@x.org> ;b@x.org,"),
            (std::vector<std::string>{"a@x.org", "ops@x.org", "b@x.org"}));
  EXPECT_THROW(ParseRecipients(""), ENoticeError);
  EXPECT_THROW(ParseRecipients(" , "), ENoticeError);
  EXPECT_THROW(ParseRecipients("a b@x.org"), ENoticeError);
  EXPECT_THROW(ParseRecipients("a@x.org\r\nBcc: evil@x.org"), ENoticeError);
  EXPECT_THROW(ParseRecipients("m\xC3\xBCller@x.org"), ENoticeError);
  EXPECT_THROW(CheckAddress("a@x.org>\r\nRCPT TO:<b@x.org", kv::app::TAddressRole::Sender), ENoticeError);
  EXPECT_NO_THROW(CheckAddress("korvane@example.org", kv::app::TAddressRole::Sender));
}

TEST(MailNotice, MessageCarriesTheHeadersThenTheBody) {
  TNoticeHeaders h{
      "svc@example.org", {"a@example.org", "b@example.org"}, "<1@pc>", "Tue, 01 Mar 2005 12:00:00 +0100"};
  const std::string body = NoticeBody("01.03.2005 12:00:00", "PC", "ntp");
  EXPECT_EQ(ComposeNotice(h, body), "From: Korvane Service <svc@example.org>\r\n"
                                    "Reply-To: svc@example.org\r\n"
                                    "To: a@example.org, b@example.org\r\n"
                                    "Subject: Korvane Mitteilung\r\n"
                                    "Date: Tue, 01 Mar 2005 12:00:00 +0100\r\n"
                                    "Message-ID: <1@pc>\r\n"
                                    "X-Mailer: Korvane 2005 Rel. 27 SMTP Service\r\n"
                                    "MIME-Version: 1.0\r\n"
                                    "Content-Type: text/plain; charset=UTF-8\r\n"
                                    "Content-Transfer-Encoding: 7bit\r\n"
                                    "\r\n" +
                                        body);
}

TEST(MailNotice, UnicodeOrLongLinesGoOutQuotedPrintable) {
  TNoticeHeaders h{"s@x", {"r@x"}, "<1@pc>", "d"};
  const std::string text = ComposeNotice(h, NoticeBody("1. M\xC3\xA4rz 2005 ", "PC", std::string(1200, 'n')));
  const std::string body = text.substr(text.find("\r\n\r\n") + 4);
  EXPECT_NE(text.find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
  EXPECT_EQ(body.substr(0, body.find("\r\n")), "1. M=C3=A4rz 2005=20"); // a trailing blank is encoded
  size_t longest = 0, start = 0;
  for (size_t end; (end = body.find("\r\n", start)) != std::string::npos; start = end + 2)
    longest = std::max(longest, end - start);
  EXPECT_LE(longest, 76u);
  EXPECT_NE(body.find("aktualisiert.\r\n"), std::string::npos);
}

TEST(MailNotice, PortIsANumberFromOneTo65535) {
  EXPECT_EQ(ParsePort("25"), 25);
  EXPECT_EQ(ParsePort(" 587 "), 587);
  EXPECT_EQ(ParsePort("65535"), 65535);
  for (const char *bad : {"", "0", "65536", "99999", "-25", "+25", "2 5", "smtp", "25a", "0x19", "123456"})
    EXPECT_FALSE(ParsePort(bad).has_value()) << bad;
}
