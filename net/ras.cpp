#include "net/ras.h"

namespace kv::net {

const char *RasErrorText(int code) {
  switch (code) {
  case ERROR_ACCESS_DENIED:
    return "Access denied: this user may not run pppd (group dip).";
  case ERROR_INVALID_HANDLE:
    return "The connection handle is invalid.";
  case ERROR_INVALID_PARAMETER:
    return "The parameter is incorrect.";
  case ERROR_PORT_ALREADY_OPEN:
    return "The port is already in use by another connection.";
  case ERROR_BUFFER_TOO_SMALL:
    return "The phone book has more entries than can be listed.";
  case ERROR_WRONG_INFO_SPECIFIED:
    return "The options of the phone-book entry are wrong.";
  case ERROR_CANNOT_OPEN_PHONEBOOK:
    return "The phone book cannot be opened.";
  case ERROR_CANNOT_FIND_PHONEBOOK_ENTRY:
    return "The phone-book entry cannot be found.";
  case ERROR_DISCONNECTION:
    return "The connection was closed.";
  case ERROR_REMOTE_DISCONNECTION:
    return "The connection was closed by the remote side or the modem.";
  case ERROR_USER_DISCONNECTION:
    return "The connection was closed by the user.";
  case ERROR_PORT_NOT_AVAILABLE:
    return "The port or device cannot be opened.";
  case ERROR_UNKNOWN:
    return "An unknown error occurred.";
  case ERROR_REQUEST_TIMEOUT:
    return "The remote computer stopped responding.";
  case ERROR_FROM_DEVICE:
    return "The modem or the connect script reported an error.";
  case ERROR_AUTHENTICATION_FAILURE:
    return "Authentication failed: user name or password wrong.";
  case ERROR_RASMAN_CANNOT_INITIALIZE:
    return "The dial-up service cannot start (pppd or kernel PPP missing).";
  case ERROR_PPP_LCP_TERMINATED:
    return "The PPP link could not be negotiated.";
  default:
    return nullptr;
  }
}

int RasBackend::GetErrorString(int code, std::string &text) {
  const char *found = RasErrorText(code);
  if (!found) return ERROR_INVALID_PARAMETER;
  text = found;
  return ERROR_SUCCESS;
}

} // namespace kv::net
