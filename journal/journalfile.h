#pragma once

#include <cstddef>
#include <sys/types.h>

// The system calls through which recovery journals are written and flushed,
// on the GUI thread and on the pool thread that flushes. They are the
// system's own unless a test replaces them (before any journal uses them)
// to see what a full or failing disk leaves behind.
namespace journal {

struct FileCalls {
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    int (*fdatasync)(int fd);
};

// The calls in use.
FileCalls& fileCalls();

} // namespace journal
