#include "log/writer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "platform/system.h"

namespace kv::logging {

namespace {

// Past a file-size limit the system would kill the whole program with SIGXFSZ; ignored, the
// write fails with EFBIG and is handled like any other failed write. A handler someone else
// installed is left in place.
void IgnoreFileSizeSignal() {
  struct sigaction current {};
  if (sigaction(SIGXFSZ, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

// The name the open log has now: another run may have renumbered it since it was created.
std::string OpenFileName(int fd, const std::string &created_as) {
  char name[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = readlink(link.c_str(), name, sizeof name);
  if (n <= 0 || n == ssize_t(sizeof name) || name[0] != '/') return created_as;
  return std::string(name, size_t(n));
}

} // namespace

TFastLogWriter::TFastLogWriter() : TFastLogThread("kv-log-writer") {
  ready_ = true;
}

TFastLogWriter::~TFastLogWriter() {
  Shutdown();
}

bool TFastLogWriter::WaitUntilOpen() {
  if (!Resumed()) return false; // nothing would ever open the file
  // A stop request comes from a signal handler, which cannot wake the wait: it is looked at.
  // Once it is raised the wait for the folder's lock ends, so the file opens at once; a writer
  // still held after that (a hung disk) is waited for only a little longer.
  const std::atomic<bool> *stop = file_def_.StopSource;
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> stopped;
  WaitState(
      [&] {
        if (file_open_ || !Alive()) return true;
        if (!stop || !stop->load()) return false;
        if (!stopped) stopped = Clock::now();
        return Clock::now() - *stopped >= kStopGrace;
      },
      std::chrono::milliseconds(stop ? 20 : 0));
  return file_open_;
}

bool TFastLogWriter::BeforeLoop() {
  IgnoreFileSizeSignal();
  fd_ = file_def_.CreateLogFile();
  if (fd_ < 0) {
    last_error_ = errno;
    ready_ = false;
    return false;
  }
  file_open_ = true;
  NotifyState();
  return true;
}

void TFastLogWriter::HandleMessage(ThreadMessage &msg) {
  if (msg.Message == WM_FL_WRITE_TEXT) {
    if (auto *text = dynamic_cast<TFLStringMsg *>(msg.Object.get())) WriteAll(text->Text);
  } else if (msg.Message == WM_FL_WRITE_LINES) {
    if (auto *list = dynamic_cast<TFLStrings *>(msg.Object.get())) {
      std::string bytes;
      for (const auto &line : list->Lines) {
        bytes += line;
        bytes += "\r\n";
      }
      WriteAll(bytes);
    }
  }
  // Any other message is taken and ignored; the object is freed with `msg`.
}

void TFastLogWriter::WriteAll(const std::string &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      last_error_ = n < 0 ? errno : EIO;
      ready_ = false;
      // Nobody may be watching the run: it goes on, and standard error tells why the log ends.
      platform::SayOnStandardError("Die Protokolldatei " + OpenFileName(fd_, file_def_.FullName()) +
                                   " kann nicht weiter geschrieben werden (" +
                                   platform::ErrorTextGerman(last_error_) +
                                   "); der Lauf geht ohne Protokoll weiter.");
      throw std::runtime_error("log write failed");
    }
    done += static_cast<size_t>(n);
    NoteProgress(); // a pipe's slow reader still takes something
  }
}

void TFastLogWriter::AfterLoop() {
  if (fd_ >= 0) file_def_.CloseLogFile(fd_);
  fd_ = -1;
  file_open_ = false;
}

} // namespace kv::logging
