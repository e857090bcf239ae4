#include "journal/scenejournal.h"

#include "framework/core/archive.h"
#include "framework/core/diskwork.h"
#include "framework/core/posix.h"
#include "framework/core/systemcalls.h"
#include "journal/journalformat.h"
#include "model/c3dobject.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// False with errno set when not every byte was written.
bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = fw::retryOnInterrupt([&] { return fw::systemCalls().write(fd, bytes.data() + done, bytes.size() - done); });
        if (n < 0)
            return false;
        if (n == 0) {
            // A regular file takes no bytes only when there is no room.
            errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// False with errno set when the flush failed.
bool flushAll(int fd)
{
    return fw::retryOnInterrupt([fd] { return fw::systemCalls().fdatasync(fd); }) == 0;
}

std::string folderOf(const QString& path) { return QFile::encodeName(QFileInfo(path).path()).toStdString(); }

// Creates `path` and the folders above it that are missing, each with mode
// 0700 and its name made durable, and narrows `path` itself to 0700 (it
// holds private data).
bool makePrivateFolder(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    for (qsizetype slash = native.indexOf('/', 1); ; slash = native.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? native : native.left(slash);
        int failed = fw::systemCalls().mkdir(part.constData(), 0700) == 0 ? 0 : errno;
        if (failed == 0)
            failed = fw::SyncFolder(folderOf(QFile::decodeName(part)));
        if (failed != 0 && failed != EEXIST) {
            *error = fw::errnoText(failed);
            return false;
        }
        if (slash < 0)
            break;
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = fw::errnoText(ENOTDIR);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *error = QStringLiteral("the recovery folder %1 belongs to another user").arg(path);
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *error = fw::errnoText(errno);
        return false;
    }
    return true;
}

} // namespace

CSceneJournal::CSceneJournal(int fd, QString path, QString basePath, const fw::FileStamp& base)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_basePath(std::move(basePath))
    , m_base(base)
{
}

CSceneJournal::~CSceneJournal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

// A journal file put in place by placeFresh.
struct Placed {
    int fd = -1;
    QString path;
    // Why it could not be placed, when fd < 0.
    QString reason;
    // The errno of the folder's flush after a rename over a journal.
    int folderError = 0;
};

// The disk part of making a journal, on any thread: writes `bytes` to a new
// file under a hidden name in `folder`, locks it and renames it to `path`
// (over the journal there, flushed first and the rename made durable) or,
// when `path` is empty, to a fresh name in `folder` (made first where missing).
Placed placeFresh(const QString& folder, const std::string& bytes, const QString& path)
{
    Placed placed;
    const bool replacing = !path.isEmpty();
    if (!replacing && !makePrivateFolder(folder, &placed.reason))
        return placed;
    // The pid and a random part keep two editors' names apart.
    const QString hidden = QStringLiteral("%1/.%2-%3")
                               .arg(folder)
                               .arg(::getpid())
                               .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    const QByteArray native = QFile::encodeName(hidden);
    fw::Descriptor fd(fw::systemCalls().open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        placed.reason = fw::errnoText(errno);
        return placed;
    }
    placed.path = replacing ? path
                            : folder + QLatin1Char('/') + QFileInfo(hidden).fileName().mid(1)
                                  + QLatin1String(journal::kSuffix.data(), journal::kSuffix.size());
    // Flushed before a rename over a journal: the name never holds one that
    // a crash of the system could leave half written. A new name holds a
    // whole base record from the start, so it always names its base.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || !writeAll(fd.get(), bytes) || (replacing && !flushAll(fd.get()))
        || fw::systemCalls().rename(native.constData(), QFile::encodeName(placed.path).constData()) != 0) {
        placed.reason = fw::errnoText(errno);
        fw::systemCalls().unlink(native.constData());
        return placed;
    }
    // The rename is durable before the old journal is forgotten: until
    // then a power cut could bring it back without its latest records.
    if (replacing)
        placed.folderError = fw::SyncFolder(folderOf(path));
    placed.fd = fd.release();
    return placed;
}

} // namespace

std::string CSceneJournal::freshBytes(const std::vector<std::unique_ptr<C3dObject>>* snapshot, bool compacted) const
{
    std::string bytes = journal::Header();
    journal::AppendRecord(bytes, journal::Kind::Base, journal::EncodeBase({m_base.isValid(), compacted, m_basePath, m_base}));
    if (snapshot) {
        fw::Archive ar = fw::Archive::forStoring();
        ar.StoreList(*snapshot);
        journal::AppendRecord(bytes, journal::Kind::Snapshot, ar.bytes());
    }
    return bytes;
}

// What the thread that makes a journal's file hands back.
struct CSceneJournal::Creation {
    QString folder;
    std::string bytes;
    std::mutex mutex;
    std::condition_variable made;
    bool done = false;
    Placed placed;

    ~Creation()
    {
        if (placed.fd >= 0)
            ::close(placed.fd);
    }
};

std::unique_ptr<CSceneJournal> CSceneJournal::Start(const QString& folder, const QString& basePath, const fw::FileStamp& base,
                                                    const std::vector<std::unique_ptr<C3dObject>>* snapshot)
{
    std::unique_ptr<CSceneJournal> started(new CSceneJournal(-1, QString(), base.isValid() ? basePath : QString(), base));
    started->m_creation = std::make_shared<Creation>();
    started->m_creation->folder = folder;
    started->m_creation->bytes = started->freshBytes(snapshot, false);
    started->m_length = started->m_creation->bytes.size();
    started->m_startLength = started->m_length;
    started->m_queueing = true;
    return started;
}

std::function<void()> CSceneJournal::CreationWork() const
{
    return [creation = m_creation] {
        Placed placed = placeFresh(creation->folder, creation->bytes, QString());
        std::string().swap(creation->bytes);
        const std::lock_guard lock(creation->mutex);
        creation->placed = std::move(placed);
        creation->done = true;
        creation->made.notify_all();
    };
}

std::function<void()> CSceneJournal::CreationWait() const
{
    return [creation = m_creation] {
        std::unique_lock lock(creation->mutex);
        creation->made.wait(lock, [&creation] { return creation->done; });
    };
}

bool CSceneJournal::FinishCreation()
{
    if (!m_creation)
        return m_fd >= 0;
    CreationWait()();
    const std::shared_ptr<Creation> creation = std::move(m_creation);
    if (creation->placed.fd < 0) {
        m_failed = true;
        m_reason = creation->placed.reason;
        m_queueing = false;
        std::string().swap(m_queue);
        return false;
    }
    m_fd = std::exchange(creation->placed.fd, -1);
    m_path = creation->placed.path;
    m_nameUnsynced = true;
    writeQueue();
    return true;
}

bool CSceneJournal::writeQueue()
{
    m_queueing = false;
    const std::string queued = std::exchange(m_queue, std::string());
    if (queued.empty())
        return true;
    if (!writeAll(m_fd, queued)) {
        Fail(errno);
        static_cast<void>(!fw::systemCalls().ftruncate(m_fd, static_cast<off_t>(m_length - queued.size())));
        m_length -= queued.size();
        return false;
    }
    m_unsynced = true;
    return true;
}

std::unique_ptr<CSceneJournal> CSceneJournal::Adopt(int fd, const QString& path, const JournalContents& contents,
                                                    std::uint64_t validLength)
{
    std::unique_ptr<CSceneJournal> adopted(
        new CSceneJournal(fd, path, contents.base.hasFile ? contents.base.path : QString(),
                          contents.base.hasFile ? contents.base.stamp : fw::FileStamp()));
    adopted->m_length = validLength;
    adopted->m_startLength = contents.startEnd;
    // An editor killed before its first flush may have left the name undurable.
    adopted->m_nameUnsynced = true;
    // The writes append: O_APPEND keeps them at the end after the cut.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_APPEND) != 0
        || fw::systemCalls().ftruncate(fd, static_cast<off_t>(validLength)) != 0)
        return nullptr;
    return adopted;
}

void CSceneJournal::Compact(const std::vector<std::unique_ptr<C3dObject>>& objects)
{
    if (m_failed || m_fd < 0 || m_queueing)
        return;
    const std::string bytes = freshBytes(&objects, true);
    const QString path = m_path;
    Placed placed;
    m_queueing = true;
    fw::RunDiskWork([&] { placed = placeFresh(QFileInfo(path).path(), bytes, path); });
    if (placed.fd < 0) {
        // The old file stays as it was, and the journal stops.
        m_failed = true;
        m_reason = placed.reason;
        m_queueing = false;
        m_queue.clear();
        return;
    }
    // The old file's lock goes with its descriptor; the new one holds its own.
    ::close(m_fd);
    m_fd = placed.fd;
    m_length = bytes.size() + m_queue.size();
    m_startLength = bytes.size();
    m_unsynced = false;
    m_nameUnsynced = placed.folderError != 0;
    if (placed.folderError != 0)
        Fail(placed.folderError);
    writeQueue();
}

void CSceneJournal::Record(journal::Kind kind, std::size_t position, const C3dObject* object)
{
    if (m_failed)
        return;
    std::string payload;
    journal::PutPosition(payload, position);
    if (object) {
        fw::Archive ar = fw::Archive::forStoring();
        ar.WriteObject(*object);
        payload += ar.bytes();
        m_objectBytes += ar.bytes().size();
        ++m_objectRecords;
    }
    std::string record;
    journal::AppendRecord(record, kind, payload);
    if (m_queueing) {
        m_queue += record;
        m_length += record.size();
        return;
    }
    if (!writeAll(m_fd, record)) {
        // A torn record would hide every later one: cut it off and stop.
        // Should the cut fail too, readers still stop at the torn record.
        Fail(errno);
        static_cast<void>(!fw::systemCalls().ftruncate(m_fd, static_cast<off_t>(m_length)));
        return;
    }
    m_length += record.size();
    m_unsynced = true;
}

void CSceneJournal::Fail(int error)
{
    if (m_failed)
        return;
    m_failed = true;
    m_reason = fw::errnoText(error);
}

void CSceneJournal::Sync()
{
    SyncHandle handle = TakeSyncHandle();
    if (const int failed = Flush(handle))
        Fail(failed);
}

CSceneJournal::SyncHandle CSceneJournal::TakeSyncHandle()
{
    SyncHandle handle;
    if (!NeedsSync() || m_fd < 0)
        return handle;
    handle.fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (handle.fd < 0) {
        // Nothing can flush what was written: the journal stops rather
        // than counting it as flushed.
        Fail(errno);
        return handle;
    }
    if (m_nameUnsynced)
        handle.folder = folderOf(m_path);
    m_unsynced = false;
    m_nameUnsynced = false;
    return handle;
}

int CSceneJournal::Flush(SyncHandle& handle)
{
    if (handle.fd < 0)
        return 0;
    int failed = flushAll(handle.fd) ? 0 : errno;
    ::close(handle.fd);
    handle.fd = -1;
    if (failed == 0 && !handle.folder.empty())
        failed = fw::SyncFolder(handle.folder);
    return failed;
}

void CSceneJournal::Remove()
{
    // Records that waited for the file go with it.
    m_queue.clear();
    FinishCreation();
    if (m_fd < 0)
        return;
    fw::systemCalls().unlink(QFile::encodeName(m_path).constData());
    // The removal is durable before it counts: a journal that came back
    // after a save would offer a scene older than the file.
    fw::SyncFolder(folderOf(m_path));
    ::close(m_fd);
    m_fd = -1;
    m_unsynced = false;
    m_nameUnsynced = false;
}
