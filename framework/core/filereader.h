#pragma once

#include "framework/core/filestamp.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace fw {

// A load watched from another thread: the bytes a FileReader has read so
// far, which the watcher may poll, and the watcher's request to stop, which
// the reader answers by throwing ReadCancelled before its next read. Owned
// by the watcher; it outlives the reader it is given to.
struct ReadWatch {
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<bool> cancelled{false};
};

// Thrown by a watched FileReader once its ReadWatch asks it to stop.
struct ReadCancelled {};

// A regular file opened for loading, read piece by piece into the caller's
// buffer. Every byte handed out is also fed to a hash, so that the file's
// stamp comes from the same single pass as the load.
//
// Open() refuses anything that is not a regular file (a pipe, a device, a
// directory, a socket) before reading a byte, and never blocks on one.
// Read errors throw std::system_error. The descriptor is closed by the
// destructor; the reader is neither copied nor moved.
class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Returns false with the reason in `error` when `path` cannot be read.
    bool Open(const QString& path, QString* error);
    // Reads standard input instead, whatever it is (a pipe, a terminal, a
    // file): the user named it. Its size is unknown unless it is a regular file.
    bool OpenStandardInput(QString* error);
    // Reads the regular file open as `fd` (which stays the caller's) from
    // its offset on, through a duplicate that shares that offset.
    bool OpenDescriptor(int fd, QString* error);

    // Reports every read to `watch` and stops when it says so; null stops
    // the reports.
    void Watch(ReadWatch* watch) { m_watch = watch; }
    // Reads up to `size` bytes into `into`; 0 at the end of the file.
    std::size_t Read(char* into, std::size_t size);
    // Reads the rest of the file into `data` (one allocation when its size
    // is known); false with the reason in `error` on a read error or when
    // memory runs out.
    bool ReadAll(QByteArray& data, QString* error);
    // Bytes between the read position and the end the file had when opened;
    // the largest number for a stream of unknown size.
    std::uint64_t Left() const;

    // Size and modification time at opening, with the hash of the bytes read
    // so far: the whole file's once Read() has returned 0.
    FileStamp Stamp() const;

private:
    // Reads from `fd`, or closes it and returns false with the reason: a
    // failed open (fd < 0), or a file other than a regular one unless `anyKind`.
    bool adopt(int fd, bool anyKind, QString* error);

    int m_fd = -1;
    FileStamp m_opened; // size and time at opening
    std::uint64_t m_offset = 0;
    bool m_sizeKnown = true;
    FileHasher m_hasher;
    ReadWatch* m_watch = nullptr;
};

// Reads the whole regular file at `path` into `data` (a pipe or a device
// is refused without waiting on it); false with the reason in `error`.
bool ReadWholeFile(const QString& path, QByteArray& data, QString* error);

} // namespace fw
