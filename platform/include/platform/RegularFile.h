#pragma once
// Writing a file of a fixed name in a folder that others may reach (the
// application folder, a crash report's place): whatever was put there under
// that name, only a regular file is written.
#include <sys/types.h>

namespace platform {

// Opens `path` for writing, created with `mode` when missing, and empties it.
// A link is not followed, and nothing is waited for: a FIFO without a reader
// or a device is not opened for good, since only a regular file (checked on
// the opened descriptor) is taken. The descriptor, close-on-exec, or -1.
// Async-signal-safe: the crash handler writes its report through it.
int openRegularFileToWrite(const char* path, mode_t mode);

}  // namespace platform
