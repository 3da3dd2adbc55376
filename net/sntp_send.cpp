#include "net/sntp_send.h"

#include <algorithm>
#include <cmath>

#include "net/net_util.h"

namespace kv::net {

namespace {

// The least time the association with a proxy is given, however short the query's time-out.
constexpr int kMinAssociationMs = 5000;

// The limit of the association as a whole: the query's time-out (negative: none), at least
// kMinAssociationMs.
int AssociationLimit(int timeout) {
  return timeout < 0 ? -1 : std::max(timeout, kMinAssociationMs);
}

} // namespace

TSNTPSend::TSNTPSend() : Sock_(std::make_unique<TUDPBlockSocket>()) {
  Timeout = 5000;
  TargetPort = "ntp";
}

TSNTPSend::~TSNTPSend() = default;

bool TSNTPSend::RequestTime() {
  ClockSetResult_ = TClockSetResult::NotAsked;
  ClockSetError_ = 0;
  LastCheck_.reset();
  TUDPBlockSocket &sock = *Sock_;

  sock.Bind(IPInterface, "0");             // deferred with the defaults; a failed rebind changes nothing
  sock.Connect(TargetHost, TargetPort);    // from now on the socket takes only the server's datagrams
  if (sock.LastError() != 0) return false; // the server's name or port did not resolve
  // The query's time counts from here: resolving the name above cannot be cut short.
  const uint64_t start = TickNow();
  // Through a proxy, the association is made before T1 is taken, so its set-up time counts
  // neither into the delay nor into the offset; the send below uses it. It is bounded as a
  // whole, so that a proxy that accepts and then says nothing cannot hold the query longer
  // than its time-out.
  if (!sock.SocksIP.empty() && !sock.UdpAssociate(AssociationLimit(Timeout))) return false;

  // Answers to earlier requests (late ones, after a time-out) must not pass for this one.
  sock.DrainInput();

  ClearPacket(Reply_);
  Reply_.LiVnMode = kClientLiVnMode;
  // T1 and T4 at the clock's full resolution: on a LAN the whole exchange takes less than the
  // millisecond that GetUtcNow gives.
  const UtcInstant T1 = kv::platform::CurrentClock().Now();
  const TNtpTimestamp stamp = InstantToNtp(T1);
  // The server echoes the transmit field as the reply's originate: that ties the answer to
  // this request.
  Reply_.Org1 = Reply_.Xmit1 = stamp.Seconds;
  Reply_.Org2 = Reply_.Xmit2 = stamp.Fraction;
  Buffer = PacketToString(Reply_);
  sock.SendString(Buffer);
  if (sock.LastError() != 0) return false;

  for (;;) {
    Buffer = sock.RecvPacket(MillisecondsLeft(start, Timeout));
    if (sock.LastError() != 0) return false; // 10060 when nothing (more) came in time
    const UtcInstant T4 = kv::platform::CurrentClock().Now();
    const TReplyVerdict verdict = CheckReply(Buffer, stamp, T1, T4);
    LastCheck_ = verdict.Check;
    if (verdict.Decoded) {
      Reply_ = verdict.Packet;
      ReplyLeap_ = verdict.Leap;
      ReplyVersion_ = verdict.Version;
      ReplyMode_ = verdict.Mode;
    }
    if (verdict.Check == TReplyCheck::OriginateMismatch) {
      // Not the answer to this request: a late one to an earlier request, or forged. At the
      // deadline no answer came in time.
      if (MillisecondsLeft(start, Timeout) == 0) {
        sock.ReportError(WSAETIMEDOUT);
        return false;
      }
      continue;
    }
    if (!verdict.Accepted()) return false;

    NTPTime_ = verdict.ServerTime;
    NTPOffset_ = verdict.Offset;
    NTPDelay_ = verdict.Delay;
    SetClock(T4, verdict.Offset);
    return true;
  }
}

void TSNTPSend::SetClock(const UtcInstant &T4, double offset) {
  if (!SyncTime) return;
  if (!(std::fabs(offset) <= MaxSyncDiff)) {
    ClockSetResult_ = TClockSetResult::OffsetTooLarge;
    return;
  }
  // To the nanosecond, not through a date-time, which SetUtcNow takes to whole milliseconds.
  const int error = kv::platform::CurrentClock().Set(kv::platform::AddSeconds(T4, offset));
  if (error == 0) {
    ClockSetResult_ = TClockSetResult::Set;
  } else {
    ClockSetResult_ = TClockSetResult::Refused;
    ClockSetError_ = error;
  }
}

} // namespace kv::net
