#include "log/writer.h"

#include <cerrno>
#include <stdexcept>
#include <unistd.h>

namespace kv::logging {

TFastLogWriter::TFastLogWriter() : TFastLogThread("kv-log-writer") {
  ready_ = true;
}

TFastLogWriter::~TFastLogWriter() {
  Shutdown();
}

bool TFastLogWriter::WaitUntilOpen() {
  if (!Resumed()) return false; // nothing would ever open the file
  WaitState([this] { return file_open_ || !Alive(); });
  return file_open_;
}

bool TFastLogWriter::BeforeLoop() {
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
      throw std::runtime_error("log write failed");
    }
    done += static_cast<size_t>(n);
  }
}

void TFastLogWriter::AfterLoop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  file_open_ = false;
}

} // namespace kv::logging
