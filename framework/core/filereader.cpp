#include "framework/core/filereader.h"
#include "framework/core/posix.h"

#include <QFile>
#include <new>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fw {

FileReader::~FileReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileReader::Open(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    // A socket cannot even be opened, and opening a pipe without
    // O_NONBLOCK waits for a writer: look at the path first, then check the
    // descriptor again, since the path may have changed in between.
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    return adopt(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), false, error);
}

bool FileReader::OpenStandardInput(QString* error)
{
    return adopt(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0), true, error);
}

bool FileReader::OpenDescriptor(int fd, QString* error)
{
    return adopt(::fcntl(fd, F_DUPFD_CLOEXEC, 0), false, error);
}

bool FileReader::adopt(int fd, bool anyKind, QString* error)
{
    struct stat st {};
    const bool opened = fd >= 0 && ::fstat(fd, &st) == 0;
    if (!opened || (!anyKind && !S_ISREG(st.st_mode))) {
        if (error)
            *error = opened ? QStringLiteral("not a regular file") : errnoText(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_fd = fd;
    m_sizeKnown = S_ISREG(st.st_mode);
    m_opened = StatStamp(st, 0);
    return true;
}

std::uint64_t FileReader::Left() const
{
    if (!m_sizeKnown)
        return UINT64_MAX;
    const auto size = static_cast<std::uint64_t>(m_opened.size);
    return size > m_offset ? size - m_offset : 0;
}

std::size_t FileReader::Read(char* into, std::size_t size)
{
    if (m_watch && m_watch->cancelled.load(std::memory_order_relaxed))
        throw ReadCancelled();
    const ssize_t n = retryOnInterrupt([&] { return ::read(m_fd, into, size); });
    if (n < 0)
        throw std::system_error(errno, std::generic_category());
    m_hasher.update(into, static_cast<std::size_t>(n));
    m_offset += static_cast<std::uint64_t>(n);
    if (m_watch)
        m_watch->bytesRead.store(m_offset, std::memory_order_relaxed);
    return static_cast<std::size_t>(n);
}

bool FileReader::ReadAll(QByteArray& data, QString* error)
{
    try {
        QByteArray bytes;
        constexpr std::size_t kPiece = 64 * 1024;
        // A regular file's size is known: one allocation holds it all. One
        // that grew since it was opened grows the array, which doubles.
        if (Left() < std::uint64_t(INT64_MAX / 2))
            bytes.reserve(static_cast<qsizetype>(Left() + kPiece));
        for (std::size_t got = kPiece; got > 0;) {
            const qsizetype size = bytes.size();
            bytes.resize(size + qsizetype(kPiece));
            got = Read(bytes.data() + size, kPiece);
            bytes.resize(size + qsizetype(got));
        }
        data = std::move(bytes);
    } catch (const std::system_error& e) {
        if (error)
            *error = errnoText(e.code().value());
        return false;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = QStringLiteral("out of memory");
        return false;
    }
    return true;
}

bool ReadWholeFile(const QString& path, QByteArray& data, QString* error)
{
    FileReader file;
    return file.Open(path, error) && file.ReadAll(data, error);
}

FileStamp FileReader::Stamp() const
{
    return {m_opened.size, m_opened.mtimeNs, m_hasher.digest()};
}

} // namespace fw
