#pragma once
// Opening a file that must be a regular file: a FIFO, a device or a socket given where a file is
// expected could hold the reader for ever, and opening a device can have effects of its own.

namespace kv::platform {

// Opens `path` for reading when it is a regular file, without waiting in the open; returns the
// descriptor (close-on-exec, blocking reads), or -1 when it cannot be opened or is no regular file.
int OpenRegularFile(const char *path);

} // namespace kv::platform
