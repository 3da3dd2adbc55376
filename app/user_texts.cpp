#include "app/user_texts.h"

#include "app/log_text.h"
#include "app/mail_notice.h"
#include "net/block_socket.h"
#include "net/ras.h"
#include "net/smtp_client.h"
#include "net/sntp_send.h"
#include "net/socket_errors.h"
#include "platform/datetime.h"

namespace kv::app {

namespace {

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// The server's own words, quoted after a German lead.
QString WithReply(const QString &lead, const net::TSmtpReply &reply) {
  if (!reply.Code) return lead + QStringLiteral(".");
  QString quote = Q(reply.Text());
  if (quote.size() > 300) quote = quote.left(300) + QStringLiteral("...");
  return lead + QStringLiteral(": ") + quote;
}

QString SmtpText(const net::ESmtpError &e) {
  using net::TSmtpFailure;
  const QString subject = ShownSetting(e.Subject());
  switch (e.Kind()) {
  case TSmtpFailure::Connect:
    return QStringLiteral("Keine Verbindung zum Mailserver %1: %2.")
        .arg(QString(subject).replace(QStringLiteral(" through SOCKS5 proxy "),
                                      QStringLiteral(" über den SOCKS5-Proxy ")),
             SocketErrorTextGerman(e.SocketError()));
  case TSmtpFailure::Session:
    return WithReply(QStringLiteral("Der Mailserver hat die Sitzung abgelehnt"), e.Reply());
  case TSmtpFailure::Tls:
    if (e.Reply().Code) return WithReply(QStringLiteral("Der Mailserver hat STARTTLS abgelehnt"), e.Reply());
    return QStringLiteral("Die verschlüsselte Verbindung zum Mailserver ist fehlgeschlagen: %1.")
        .arg(SocketErrorTextGerman(e.SocketError()));
  case TSmtpFailure::Certificate:
    return QStringLiteral("Das Zertifikat des Mailservers %1 ist nicht vertrauenswürdig.").arg(subject);
  case TSmtpFailure::Greeting:
    return WithReply(QStringLiteral("Der Mailserver hat die Begrüßung (EHLO/HELO) abgelehnt"), e.Reply());
  case TSmtpFailure::Login:
    return WithReply(QStringLiteral("Der Mailserver hat die Anmeldung von %1 abgelehnt").arg(subject),
                     e.Reply());
  case TSmtpFailure::Address:
    return subject.isEmpty()
               ? QStringLiteral("Es ist kein Empfänger angegeben.")
               : QStringLiteral("Die Adresse \"%1\" ist keine gültige E-Mail-Adresse.").arg(subject);
  case TSmtpFailure::Sender:
    return WithReply(QStringLiteral("Der Mailserver hat den Absender %1 abgelehnt").arg(subject), e.Reply());
  case TSmtpFailure::Recipient:
    return WithReply(QStringLiteral("Der Mailserver hat den Empfänger %1 abgelehnt").arg(subject), e.Reply());
  case TSmtpFailure::Message:
    return WithReply(QStringLiteral("Der Mailserver hat die Nachricht abgelehnt"), e.Reply());
  case TSmtpFailure::BadReply:
    return QStringLiteral("Der Mailserver hat eine ungültige Antwort gesendet.");
  case TSmtpFailure::NoReply:
    return QStringLiteral("Der Mailserver hat nicht rechtzeitig geantwortet.");
  case TSmtpFailure::Lost:
    return QStringLiteral("Die Verbindung zum Mailserver ist abgebrochen: %1.")
        .arg(SocketErrorTextGerman(e.SocketError()));
  case TSmtpFailure::NotConnected:
    return QStringLiteral("Es besteht keine Verbindung zum Mailserver.");
  }
  return Q(e.what());
}

std::string Coded(int code) {
  return net::WinsockErrorText(code) + " (" + std::to_string(code) + ")";
}

// RFC 1928 section 6, in English and German.
std::pair<const char *, const char *> Socks5ReplyTexts(int reply) {
  switch (reply) {
  case 1:
    return {"general failure", "allgemeiner Fehler"};
  case 2:
    return {"not allowed by its rules", "nach seinen Regeln nicht erlaubt"};
  case 3:
    return {"network unreachable", "Netzwerk nicht erreichbar"};
  case 4:
    return {"host unreachable", "Rechner nicht erreichbar"};
  case 5:
    return {"connection refused", "Verbindung abgelehnt"};
  case 6:
    return {"TTL expired", "TTL abgelaufen"};
  case 7:
    return {"command not supported", "Befehl nicht unterstützt"};
  case 8:
    return {"address type not supported", "Adressart nicht unterstützt"};
  default:
    return {"unknown reply", "unbekannte Antwort"};
  }
}

QString ReplyCheckGerman(net::TReplyCheck check) {
  switch (check) {
  case net::TReplyCheck::Accepted:
    return QStringLiteral("angenommen");
  case net::TReplyCheck::TooShort:
    return QStringLiteral("sie ist kürzer als 48 Byte");
  case net::TReplyCheck::OriginateMismatch:
    return QStringLiteral("sie gehört nicht zu unserer Anfrage");
  case net::TReplyCheck::Unsynchronised:
    return QStringLiteral("der Server ist nicht synchronisiert");
  case net::TReplyCheck::NotServerMode:
    return QStringLiteral("sie ist keine Antwort eines Servers");
  case net::TReplyCheck::BadStratum:
    return QStringLiteral("die Stratum-Angabe ist ungültig");
  case net::TReplyCheck::NoReceiveTime:
    return QStringLiteral("der Empfangszeitstempel fehlt");
  case net::TReplyCheck::NoTransmitTime:
    return QStringLiteral("der Sendezeitstempel fehlt");
  }
  return QStringLiteral("unbekannter Grund");
}

std::string Kiss(uint32_t refid) {
  std::string code;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((refid >> shift) & 0xFF);
    if (c >= 0x21 && c <= 0x7E) code += c;
  }
  return code;
}

// Whole seconds as such, anything else with its milliseconds.
QString SecondsGerman(int milliseconds) {
  if (milliseconds == 1000) return QStringLiteral("1 Sekunde");
  return Q(platform::FloatToStrF(milliseconds / 1000.0, milliseconds % 1000 == 0 ? 0 : 3)) +
         QStringLiteral(" Sekunden");
}

// The association with the proxy failed: why, from its control connection.
TQueryFailure ProxyCause(const net::TUDPBlockSocket &sock) {
  const std::string proxy =
      "the SOCKS5 proxy " + LogSetting(sock.SocksIP) + " port " + LogSetting(sock.SocksPort);
  const QString proxyDe = QStringLiteral("Der SOCKS5-Proxy %1 (Port %2)")
                              .arg(ShownSetting(sock.SocksIP), ShownSetting(sock.SocksPort));
  const net::TTCPBlockSocket *control = sock.ControlSocket();
  const int code = control ? control->LastError() : sock.LastError();
  if (!control || code != 0) {
    QString why;
    if (code == net::WSAECONNREFUSED)
      why = QStringLiteral(" hat die Verbindung abgelehnt.");
    else if (code == net::WSAETIMEDOUT)
      why = QStringLiteral(" hat nicht rechtzeitig geantwortet.");
    else
      why = QStringLiteral(" ist nicht erreichbar: ") + SocketErrorTextGerman(code) + QStringLiteral(".");
    return {proxy + " failed: " + Coded(code), proxyDe + why};
  }
  if (!control->UsingSocks()) {
    if (sock.SocksUsername.empty())
      return {proxy + " refused the greeting (it accepts no session without a login, or is no SOCKS5 proxy)",
              proxyDe + QStringLiteral(" hat die Sitzung abgelehnt (er verlangt eine Anmeldung oder ist kein "
                                       "SOCKS5-Proxy).")};
    return {proxy + " refused the greeting or the login of user " + LogSetting(sock.SocksUsername),
            proxyDe + QStringLiteral(" hat die Sitzung oder die Anmeldung des Benutzers %1 abgelehnt.")
                          .arg(ShownSetting(sock.SocksUsername))};
  }
  const int reply = control->SocksLastError();
  if (reply < 0)
    return {proxy + " sent a malformed reply",
            proxyDe + QStringLiteral(" hat eine ungültige Antwort gesendet.")};
  if (reply > 0) {
    const auto [english, german] = Socks5ReplyTexts(reply);
    return {proxy + " refused the UDP association: reply " + std::to_string(reply) + " (" + english + ")",
            proxyDe + QStringLiteral(" hat die UDP-Weiterleitung abgelehnt: Antwort %1 (%2).")
                          .arg(reply)
                          .arg(QString::fromUtf8(german))};
  }
  return {proxy + " named a relay address that cannot be used (" + LogSetting(sock.SocksResponseIP()) + ")",
          proxyDe + QStringLiteral(" hat eine unbrauchbare Weiterleitungsadresse genannt (%1).")
                        .arg(ShownSetting(sock.SocksResponseIP()))};
}

} // namespace

QString ShownSetting(const QString &text) {
  return ShownSetting(text.toStdString());
}

QString ShownSetting(const std::string &text) {
  return Q(QuotedSetting(text));
}

TQueryFailure QueryFailureCause(const net::TSNTPSend &client) {
  const net::TUDPBlockSocket &sock = client.Sock();
  const int code = sock.LastError();
  const std::string server = LogSetting(client.TargetHost) + " port " + LogSetting(client.TargetPort);
  const QString serverDe =
      QStringLiteral("%1 (Port %2)").arg(ShownSetting(client.TargetHost), ShownSetting(client.TargetPort));
  TQueryFailure cause;
  if (!sock.SocksIP.empty() && !sock.UsingSocks() && code != 0 && code != net::WSAHOST_NOT_FOUND &&
      code != net::WSATRY_AGAIN && code != net::WSANO_DATA) {
    cause = ProxyCause(sock);
  } else if (code == net::WSAHOST_NOT_FOUND || code == net::WSATRY_AGAIN || code == net::WSANO_DATA ||
             code == net::WSANO_RECOVERY || code == net::WSATYPE_NOT_FOUND) {
    cause.Log = "the name " + LogSetting(client.TargetHost) + " or the port " +
                LogSetting(client.TargetPort) + " could not be resolved: " + Coded(code);
    cause.User = QStringLiteral("Der Name %1 oder der Port %2 konnte nicht aufgelöst werden: %3.")
                     .arg(ShownSetting(client.TargetHost), ShownSetting(client.TargetPort),
                          SocketErrorTextGerman(code));
  } else if (client.LastCheck() && *client.LastCheck() != net::TReplyCheck::Accepted &&
             (code == 0 || *client.LastCheck() != net::TReplyCheck::OriginateMismatch)) {
    const net::TReplyCheck check = *client.LastCheck();
    cause.Log = "the answer of " + server + " was rejected: " + net::ReplyCheckName(check);
    cause.User =
        QStringLiteral("Die Antwort von %1 wurde verworfen: ").arg(serverDe) + ReplyCheckGerman(check);
    if (check == net::TReplyCheck::BadStratum && client.Reply().Stratum == 0) {
      const std::string kiss = Kiss(client.Reply().RefID);
      cause.Log += " (kiss-o'-death " + kiss + ")";
      cause.User += QStringLiteral(" (Kiss-o'-Death-Code %1)").arg(Q(kiss));
    }
    cause.User += QStringLiteral(".");
  } else if (code == net::WSAETIMEDOUT) {
    cause.Log = "no answer from " + server + " within " + std::to_string(client.Timeout) + " ms";
    cause.User = QStringLiteral("Von %1 kam innerhalb von %2 keine Antwort")
                     .arg(serverDe, SecondsGerman(client.Timeout));
    if (client.LastCheck() == net::TReplyCheck::OriginateMismatch) {
      cause.Log += " (only an answer to an earlier request came)";
      cause.User += QStringLiteral(" (nur eine Antwort auf eine frühere Anfrage)");
    }
    cause.User += QStringLiteral(".");
  } else if (code != 0) {
    cause.Log = server + ": " + Coded(code);
    cause.User =
        QStringLiteral("Der Server %1 ist nicht erreichbar: %2.").arg(serverDe, SocketErrorTextGerman(code));
  } else {
    cause.Log = "no answer from " + server;
    cause.User = QStringLiteral("Von %1 kam keine Antwort.").arg(serverDe);
  }
  cause.Log = "Cause: " + cause.Log + ".";
  return cause;
}

QString SocketErrorTextGerman(int code) {
  const char *text = nullptr;
  switch (code) {
  case 0:
    return QString();
  case net::WSAEINTR:
    text = "Der Vorgang wurde unterbrochen";
    break;
  case net::WSAEACCES:
    text = "Zugriff verweigert";
    break;
  case net::WSAEINVAL:
    text = "Ungültige Angabe";
    break;
  case net::WSAEMFILE:
    text = "Zu viele offene Verbindungen";
    break;
  case net::WSAEMSGSIZE:
    text = "Die Nachricht ist zu lang";
    break;
  case net::WSAEAFNOSUPPORT:
    text = "Diese Adressart wird nicht unterstützt";
    break;
  case net::WSAEADDRINUSE:
    text = "Die Adresse wird bereits verwendet";
    break;
  case net::WSAEADDRNOTAVAIL:
    text = "Die Adresse ist nicht verfügbar";
    break;
  case net::WSAENETDOWN:
    text = "Das Netzwerk ist nicht verfügbar";
    break;
  case net::WSAENETUNREACH:
    text = "Das Netzwerk ist nicht erreichbar";
    break;
  case net::WSAENETRESET:
    text = "Die Verbindung wurde vom Netzwerk zurückgesetzt";
    break;
  case net::WSAECONNABORTED:
    text = "Die Verbindung wurde abgebrochen";
    break;
  case net::WSAECONNRESET:
    text = "Die Verbindung wurde von der Gegenstelle zurückgesetzt";
    break;
  case net::WSAENOBUFS:
    text = "Kein Pufferspeicher verfügbar";
    break;
  case net::WSAENOTCONN:
    text = "Keine Verbindung";
    break;
  case net::WSAESHUTDOWN:
    text = "Die Verbindung ist bereits geschlossen";
    break;
  case net::WSAETIMEDOUT:
    text = "Zeitüberschreitung";
    break;
  case net::WSAECONNREFUSED:
    text = "Verbindung abgelehnt";
    break;
  case net::WSAEHOSTDOWN:
    text = "Der Rechner ist nicht in Betrieb";
    break;
  case net::WSAEHOSTUNREACH:
    text = "Der Rechner ist nicht erreichbar";
    break;
  case net::WSAEPROTONOSUPPORT:
    text = "Das Protokoll wird nicht unterstützt";
    break;
  case net::WSAHOST_NOT_FOUND:
    text = "Der Rechnername wurde nicht gefunden";
    break;
  case net::WSATRY_AGAIN:
    text = "Der Rechnername konnte vorübergehend nicht aufgelöst werden";
    break;
  case net::WSANO_RECOVERY:
    text = "Nicht behebbarer Fehler bei der Namensauflösung";
    break;
  case net::WSANO_DATA:
    text = "Zum Rechnernamen ist keine Adresse eingetragen";
    break;
  case net::WSATYPE_NOT_FOUND:
    text = "Der Dienst oder Port ist unbekannt";
    break;
  default:
    return QStringLiteral("Netzwerkfehler %1").arg(code);
  }
  return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(text)).arg(code);
}

QString FailureTextGerman(const std::exception &failure) {
  if (const auto *notice = dynamic_cast<const ENoticeError *>(&failure)) return Q(notice->German());
  if (const auto *smtp = dynamic_cast<const net::ESmtpError *>(&failure)) return SmtpText(*smtp);
  if (const auto *socket = dynamic_cast<const net::ESocketError *>(&failure))
    return SocketErrorTextGerman(socket->ErrorCode) + QStringLiteral(".");
  // The registry's texts are German already; anything else cannot be put in other words.
  return Q(failure.what());
}

QString DialErrorTextGerman(int code) {
  if (const char *text = net::RasErrorTextGerman(code)) return QString::fromUtf8(text);
  return QStringLiteral("DFÜ-Fehler %1").arg(code);
}

} // namespace kv::app
