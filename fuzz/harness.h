#pragma once
// What the network fuzz targets share: a peer that has said the input and then fallen silent.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace kvfuzz {

// A connected pair of stream sockets. The far end has sent `data` (as much as the socket takes)
// and shut down its sending side, so a receive on the near end gets the data, then the end of
// the stream at once, never a wait. What the near end sends stays unread in the far end.
class ScriptedPeer {
public:
  explicit ScriptedPeer(const std::string &data) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) std::abort();
    near_ = pair[0];
    far_ = pair[1];
    ::fcntl(far_, F_SETFL, ::fcntl(far_, F_GETFL) | O_NONBLOCK);
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::send(far_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::shutdown(far_, SHUT_WR);
  }
  ~ScriptedPeer() {
    if (near_ >= 0) ::close(near_);
    ::close(far_);
  }
  ScriptedPeer(const ScriptedPeer &) = delete;
  ScriptedPeer &operator=(const ScriptedPeer &) = delete;

  // The near end, handed over to a socket object that closes it.
  int TakeNear() {
    const int fd = near_;
    near_ = -1;
    return fd;
  }

private:
  int near_ = -1;
  int far_ = -1;
};

inline std::string Text(const uint8_t *data, size_t size) {
  return std::string(reinterpret_cast<const char *>(data), size);
}

// Stops the run with a message: the property `what` does not hold for this input.
[[noreturn]] inline void Broken(const char *what) {
  ::write(2, what, std::char_traits<char>::length(what));
  ::write(2, "\n", 1);
  std::abort();
}

} // namespace kvfuzz
