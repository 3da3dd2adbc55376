#pragma once
// The SNTP client: one 48-byte request over UDP, directly or through a SOCKS5 UDP relay; the
// answer checked, offset, delay and server time computed, and the clock set when asked to.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/sntp_packet.h"
#include "net/udp_socket.h"

namespace kv::net {

// What became of the clock after the last accepted answer.
enum class TClockSetResult {
  NotAsked,       // SyncTime is off (or no answer was accepted)
  Set,            // the clock now shows the server time
  OffsetTooLarge, // |offset| > MaxSyncDiff: the clock was left alone
  Refused,        // the system refused; ClockSetError() holds its errno (EPERM: no right to)
};

class TSNTPSend : public TNetClient {
public:
  // Timeout 5000 ms, port "ntp", MaxSyncDiff 3600 s, SyncTime off, a new socket.
  TSNTPSend();
  ~TSNTPSend() override;
  TSNTPSend(const TSNTPSend &) = delete;
  TSNTPSend &operator=(const TSNTPSend &) = delete;

  // Asks TargetHost:TargetPort for the time. True when an answer came and passed every check;
  // then NTPTime, NTPOffset and NTPDelay hold it, and with SyncTime the clock was set when
  // |offset| <= MaxSyncDiff (ClockSetResult says whether that worked). False on a send failure,
  // a time-out or a rejected answer (Sock().LastError() and LastCheck() tell which); the results
  // then keep their earlier values.
  // Time: resolving TargetHost comes first and is not bounded. From there on the query takes at
  // most Timeout ms (negative: no limit), through a proxy at most 5000 ms when Timeout is less:
  // the association with the proxy is given Timeout but at least those 5 s as a whole (so that
  // a query that only takes an answer already queued, Timeout 0, still gets its association),
  // and the wait for the answer gets what is left of Timeout counted from the same start, at
  // least one look without waiting. A failed association leaves Sock().LastError() 11003;
  // Sock().AssociationFailedAtProxy() and the control socket's LastError tell why.
  bool RequestTime();

  // Server time (UTC), offset (seconds, positive when the server is ahead) and round-trip delay
  // (seconds) of the last accepted answer; 0 before the first. The delay is the measured one,
  // so it can fall a hair below 0 through the server's own timestamp noise.
  TDateTime NTPTime() const { return NTPTime_; }
  double NTPOffset() const { return NTPOffset_; }
  double NTPDelay() const { return NTPDelay_; }
  // The socket; its SOCKS properties route the query through a SOCKS5 proxy.
  TUDPBlockSocket &Sock() { return *Sock_; }
  const TUDPBlockSocket &Sock() const { return *Sock_; }

  // Largest |offset| in seconds for which the clock is set.
  double MaxSyncDiff = 3600.0;
  // Set the clock after an accepted answer.
  bool SyncTime = false;

  // The last datagram of at least 48 bytes taken from the server, decoded, and its first byte's
  // three fields.
  const TNtpPacket &Reply() const { return Reply_; }
  uint8_t ReplyLeap() const { return ReplyLeap_; }
  uint8_t ReplyVersion() const { return ReplyVersion_; }
  uint8_t ReplyMode() const { return ReplyMode_; }
  // The verdict on the last datagram judged in the last RequestTime; empty when none came.
  std::optional<TReplyCheck> LastCheck() const { return LastCheck_; }

  // The clock-setting outcome of the last RequestTime, and the errno of a refusal.
  TClockSetResult ClockSetResult() const { return ClockSetResult_; }
  int ClockSetError() const { return ClockSetError_; }

private:
  // Sets the clock to T4 + offset (seconds) when SyncTime asks for it and the offset is allowed.
  void SetClock(const UtcInstant &T4, double offset);

  std::unique_ptr<TUDPBlockSocket> Sock_;
  TNtpPacket Reply_;
  TDateTime NTPTime_ = 0;
  double NTPOffset_ = 0;
  double NTPDelay_ = 0;
  std::string Buffer; // the request just sent, then the datagram just received
  uint8_t ReplyLeap_ = 0, ReplyVersion_ = 0, ReplyMode_ = 0;
  std::optional<TReplyCheck> LastCheck_;
  TClockSetResult ClockSetResult_ = TClockSetResult::NotAsked;
  int ClockSetError_ = 0;
};

} // namespace kv::net
