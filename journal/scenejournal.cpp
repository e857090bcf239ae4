#include "journal/scenejournal.h"

#include "framework/core/archive.h"
#include "framework/core/posix.h"
#include "journal/journalformat.h"
#include "model/c3dobject.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace journal {

std::uint32_t RecordCheck(std::string_view kindAndPayload)
{
    // One shot: a streaming state per record would cost more than the hash.
    return static_cast<std::uint32_t>(XXH3_64bits(kindAndPayload.data(), kindAndPayload.size()));
}

} // namespace journal

namespace {

void putU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void putU64(std::string& out, std::uint64_t value)
{
    putU32(out, static_cast<std::uint32_t>(value));
    putU32(out, static_cast<std::uint32_t>(value >> 32));
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates `path` and the folders above it that are missing, each with mode
// 0700, and narrows `path` itself to 0700 (it holds private data).
bool makePrivateFolder(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    for (qsizetype slash = native.indexOf('/', 1); ; slash = native.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? native : native.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(QFile::decodeName(part), fw::errnoText(errno));
            return false;
        }
        if (slash < 0)
            break;
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        if (error)
            *error = QStringLiteral("%1 is not a folder of this user").arg(path);
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, fw::errnoText(errno));
        return false;
    }
    return true;
}

} // namespace

CSceneJournal::CSceneJournal(int fd, QString path, std::uint64_t length)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_length(length)
{
}

CSceneJournal::~CSceneJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<CSceneJournal> CSceneJournal::Create(const QString& folder, const QString& basePath, const fw::FileStamp& base,
                                                     const std::vector<std::unique_ptr<C3dObject>>* snapshot, QString* error)
{
    if (!makePrivateFolder(folder, error))
        return nullptr;
    // Written under a hidden name and renamed when the base record is in,
    // so that a journal under its final name always names its base. The pid
    // and a random part keep two editors' names apart.
    const QString name = QStringLiteral("%1-%2").arg(::getpid()).arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    const QString hidden = folder + QStringLiteral("/.") + name;
    const QString path = folder + QLatin1Char('/') + name + QLatin1String(journal::kSuffix.data(), journal::kSuffix.size());
    const int fd = ::open(QFile::encodeName(hidden).constData(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(hidden, fw::errnoText(errno));
        return nullptr;
    }
    std::unique_ptr<CSceneJournal> created(new CSceneJournal(fd, hidden, 0));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(hidden, fw::errnoText(errno));
        created->Remove();
        return nullptr;
    }

    std::string header(journal::kMagic);
    putU32(header, journal::kVersion);
    std::string& payload = created->m_payload;
    payload.clear();
    payload.push_back(static_cast<char>(base.isValid() ? journal::kBaseHasFile : 0));
    const QByteArray pathBytes = basePath.toUtf8();
    putU32(payload, static_cast<std::uint32_t>(pathBytes.size()));
    payload.append(pathBytes.constData(), static_cast<std::size_t>(pathBytes.size()));
    putU64(payload, static_cast<std::uint64_t>(base.size));
    putU64(payload, static_cast<std::uint64_t>(base.mtimeNs));
    putU64(payload, base.hash);
    if (!writeAll(fd, header)) {
        created->m_failed = true;
    } else {
        created->m_length = header.size();
        created->append(static_cast<int>(journal::Kind::Base));
    }
    if (snapshot && !created->m_failed) {
        fw::Archive ar = fw::Archive::forStoring();
        ar.StoreList(*snapshot);
        payload = ar.takeBytes();
        created->append(static_cast<int>(journal::Kind::Snapshot));
    }
    if (created->m_failed || ::rename(QFile::encodeName(hidden).constData(), QFile::encodeName(path).constData()) != 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(hidden, fw::errnoText(errno));
        created->Remove();
        return nullptr;
    }
    created->m_path = path;
    return created;
}

std::unique_ptr<CSceneJournal> CSceneJournal::Adopt(int fd, const QString& path, std::uint64_t validLength, QString* error)
{
    std::unique_ptr<CSceneJournal> adopted(new CSceneJournal(fd, path, validLength));
    // The writes append: O_APPEND keeps them at the end after the cut.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_APPEND) != 0
        || ::ftruncate(fd, static_cast<off_t>(validLength)) != 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, fw::errnoText(errno));
        return nullptr;
    }
    return adopted;
}

void CSceneJournal::RecordAdd(std::size_t position, const C3dObject& object)
{
    recordObject(static_cast<int>(journal::Kind::Add), position, &object);
}

void CSceneJournal::RecordChange(std::size_t position, const C3dObject& object)
{
    recordObject(static_cast<int>(journal::Kind::Change), position, &object);
}

void CSceneJournal::RecordRemove(std::size_t position)
{
    recordObject(static_cast<int>(journal::Kind::Remove), position, nullptr);
}

void CSceneJournal::recordObject(int kind, std::size_t position, const C3dObject* object)
{
    if (m_failed)
        return;
    m_payload.clear();
    putU32(m_payload, static_cast<std::uint32_t>(position));
    if (object) {
        fw::Archive ar = fw::Archive::forStoring();
        ar.WriteObject(*object);
        m_payload += ar.bytes();
    }
    append(kind);
}

void CSceneJournal::append(int kind)
{
    m_record.clear();
    putU32(m_record, static_cast<std::uint32_t>(m_payload.size() + 1));
    m_record.push_back(static_cast<char>(kind));
    m_record += m_payload;
    putU32(m_record, journal::RecordCheck(std::string_view(m_record).substr(4)));
    if (!writeAll(m_fd, m_record)) {
        // A torn record would hide every later one: cut it off and stop.
        // Should the cut fail too, readers still stop at the torn record.
        m_failed = true;
        static_cast<void>(!::ftruncate(m_fd, static_cast<off_t>(m_length)));
        return;
    }
    m_length += m_record.size();
    m_unsynced = true;
}

void CSceneJournal::Sync()
{
    if (!m_unsynced || m_fd < 0)
        return;
    m_unsynced = false;
    while (::fdatasync(m_fd) != 0 && errno == EINTR) {
    }
}

int CSceneJournal::TakeSyncHandle()
{
    if (!m_unsynced || m_fd < 0)
        return -1;
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0)
        m_unsynced = false;
    return fd;
}

void CSceneJournal::Remove()
{
    if (m_fd < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
    m_unsynced = false;
}
