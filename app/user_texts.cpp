#include "app/user_texts.h"

#include "app/mail_notice.h"
#include "net/block_socket.h"
#include "net/ras.h"
#include "net/smtp_client.h"
#include "net/socket_errors.h"

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
  const QString subject = Q(e.Subject());
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

} // namespace

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
