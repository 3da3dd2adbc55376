// The header lines of an HTTP reply, one by one as libcurl hands them over: its status and the
// length it announces.
// Properties: the status is 0 or three digits; the length is unknown (-1) or a count; a status
// line starts afresh; a length, once unreadable, stays so within its reply; a length read and
// announced again, and a status written out and read again, come back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "harness.h"
#include "net/http_get.h"

using kv::net::THttpReplyHead;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text = kvfuzz::Text(data, size);
  THttpReplyHead head;
  for (size_t start = 0; start < text.size();) {
    const size_t lf = text.find('\n', start);
    const size_t end = lf == std::string::npos ? text.size() : lf + 1;
    const std::string line = text.substr(start, end - start);
    start = end;
    const bool was_bad = head.BadLength;
    head.Take(line);
    if (head.Status != 0 && (head.Status < 100 || head.Status > 999)) kvfuzz::Broken("a status out of range");
    if (head.ContentLength < -1) kvfuzz::Broken("a negative length");
    const bool status_line = line.size() >= 5 && (line[0] | 0x20) == 'h' && (line[1] | 0x20) == 't' &&
                             (line[2] | 0x20) == 't' && (line[3] | 0x20) == 'p' && line[4] == '/';
    if (status_line && (head.ContentLength != -1 || head.BadLength))
      kvfuzz::Broken("a status line did not start afresh");
    if (!status_line && was_bad && !head.BadLength) kvfuzz::Broken("an unreadable length became readable");
    if (head.ContentLength >= 0 && !head.BadLength) {
      THttpReplyHead again = head;
      again.Take("Content-Length: " + std::to_string(head.ContentLength) + "\r\n");
      if (again.ContentLength != head.ContentLength || again.BadLength)
        kvfuzz::Broken("the same length announced twice was refused");
    }
    if (head.Status != 0) {
      THttpReplyHead again;
      again.Take("HTTP/1.1 " + std::to_string(head.Status) + " Reason\r\n");
      if (again.Status != head.Status) kvfuzz::Broken("a status written out reads differently");
    }
  }
  return 0;
}
