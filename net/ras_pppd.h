#pragma once
// The remote-access backend over pppd. The phone book is a directory of PPP peer files
// (net/ras_phonebook.h); dialling an entry runs "<pppd> call <entry> nodetach" (posix_spawn, no
// shell, its own process group, standard output and error read through a pipe) and turns what
// pppd prints and its exit status into the reports of the dial.
//
// Reports of an asynchronous dial, in order; each state is reported once, and nothing after
// RASCS_Connected except the end of the connection:
//
//   pppd started                                    RASCS_OpenPort
//   "Serial connection established" (connect
//     script done) or "PPP session is" (PPPoE)      RASCS_DeviceConnected
//   "Connect: ppp0 <--> /dev/ttyS0"                 RASCS_AllDevicesConnected
//   "sent [PAP AuthReq", "rcvd [CHAP Challenge",
//     "rcvd [EAP Request" (pppd option debug only)  RASCS_Authenticate
//   "... authentication succeeded"                  RASCS_Authenticated
//   "local IP address", "local LL address"          RASCS_Projected
//   "remote IP address", "remote LL address"        RASCS_Connected
//   (runs of blanks count as one; lines are matched at their start, the authentication
//    line anywhere)
//
// pppd ending by itself: before RASCS_Connected, one report with the last state and the error of
// its exit status (ERROR_DISCONNECTION for status 0); after it, RASCS_Disconnected with 0 for
// status 0, else with that error. Exit status to error:
//
//   1 fatal error                           ERROR_UNKNOWN
//   2 bad options                           ERROR_WRONG_INFO_SPECIFIED
//   3 lacks root rights                     ERROR_ACCESS_DENIED
//   4 no PPP in the kernel                  ERROR_RASMAN_CANNOT_INITIALIZE
//   5 ended by SIGINT, SIGTERM or SIGHUP    ERROR_USER_DISCONNECTION
//   6 serial port locked                    ERROR_PORT_ALREADY_OPEN
//   7 serial port cannot be opened          ERROR_PORT_NOT_AVAILABLE
//   8 connect script failed                 ERROR_FROM_DEVICE
//   9 pty command failed                    ERROR_FROM_DEVICE
//  10 negotiation failed                    ERROR_PPP_LCP_TERMINATED
//  11 peer refused to authenticate          ERROR_AUTHENTICATION_FAILURE
//  12 idle, 13 time limit, 14 callback      ERROR_DISCONNECTION
//  15 peer stopped answering echo requests  ERROR_REQUEST_TIMEOUT
//  16 modem hung up                         ERROR_REMOTE_DISCONNECTION
//  17 loopback detected                     ERROR_PPP_LCP_TERMINATED
//  18 init script failed                    ERROR_FROM_DEVICE
//  19 our authentication refused            ERROR_AUTHENTICATION_FAILURE
//  other status, or killed by a signal      ERROR_UNKNOWN, ERROR_DISCONNECTION
//
// pppd that cannot be started: ERROR_ACCESS_DENIED when not permitted, else
// ERROR_RASMAN_CANNOT_INITIALIZE. An entry that is not in the phone book:
// ERROR_CANNOT_FIND_PHONEBOOK_ENTRY.
//
// HangUp sends pppd SIGTERM (so it closes the link properly) and returns; when pppd has not ended
// after the grace period its whole process group gets SIGKILL. The process is always reaped. No
// report follows a hang-up, and the next Dial waits until the hung-up pppd has ended, as it holds
// the serial port's lock until then.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/ras.h"
#include "net/ras_phonebook.h"

namespace kv::net {

// Cuts pppd's output into lines (without their CR LF). A line longer than MaxLine bytes is
// judged by its first MaxLine bytes and the rest of it is skipped, so a runaway line costs
// bounded memory and never spills into the line after it.
class TPppdOutputLines {
public:
  static constexpr std::size_t MaxLine = 4096;
  using LineFn = std::function<void(std::string_view)>;

  // Takes the next bytes of output and calls `line` for each line they complete.
  void Feed(std::string_view bytes, const LineFn &line);
  // End of output: a last line without a line end counts too.
  void Finish(const LineFn &line);

private:
  void Emit(const LineFn &line);

  std::string partial_;
  bool skipping_ = false; // inside a line that was too long
};

class TPppdRasBackend : public RasBackend {
public:
  // `pppdCommand` is a path, or a name looked up in PATH and then /usr/local/sbin, /usr/sbin
  // and /sbin. `killGrace`: how long pppd may take to end after SIGTERM.
  explicit TPppdRasBackend(std::string peersDirectory = DefaultPeersDirectory,
                           std::string pppdCommand = "pppd",
                           std::chrono::milliseconds killGrace = std::chrono::seconds(5));
  // Hangs up every connection and waits until each pppd has ended and every thread is joined.
  ~TPppdRasBackend() override;
  TPppdRasBackend(const TPppdRasBackend &) = delete;
  TPppdRasBackend &operator=(const TPppdRasBackend &) = delete;

  int EnumEntries(std::vector<std::string> &entries) override;
  int GetEntryDialParams(RasDialParams &params, bool &passwordSaved) override;
  int Dial(const RasDialParams &params, RasNotifier notifier, RasConnHandle &handle) override;
  int HangUp(RasConnHandle handle) override;

  // The state a line of pppd's output stands for, or -1 (see the table above).
  static int StateOfLine(std::string_view line);
  // The error of a pppd exit status as waitpid gives it (0 for a normal exit 0).
  static int ErrorOfExit(int waitStatus);

  class Session; // one pppd process; defined in ras_pppd.cpp

private:
  // Waits for hung-up sessions' processes to end and drops those whose threads are done.
  void CollectEnded(bool waitForProcesses);

  TPppPhoneBook phoneBook_;
  std::string pppdCommand_;
  std::chrono::milliseconds killGrace_;
  std::mutex mutex_;
  std::map<RasConnHandle, std::shared_ptr<Session>> active_; // dialled, not yet hung up
  std::vector<std::shared_ptr<Session>> ended_;              // hung up, threads maybe running
  RasConnHandle nextHandle_ = 1;
};

} // namespace kv::net
