#pragma once
// Opening a file that must be a regular file: a FIFO, a device or a socket given where a file is
// expected could hold the reader for ever, and opening a device can have effects of its own.

#include <functional>

namespace kv::platform {

// Opens `path` for reading when it is a regular file, without waiting in the open; returns the
// descriptor (close-on-exec, blocking reads), or -1 when it cannot be opened or is no regular file.
// A path that names another file by the time of the open still gives the file looked at.
int OpenRegularFile(const char *path);
// The same; `between` (tests) runs after the file was looked at and before it is opened.
int OpenRegularFile(const char *path, const std::function<void()> &between);

} // namespace kv::platform
