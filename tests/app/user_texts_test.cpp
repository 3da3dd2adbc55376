// What the user reads of failures below the window: German, with the server's own words quoted.
#include "app/user_texts.h"

#include <gtest/gtest.h>

#include "app/mail_notice.h"
#include "net/ras.h"
#include "net/smtp_client.h"
#include "net/socket_errors.h"
#include "test_support.h"

using namespace kv::app;
using kv::net::ESmtpError;
using kv::net::TSmtpFailure;

namespace {

std::string German(const std::exception &e) {
  return FailureTextGerman(e).toStdString();
}

TEST(UserTexts, FailuresOfTheNoticeAreSaidInGerman) {
  // A real connection refused by a port where nothing listens.
  kv::net::TSmtpClient smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = std::to_string(kvtest::FreePort());
  try {
    smtp.Connect();
    ADD_FAILURE() << "connected to a closed port";
  } catch (const ESmtpError &e) {
    EXPECT_EQ(German(e),
              "Keine Verbindung zum Mailserver 127.0.0.1:" + smtp.Port + ": Verbindung abgelehnt (10061).");
    EXPECT_NE(std::string(e.what()).find("Connection refused"), std::string::npos) << "the log stays English";
  }

  kv::net::TSmtpReply refused{535, {"5.7.8 Authentication credentials invalid"}};
  struct Case {
    ESmtpError error;
    std::string german;
  };
  for (const Case &c : {
           Case{ESmtpError(TSmtpFailure::Login, "login refused", refused, 0, "mailer"),
                "Der Mailserver hat die Anmeldung von mailer abgelehnt: 535 5.7.8 Authentication credentials "
                "invalid"},
           Case{ESmtpError(TSmtpFailure::Connect, "cannot connect", {}, kv::net::WSAHOST_NOT_FOUND,
                           "mail.invalid:25 through SOCKS5 proxy 127.0.0.1:1080"),
                "Keine Verbindung zum Mailserver mail.invalid:25 über den SOCKS5-Proxy 127.0.0.1:1080: Der "
                "Rechnername wurde nicht gefunden (11001)."},
           Case{ESmtpError(TSmtpFailure::Lost, "connection lost", {}, kv::net::WSAECONNRESET),
                "Die Verbindung zum Mailserver ist abgebrochen: Die Verbindung wurde von der Gegenstelle "
                "zurückgesetzt (10054)."},
           Case{ESmtpError(TSmtpFailure::NoReply, "no reply within 60000 ms"),
                "Der Mailserver hat nicht rechtzeitig geantwortet."},
           Case{ESmtpError(TSmtpFailure::Certificate, "TLS failed", {}, kv::net::WSAEACCES,
                           "mail.example.org"),
                "Das Zertifikat des Mailservers mail.example.org ist nicht vertrauenswürdig."},
       })
    EXPECT_EQ(German(c.error), c.german) << c.error.what();

  // The notice's own checks.
  try {
    CheckAddress("", TAddressRole::Sender);
    ADD_FAILURE();
  } catch (const ENoticeError &e) {
    EXPECT_STREQ(e.what(), "sender is empty");
    EXPECT_EQ(German(e), "Es ist keine Absenderadresse angegeben.");
  }
  // Anything else keeps its own text.
  EXPECT_EQ(German(std::runtime_error("out of luck")), "out of luck");
}

TEST(UserTexts, SocketAndDialUpCodesHaveGermanTextsAndAFallback) {
  EXPECT_EQ(SocketErrorTextGerman(kv::net::WSAETIMEDOUT).toStdString(), "Zeitüberschreitung (10060)");
  EXPECT_EQ(SocketErrorTextGerman(12345).toStdString(), "Netzwerkfehler 12345");
  EXPECT_EQ(DialErrorTextGerman(kv::net::ERROR_FROM_DEVICE).toStdString(),
            "Das Modem oder das Verbindungsskript hat einen Fehler gemeldet.");
  EXPECT_EQ(DialErrorTextGerman(4711).toStdString(), "DFÜ-Fehler 4711");
}

} // namespace
