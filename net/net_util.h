#pragma once
// Small helpers shared by the socket layer and its clients: the UTC clock and the millisecond
// tick counter, big-endian packing, address-text tests, space trimming and token cutting, the
// line-end finder, Base64. All strings are byte strings; positions are 1-based, as the callers
// count them.

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/datetime.h"

namespace kv::net {

using kv::platform::TDateTime;

// Current UTC time, millisecond resolution, from the platform clock.
TDateTime GetUtcNow();
// Sets the platform clock to `value` (UTC). False when the system refused (no right to set the
// clock); `error`, when given, then receives the errno of the refusal (0 on success).
bool SetUtcNow(TDateTime value, int *error = nullptr);

// Milliseconds of a monotonic clock, 64 bits wide, so it never wraps.
uint64_t TickNow();
// Milliseconds from `old_tick` to `new_tick`. A pair taken from a wrapping 32-bit counter (old in
// the upper half, new in the lower) counts across the wrap; any other backwards pair gives 0, so
// the result never turns into a huge wait.
uint64_t TickDifference(uint64_t old_tick, uint64_t new_tick);
// Milliseconds left of `timeout` counted from `start_tick` (a TickNow value): 0 once it is used
// up, -1 (no limit) for a negative time-out.
int MillisecondsLeft(uint64_t start_tick, int timeout);

std::string EncodeWordBE(uint16_t value);
std::string EncodeLongBE(uint32_t value);
// Bytes past the end of `data` count as 0.
uint16_t DecodeWordBE(const std::string &data, size_t position);
uint32_t DecodeLongBE(const std::string &data, size_t position);

// Non-empty, digits only, value 0 to 255.
bool IsOctetText(const std::string &text);
// A dotted-quad IPv4 address exactly as the resolver reads it (spaces around it are ignored;
// no leading zeros, which the resolver would read as octal).
bool IsIPv4Text(const std::string &text);
// An IPv6 address as the resolver reads it: at least one colon, an optional "%zone" suffix.
bool IsIPv6Text(const std::string &text);
// The four bytes of a dotted-quad text; a piece that is not a number gives 0.
std::string IPv4TextToBytes(const std::string &text);
// The number of a decimal port text (one to five digits, nothing else); -1 for any other text.
int PortTextNumber(const std::string &text);

// Only the space character counts as blank.
std::string TrimLeftSpaces(const std::string &text);
std::string TrimRightSpaces(const std::string &text);
std::string TrimSpaces(const std::string &text);
// Text before / after the first `delimiter`; the whole text when it is absent.
std::string TextBefore(const std::string &text, const std::string &delimiter);
std::string TextAfter(const std::string &text, const std::string &delimiter);
// Returns the text before the first delimiter and leaves the rest in `text` (empty when the
// delimiter is absent).
std::string CutToken(std::string &text, const std::string &delimiter);
// CutToken, with both the token and the rest trimmed of spaces.
std::string CutTrimmedToken(std::string &text, const std::string &delimiter);
// 1-based position of the first line end (CR LF, LF CR, CR or LF; the pairs win at equal
// positions) and the line end found; 0 and "" when there is none.
size_t FindLineEnd(const std::string &text, std::string &line_end);

void WriteStringToStream(std::ostream &stream, const std::string &data);
inline const void *OffsetPointer(const void *pointer, size_t count) {
  return static_cast<const char *>(pointer) + count;
}

// Base64 (RFC 4648) with "=" padding and no line breaks.
std::string EncodeBase64(const std::string &data);
// The encoder behind it: index 64 of `table` is the pad character; an index past the table's
// end adds nothing.
std::string EncodeWithTable(const std::string &data, const std::string &table);

} // namespace kv::net
