#include "net/sntp_send.h"

#include <cmath>

#include "net/net_util.h"

namespace kv::net {

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
  // Through a proxy, the association is made before T1 is taken, so its set-up time counts
  // neither into the delay nor into the offset; the send below uses it.
  if (!sock.SocksIP.empty() && !sock.UdpAssociate()) return false;

  // Answers to earlier requests (late ones, after a time-out) must not pass for this one.
  sock.DrainInput();

  ClearPacket(Reply_);
  Reply_.LiVnMode = kClientLiVnMode;
  const TDateTime T1 = GetUtcNow();
  EncodeTimestamp(T1, Reply_.Org1, Reply_.Org2);
  // The server echoes the transmit field as the reply's originate: that ties the answer to
  // this request.
  Reply_.Xmit1 = Reply_.Org1;
  Reply_.Xmit2 = Reply_.Org2;
  const TNtpTimestamp stamp{Reply_.Xmit1, Reply_.Xmit2};
  Buffer = PacketToString(Reply_);
  sock.SendString(Buffer);
  if (sock.LastError() != 0) return false;

  const uint64_t start = TickNow();
  for (;;) {
    Buffer = sock.RecvPacket(MillisecondsLeft(start, Timeout));
    if (sock.LastError() != 0) return false; // 10060 when nothing (more) came in time
    const TDateTime T4 = GetUtcNow();
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
    SetClock(T4, verdict.Offset / 86400.0);
    return true;
  }
}

void TSNTPSend::SetClock(TDateTime T4, double offset_days) {
  if (!SyncTime) return;
  if (!(std::fabs(NTPOffset_) <= MaxSyncDiff)) {
    ClockSetResult_ = TClockSetResult::OffsetTooLarge;
    return;
  }
  int error = 0;
  if (SetUtcNow(T4 + offset_days, &error)) {
    ClockSetResult_ = TClockSetResult::Set;
  } else {
    ClockSetResult_ = TClockSetResult::Refused;
    ClockSetError_ = error;
  }
}

} // namespace kv::net
