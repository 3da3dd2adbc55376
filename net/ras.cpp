#include "net/ras.h"

namespace kv::net {

namespace {

struct ErrorText {
  int code;
  const char *english; // for log lines
  const char *german;  // for the user
};

constexpr ErrorText kErrorTexts[] = {
    {ERROR_ACCESS_DENIED, "Access denied: this user may not run pppd (group dip).",
     "Zugriff verweigert: Dieser Benutzer darf pppd nicht starten (Gruppe dip)."},
    {ERROR_INVALID_HANDLE, "The connection handle is invalid.", "Die Verbindungskennung ist ungültig."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.", "Der Parameter ist falsch."},
    {ERROR_PORT_ALREADY_OPEN, "The port is already in use by another connection.",
     "Der Anschluss wird bereits von einer anderen Verbindung verwendet."},
    {ERROR_BUFFER_TOO_SMALL, "The phone book has more entries than can be listed.",
     "Das Telefonbuch hat mehr Einträge, als aufgelistet werden können."},
    {ERROR_WRONG_INFO_SPECIFIED, "The options of the phone-book entry are wrong.",
     "Die Einstellungen des Telefonbucheintrags sind falsch."},
    {ERROR_CANNOT_OPEN_PHONEBOOK, "The phone book cannot be opened.",
     "Das Telefonbuch kann nicht geöffnet werden."},
    {ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, "The phone-book entry cannot be found.",
     "Der Telefonbucheintrag wurde nicht gefunden."},
    {ERROR_DISCONNECTION, "The connection was closed.", "Die Verbindung wurde getrennt."},
    {ERROR_REMOTE_DISCONNECTION, "The connection was closed by the remote side or the modem.",
     "Die Verbindung wurde von der Gegenstelle oder vom Modem getrennt."},
    {ERROR_USER_DISCONNECTION, "The connection was closed by the user.",
     "Die Verbindung wurde vom Benutzer getrennt."},
    {ERROR_PORT_NOT_AVAILABLE, "The port or device cannot be opened.",
     "Der Anschluss oder das Gerät kann nicht geöffnet werden."},
    {ERROR_UNKNOWN, "An unknown error occurred.", "Ein unbekannter Fehler ist aufgetreten."},
    {ERROR_REQUEST_TIMEOUT, "The remote computer stopped responding.",
     "Die Gegenstelle antwortet nicht mehr."},
    {ERROR_FROM_DEVICE, "The modem or the connect script reported an error.",
     "Das Modem oder das Verbindungsskript hat einen Fehler gemeldet."},
    {ERROR_AUTHENTICATION_FAILURE, "Authentication failed: user name or password wrong.",
     "Die Anmeldung ist fehlgeschlagen: Benutzername oder Kennwort ist falsch."},
    {ERROR_RASMAN_CANNOT_INITIALIZE, "The dial-up service cannot start (pppd or kernel PPP missing).",
     "Der DFÜ-Dienst kann nicht starten (pppd oder PPP im Kernel fehlt)."},
    {ERROR_PPP_LCP_TERMINATED, "The PPP link could not be negotiated.",
     "Die PPP-Verbindung konnte nicht ausgehandelt werden."},
};

const ErrorText *FindErrorText(int code) {
  for (const ErrorText &row : kErrorTexts)
    if (row.code == code) return &row;
  return nullptr;
}

} // namespace

const char *RasErrorText(int code) {
  const ErrorText *row = FindErrorText(code);
  return row ? row->english : nullptr;
}

const char *RasErrorTextGerman(int code) {
  const ErrorText *row = FindErrorText(code);
  return row ? row->german : nullptr;
}

int RasBackend::GetErrorString(int code, std::string &text) {
  const char *found = RasErrorTextGerman(code);
  if (!found) return ERROR_INVALID_PARAMETER;
  text = found;
  return ERROR_SUCCESS;
}

} // namespace kv::net
