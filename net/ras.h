#pragma once
// The remote-access service the dial-up component talks to: connection states, error numbers,
// dial parameters and the backend interface. The program uses the pppd backend (net/ras_pppd.h);
// tests put a fake behind the same interface.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::net {

// Connection states of a dial, in the numbering the component's reports carry.
inline constexpr int RASCS_OpenPort = 0;
inline constexpr int RASCS_PortOpened = 1;
inline constexpr int RASCS_ConnectDevice = 2;
inline constexpr int RASCS_DeviceConnected = 3;
inline constexpr int RASCS_AllDevicesConnected = 4;
inline constexpr int RASCS_Authenticate = 5;
inline constexpr int RASCS_AuthNotify = 6;
inline constexpr int RASCS_AuthRetry = 7;
inline constexpr int RASCS_AuthCallback = 8;
inline constexpr int RASCS_AuthChangePassword = 9;
inline constexpr int RASCS_AuthProject = 10;
inline constexpr int RASCS_AuthLinkSpeed = 11;
inline constexpr int RASCS_AuthAck = 12;
inline constexpr int RASCS_ReAuthenticate = 13;
inline constexpr int RASCS_Authenticated = 14;
inline constexpr int RASCS_PrepareForCallback = 15;
inline constexpr int RASCS_WaitForModemReset = 16;
inline constexpr int RASCS_WaitForCallback = 17;
inline constexpr int RASCS_Projected = 18;
inline constexpr int RASCS_StartAuthentication = 19;
inline constexpr int RASCS_CallbackComplete = 20;
inline constexpr int RASCS_LogonNetwork = 21;
inline constexpr int RASCS_Interactive = 0x1000;
inline constexpr int RASCS_RetryAuthentication = 0x1001;
inline constexpr int RASCS_CallbackSetByCaller = 0x1002;
inline constexpr int RASCS_PasswordExpired = 0x1003;
inline constexpr int RASCS_Connected = 0x2000;
inline constexpr int RASCS_Disconnected = 0x2001;

// Message number that every report of a dial carries.
inline constexpr uint32_t WM_RASDIALEVENT = 0xCCCD;

// Error numbers. 0 is success everywhere.
inline constexpr int ERROR_SUCCESS = 0;
inline constexpr int ERROR_ACCESS_DENIED = 5;
inline constexpr int ERROR_INVALID_HANDLE = 6;
inline constexpr int ERROR_INVALID_PARAMETER = 87;
inline constexpr int ERROR_PORT_ALREADY_OPEN = 602;
inline constexpr int ERROR_BUFFER_TOO_SMALL = 603;
inline constexpr int ERROR_WRONG_INFO_SPECIFIED = 604;
inline constexpr int ERROR_CANNOT_OPEN_PHONEBOOK = 621;
inline constexpr int ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
inline constexpr int ERROR_DISCONNECTION = 628;
inline constexpr int ERROR_REMOTE_DISCONNECTION = 629;
inline constexpr int ERROR_USER_DISCONNECTION = 631;
inline constexpr int ERROR_PORT_NOT_AVAILABLE = 633;
inline constexpr int ERROR_UNKNOWN = 635;
inline constexpr int ERROR_REQUEST_TIMEOUT = 638;
inline constexpr int ERROR_FROM_DEVICE = 651;
inline constexpr int ERROR_AUTHENTICATION_FAILURE = 691;
inline constexpr int ERROR_RASMAN_CANNOT_INITIALIZE = 711;
inline constexpr int ERROR_PPP_LCP_TERMINATED = 734;

// Our English text for an error number (for log lines), or nullptr for a number we do not know.
const char *RasErrorText(int code);
// The same in German, the language the user reads: what GetErrorString gives.
const char *RasErrorTextGerman(int code);

// What a dial needs to know about a phone-book entry.
struct RasDialParams {
  std::string EntryName;
  std::string PhoneNumber;
  std::string UserName;
  std::string Password;
  std::string Domain;
};

// Handle of a connection; 0 means none.
using RasConnHandle = uint32_t;

// Receives the progress reports of an asynchronous dial: message number, connection state
// (RASCS_*) and error (0 or an error number). Called on a thread of the backend, one report at
// a time and in order; it may block, and the backend then holds its later reports back.
using RasNotifier = std::function<void(uint32_t msg, int state, int error)>;

class RasBackend {
public:
  virtual ~RasBackend() = default;

  // Names of the phone-book entries, in phone-book order. Returns 0 or an error number
  // (entries is then left empty).
  virtual int EnumEntries(std::vector<std::string> &entries) = 0;

  // Fills the dial parameters of params.EntryName. Returns 0, or
  // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY for an unknown entry, or another error number.
  virtual int GetEntryDialParams(RasDialParams &params, bool &passwordSaved) = 0;

  // Dials. Without a notifier the call blocks until the line is up (0) or the dial failed (an
  // error number). With one it returns at once: 0 when the dial is under way (reports follow
  // through the notifier) or an error number when it could not start. `handle` receives the
  // connection's handle whenever one was made, also when the dial failed; hang it up then.
  virtual int Dial(const RasDialParams &params, RasNotifier notifier, RasConnHandle &handle) = 0;

  // Ends the connection. Returns at once, without waiting for the line to close; the backend
  // delivers no report of this connection afterwards. ERROR_INVALID_HANDLE for an unknown handle.
  virtual int HangUp(RasConnHandle handle) = 0;

  // Text of an error number in the user's language (German). Returns 0 and sets text, or
  // ERROR_INVALID_PARAMETER for an unknown number (text is then left alone).
  virtual int GetErrorString(int code, std::string &text);
};

} // namespace kv::net
