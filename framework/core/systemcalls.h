#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

// The file-system calls through which documents are saved and recovery
// journals are written, flushed, renamed and removed, on any thread. They
// are the system's own unless a test replaces them (while no file is being
// written) to see what a failing disk or a power cut after any of them
// leaves behind. Reads do not go through here.
namespace fw {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    ssize_t (*pwrite)(int fd, const void* data, std::size_t size, off_t offset);
    int (*ftruncate)(int fd, off_t length);
    int (*fsync)(int fd);
    int (*fdatasync)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*mkdir)(const char* path, mode_t mode);
};

// The calls in use.
SystemCalls& systemCalls();
// The system's own calls, for a test to put back.
SystemCalls systemsOwnCalls();

// Makes the names in `folder` durable (fsync of the folder): a file made,
// renamed or removed there survives a power cut only after this. 0, or the
// errno of the failure.
int SyncFolder(const std::string& folder);

} // namespace fw
