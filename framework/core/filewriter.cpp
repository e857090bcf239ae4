#include "framework/core/filewriter.h"
#include "framework/core/posix.h"
#include "framework/core/systemcalls.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {
namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path finally names, following a chain of symlinks. A link to
// nothing yet names the file that saving creates.
std::string followLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) == sizeof target)
            return path;
        const std::string link(target, static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    return path;
}

// Creates a new file beside `target`: prefix, the target's name, infix and
// a random tail; -1 with errno set when none can be made.
int createBeside(const std::string& target, const char* prefix, const char* infix, mode_t mode, std::string& created)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string tail;
        for (int i = 0; i < 6; ++i)
            tail.push_back(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
        created = folderOf(target) + "/" + prefix + nameOf(target) + infix + tail;
        const int fd = systemCalls().open(created.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Writes all of `size` bytes at `offset`; 0, or the errno of the failure.
int writeAt(int fd, const char* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = retryOnInterrupt([&] { return systemCalls().pwrite(fd, data, size, offset); });
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return 0;
}

// Copies all of `from` over the start of `to`, cuts `to` to that length and
// flushes it; 0, or the errno of the failure.
int copyWhole(int from, int to)
{
    char buffer[1 << 16];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = retryOnInterrupt([&] { return ::pread(from, buffer, sizeof buffer, offset); });
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        if (const int failed = writeAt(to, buffer, static_cast<std::size_t>(n), offset))
            return failed;
        offset += n;
    }
    if (systemCalls().ftruncate(to, offset) != 0 || systemCalls().fsync(to) != 0)
        return errno;
    return 0;
}

enum class Outcome { Done, Failed, CannotKeep };

// Writes a temporary file beside `target` and renames it over the target.
// CannotKeep, before anything is written, when the temporary cannot take
// the owner, group or mode of `old`.
Outcome replaceByRename(const std::string& target, std::string_view bytes, const struct stat* old,
                        std::uint64_t hash, FileStamp* stamp, QString* error)
{
    std::string temporary;
    // A new file gets the usual mode (the process's umask applies); the
    // temporary for an existing one stays private until it has the old mode.
    const Descriptor file(createBeside(target, ".", ".", old ? 0600 : 0666, temporary));
    if (file.get() < 0) {
        *error = errnoText(errno);
        return Outcome::Failed;
    }
    auto fail = [&](int reason) {
        systemCalls().unlink(temporary.c_str());
        *error = errnoText(reason);
        return Outcome::Failed;
    };
    if (old) {
        struct stat made {};
        // chown before chmod: chown may clear the set-id bits.
        if (::fstat(file.get(), &made) != 0
            || ((made.st_uid != old->st_uid || made.st_gid != old->st_gid)
                && ::fchown(file.get(), old->st_uid, old->st_gid) != 0)
            || ::fchmod(file.get(), old->st_mode & 07777) != 0) {
            systemCalls().unlink(temporary.c_str());
            return Outcome::CannotKeep;
        }
    }
    if (const int failed = writeAt(file.get(), bytes.data(), bytes.size(), 0))
        return fail(failed);
    if (systemCalls().fsync(file.get()) != 0 || systemCalls().rename(temporary.c_str(), target.c_str()) != 0)
        return fail(errno);
    SyncFolder(folderOf(target));
    struct stat written {};
    if (::fstat(file.get(), &written) == 0)
        *stamp = StatStamp(written, hash);
    return Outcome::Done;
}

// Rewrites `target` in place, its old bytes kept in a copy beside it until
// the new ones are flushed, and written back from there on failure.
bool writeInPlace(const std::string& target, std::string_view bytes, std::uint64_t hash, FileStamp* stamp,
                  QString* error)
{
    const Descriptor file(systemCalls().open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC, 0));
    if (file.get() < 0) {
        *error = errnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("not a regular file");
        return false;
    }
    std::string backupName;
    const Descriptor backup(createBeside(target, "", ".backup-", 0600, backupName));
    if (backup.get() < 0) {
        *error = errnoText(errno);
        return false;
    }
    // The backup's bytes and its name are durable before the first byte of
    // the target changes: a power cut during the rewrite leaves the old
    // scene whole in one of the two.
    const std::string folder = folderOf(target);
    int failed = copyWhole(file.get(), backup.get());
    if (!failed)
        failed = SyncFolder(folder);
    if (failed) {
        systemCalls().unlink(backupName.c_str());
        *error = errnoText(failed);
        return false;
    }
    failed = writeAt(file.get(), bytes.data(), bytes.size(), 0);
    if (!failed && (systemCalls().ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0 || systemCalls().fsync(file.get()) != 0))
        failed = errno;
    if (failed) {
        if (copyWhole(backup.get(), file.get()) == 0) {
            systemCalls().unlink(backupName.c_str());
            SyncFolder(folder);
            *error = errnoText(failed);
        } else {
            *error = errnoText(failed)
                     + QStringLiteral(" (the previous content is in %1)").arg(QFile::decodeName(backupName.c_str()));
        }
        return false;
    }
    // The new bytes are durable: the backup goes, and so does its name.
    systemCalls().unlink(backupName.c_str());
    SyncFolder(folder);
    struct stat written {};
    if (::fstat(file.get(), &written) == 0)
        *stamp = StatStamp(written, hash);
    return true;
}

} // namespace

bool WriteFileKeepingItsKind(const QString& path, std::string_view bytes, FileStamp* stamp, QString* error)
{
    const std::string target = followLinks(QFile::encodeName(path).toStdString());
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        *error = errnoText(errno);
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("not a regular file");
        return false;
    }
    FileHasher hasher;
    hasher.update(bytes.data(), bytes.size());
    const std::uint64_t hash = hasher.digest();
    FileStamp written;
    if (!exists || st.st_nlink == 1) {
        const Outcome outcome = replaceByRename(target, bytes, exists ? &st : nullptr, hash, &written, error);
        if (outcome == Outcome::Failed)
            return false;
        if (outcome == Outcome::Done) {
            *stamp = written;
            return true;
        }
    }
    if (!writeInPlace(target, bytes, hash, &written, error))
        return false;
    *stamp = written;
    return true;
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

} // namespace fw
