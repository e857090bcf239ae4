#include "framework/core/filestamp.h"
#include "framework/core/filereader.h"

#include <QFile>
#include <sys/stat.h>
#include <system_error>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace fw {

struct FileHasher::State {
    XXH3_state_t state;
};

FileHasher::FileHasher()
    : m_state(std::make_unique<State>())
{
    XXH3_64bits_reset(&m_state->state);
}

FileHasher::~FileHasher() = default;

void FileHasher::update(const void* data, std::size_t size) { XXH3_64bits_update(&m_state->state, data, size); }

std::uint64_t FileHasher::digest() const { return XXH3_64bits_digest(&m_state->state); }

FileStamp StatStamp(const struct stat& st, std::uint64_t hash)
{
    return {static_cast<std::int64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, hash};
}

FileStamp StatFile(const QString& path, std::uint64_t hash)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return StatStamp(st, hash);
}

FileChange CompareFileStamp(const QString& path, const FileStamp& stamp)
{
    const FileStamp now = StatFile(path, stamp.hash);
    if (!now.isValid())
        return FileChange::Missing;
    if (now.size != stamp.size)
        return FileChange::Changed;
    if (now.mtimeNs == stamp.mtimeNs)
        return FileChange::Unchanged;
    // Same size, another time: read at most the size the stamp knew, which
    // the document has held before, and compare the hash.
    FileReader file;
    if (!file.Open(path, nullptr))
        return FileChange::Changed;
    char buffer[1 << 16];
    std::int64_t total = 0;
    try {
        while (total <= stamp.size) {
            const std::size_t n = file.Read(buffer, sizeof buffer);
            if (n == 0)
                break;
            total += static_cast<std::int64_t>(n);
        }
    } catch (const std::system_error&) {
        return FileChange::Changed;
    }
    return total == stamp.size && file.Stamp().hash == stamp.hash ? FileChange::Unchanged : FileChange::Changed;
}

} // namespace fw
