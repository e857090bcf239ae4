#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

struct stat;

namespace fw {

// What a file was when a document last read or wrote it: its size, its
// modification time and a hash of all its bytes. A document keeps one for
// its file and compares it again before overwriting that file, so that a
// change made by another program is noticed; the recovery journal keeps one
// to name the file its changes apply to.
struct FileStamp {
    std::int64_t size = -1; // -1: no stamp (a new document, or no file)
    std::int64_t mtimeNs = 0;
    std::uint64_t hash = 0;

    bool isValid() const { return size >= 0; }
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// A 64-bit hash of a byte stream (XXH3), fed piece by piece as the bytes
// are read or written.
class FileHasher {
public:
    FileHasher();
    ~FileHasher();

    void update(const void* data, std::size_t size);
    std::uint64_t digest() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Size and modification time from `st`, with `hash` as given.
FileStamp StatStamp(const struct stat& st, std::uint64_t hash);

// Size and modification time of the regular file at `path` (symlinks
// followed), with `hash` as given; an invalid stamp when there is no such
// regular file.
FileStamp StatFile(const QString& path, std::uint64_t hash);

enum class FileChange { Unchanged, Changed, Missing };

// Compares the file at `path` with `stamp`. Equal size and modification time
// count as unchanged without reading; a different size as changed without
// reading; the same size with another time is decided by hashing the bytes,
// so that a file rewritten with the same content is not reported. A path
// that is no longer a regular file is Missing.
FileChange CompareFileStamp(const QString& path, const FileStamp& stamp);

} // namespace fw
