// The SNTP reply check and the timestamp conversions: any datagram is judged without failing,
// an accepted one has finite results, and a decoded timestamp encodes back to within a few
// microseconds (the resolution of a day count).
#include <cmath>
#include <cstring>

#include "harness.h"
#include "net/sntp_packet.h"

using namespace kv::net;

namespace {

uint32_t Word(const uint8_t *data, size_t size, size_t at) {
  uint32_t w = 0;
  for (size_t i = 0; i < 4; ++i)
    w = w << 8 | (at + i < size ? data[at + i] : 0);
  return w;
}

// A day count in era 1 resolves about 1.3 us; a decoded timestamp comes back within two steps.
constexpr double kRoundTripSeconds = 3e-6;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string datagram = kvfuzz::Text(data, size);
  // Half of the inputs are judged as answers to the request they name, so the checks after
  // the originate are reached too.
  TNtpTimestamp stamp{Word(data, size, 24), Word(data, size, 28)};
  if (size > 48 && data[48] & 1) stamp = {1, 2};
  UtcInstant t1{1796757040, 250000000}, t4{1796757040, 250086400};
  if (size >= 64) { // any seconds, nanoseconds in range as a clock gives them
    std::memcpy(&t1.seconds, data + 48, sizeof t1.seconds);
    std::memcpy(&t4.seconds, data + 56, sizeof t4.seconds);
    t1.nanoseconds = static_cast<int32_t>(Word(data, size, 24) % 1000000000u);
    t4.nanoseconds = static_cast<int32_t>(Word(data, size, 28) % 1000000000u);
  }
  const TReplyVerdict v = CheckReply(datagram, stamp, t1, t4);
  if (v.Accepted() && !(std::isfinite(v.Offset) && std::isfinite(v.Delay) && std::isfinite(v.ServerTime)))
    kvfuzz::Broken("an accepted answer with results that are not numbers");

  const uint32_t seconds = Word(data, size, 40), fraction = Word(data, size, 44);
  const TDateTime decoded = DecodeTimestamp(seconds, fraction);
  if (!std::isfinite(decoded) || decoded < 2.0 || decoded > 2.0 + 8589934592.0 / 86400.0)
    kvfuzz::Broken("a timestamp decoded outside its two eras");
  uint32_t s = 0, f = 0;
  EncodeTimestamp(decoded, s, f);
  // The full fraction is one second on the 2^32-1 scale: the last second of era 1 then decodes
  // to the first instant past both eras, which has no timestamp.
  const bool past_the_eras = seconds == 0x7FFFFFFFu && DecodeTimestamp(seconds, fraction) >=
                                                           DecodeTimestamp(seconds, 0) + 1.0 / 86400.0;
  if (std::fabs(DecodeTimestamp(s, f) - decoded) * 86400.0 > kRoundTripSeconds &&
      !(seconds == 0 && fraction == 0) && !past_the_eras)
    kvfuzz::Broken("a decoded timestamp does not encode back");
  double any = 0; // any date-time, NaN and infinities included
  if (size >= 56) std::memcpy(&any, data + 48, sizeof any);
  EncodeTimestamp(any, s, f);
  const TNtpTimestamp exact{seconds, fraction};
  const TNtpTimestamp again = InstantToNtp(NtpToInstant(exact));
  if (!(exact.Seconds == 0 && exact.Fraction == 0) &&
      (again.Seconds != exact.Seconds || std::abs(static_cast<int64_t>(again.Fraction) - exact.Fraction) > 5))
    kvfuzz::Broken("an exact timestamp does not convert back");
  return 0;
}
