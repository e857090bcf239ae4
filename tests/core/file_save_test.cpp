// Saving scene files: what survives a save besides the bytes, which targets
// are refused, and what a failed save leaves.

#include "testutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

struct stat statOf(const QString& path, bool follow = true)
{
    struct stat st {};
    EXPECT_EQ(follow ? ::stat(native(path).constData(), &st) : ::lstat(native(path).constData(), &st), 0)
        << path.toStdString() << ": " << std::strerror(errno);
    return st;
}

QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// A scene of `count` stars, modified.
std::unique_ptr<CTeskDoc> sceneOf(int count)
{
    auto doc = std::make_unique<CTeskDoc>();
    for (int i = 0; i < count; ++i)
        doc->AddObject(SHAPE_STAR);
    return doc;
}

std::string bytesOf(int count) { return testutil::save(*sceneOf(count)); }

// The saver's own group, and another one the file can be given: any for
// root, a supplementary group otherwise (0 when there is none).
gid_t otherGroup()
{
    if (::geteuid() == 0)
        return 4321;
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    for (int i = 0; i < count; ++i) {
        if (groups[i] != ::getegid())
            return groups[i];
    }
    return 0;
}

struct KeepCase {
    const char* label;
    // Prepares `path` (holding a saved scene) in `dir`; a reason to skip, or empty.
    std::function<std::string(const QTemporaryDir& dir, const QString& path)> setUp;
    friend std::ostream& operator<<(std::ostream& os, const KeepCase& c) { return os << c.label; }
};

class SaveKeepsTheFileTest : public ::testing::TestWithParam<KeepCase> {};

// Regression: saving replaced the file by a new one, dropping its owner and
// group and cutting its other hard links loose.
TEST_P(SaveKeepsTheFileTest, OwnerGroupModeAndLinksSurviveWithTheNewBytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));
    testutil::writeBytes(path.toStdString(), bytesOf(1));
    if (const std::string skip = GetParam().setUp(dir, path); !skip.empty())
        GTEST_SKIP() << skip;
    const struct stat linkBefore = statOf(path, false);
    const struct stat before = statOf(path);
    const QStringList names = entries(dir);

    auto doc = sceneOf(3);
    fw::FileError error;
    ASSERT_TRUE(doc->OnSaveDocument(path, &error)) << error.reason.toStdString();

    EXPECT_EQ(statOf(path, false).st_mode & S_IFMT, linkBefore.st_mode & S_IFMT);
    const struct stat after = statOf(path);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_nlink, before.st_nlink);
    EXPECT_EQ(entries(dir), names) << "a temporary or backup file stayed behind";
    for (const QString& name : names)
        EXPECT_EQ(testutil::readBytes(dir.filePath(name).toStdString()), bytesOf(3)) << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveKeepsTheFileTest,
    ::testing::Values(
        KeepCase{"mode 640",
                 [](const QTemporaryDir&, const QString& path) {
                     EXPECT_EQ(::chmod(native(path).constData(), 0640), 0);
                     return std::string();
                 }},
        KeepCase{"group other than the saver's",
                 [](const QTemporaryDir&, const QString& path) {
                     const gid_t group = otherGroup();
                     if (group == 0)
                         return std::string("the user has no second group");
                     EXPECT_EQ(::chown(native(path).constData(), static_cast<uid_t>(-1), group), 0);
                     EXPECT_EQ(::chmod(native(path).constData(), 0664), 0);
                     return std::string();
                 }},
        KeepCase{"owner and group of another user",
                 [](const QTemporaryDir&, const QString& path) {
                     if (::geteuid() != 0)
                         return std::string("giving a file to another user needs root");
                     EXPECT_EQ(::chown(native(path).constData(), 65534, 4321), 0);
                     EXPECT_EQ(::chmod(native(path).constData(), 0640), 0);
                     return std::string();
                 }},
        KeepCase{"second hard link",
                 [](const QTemporaryDir& dir, const QString& path) {
                     EXPECT_EQ(::link(native(path).constData(), native(dir.filePath(QStringLiteral("other.qbx"))).constData()), 0);
                     return std::string();
                 }},
        KeepCase{"reached through a symlink",
                 [](const QTemporaryDir& dir, const QString& path) {
                     EXPECT_EQ(::rename(native(path).constData(), native(dir.filePath(QStringLiteral("real.qbx"))).constData()), 0);
                     EXPECT_EQ(::symlink("real.qbx", native(path).constData()), 0);
                     return std::string();
                 }}),
    testutil::ByLabel());

struct SpecialCase {
    const char* label;
    std::function<std::string(const QTemporaryDir& dir, const QString& path)> make; // a reason to skip, or empty
    friend std::ostream& operator<<(std::ostream& os, const SpecialCase& c) { return os << c.label; }
};

class SaveOntoSpecialFileTest : public ::testing::TestWithParam<SpecialCase> {};

// Regression: saving onto /dev/full turned the device into a regular file.
TEST_P(SaveOntoSpecialFileTest, IsRefusedAndLeavesItAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("target"));
    if (const std::string skip = GetParam().make(dir, path); !skip.empty())
        GTEST_SKIP() << skip;
    const struct stat before = statOf(path, false);
    const QStringList names = entries(dir);

    auto doc = sceneOf(1);
    fw::FileError error;
    EXPECT_FALSE(doc->OnSaveDocument(path, &error));
    EXPECT_EQ(error.reason.toStdString(), "not a regular file");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(doc->GetPathName().isEmpty());
    const struct stat after = statOf(path, false);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(entries(dir), names);
}

std::string makeFifo(const QString& path)
{
    EXPECT_EQ(::mkfifo(native(path).constData(), 0600), 0);
    return {};
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SaveOntoSpecialFileTest,
    ::testing::Values(
        SpecialCase{"named pipe", [](const QTemporaryDir&, const QString& path) { return makeFifo(path); }},
        SpecialCase{"symlink to a named pipe",
                    [](const QTemporaryDir& dir, const QString& path) {
                        makeFifo(dir.filePath(QStringLiteral("pipe")));
                        EXPECT_EQ(::symlink("pipe", native(path).constData()), 0);
                        return std::string();
                    }},
        SpecialCase{"directory",
                    [](const QTemporaryDir&, const QString& path) {
                        EXPECT_EQ(::mkdir(native(path).constData(), 0700), 0);
                        return std::string();
                    }},
        SpecialCase{"socket",
                    [](const QTemporaryDir&, const QString& path) {
                        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                        sockaddr_un address{};
                        address.sun_family = AF_UNIX;
                        const QByteArray name = native(path);
                        if (fd < 0 || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
                            return std::string("no socket here");
                        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
                        EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
                        ::close(fd); // the socket file stays
                        return std::string();
                    }},
        SpecialCase{"character device",
                    [](const QTemporaryDir&, const QString& path) {
                        // The numbers of /dev/full.
                        if (::mknod(native(path).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
                            return std::string("making a device node needs root: ") + std::strerror(errno);
                        return std::string();
                    }}),
    testutil::ByLabel());

// Sets a file size limit of `bytes` for the scope (SIGXFSZ ignored, as the
// programs do), so that a write fails part way with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_original);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_original;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_original);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_original{};
    void (*m_handler)(int) = nullptr;
};

// A file with two links is written in place: a write that fails part way
// must put the old bytes back under both names.
TEST(SaveInPlaceTest, WriteThatFailsPartWayRestoresTheOldBytesUnderEveryName)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));
    const QString other = dir.filePath(QStringLiteral("other.qbx"));
    const std::string old = bytesOf(1);
    testutil::writeBytes(path.toStdString(), old);
    ASSERT_EQ(::link(native(path).constData(), native(other).constData()), 0);

    auto doc = sceneOf(200);
    fw::FileError error;
    bool saved = true;
    {
        const FileSizeLimit limit(1024);
        saved = doc->OnSaveDocument(path, &error);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(error.reason, QString::fromLocal8Bit(std::strerror(EFBIG)));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(testutil::readBytes(path.toStdString()), old);
    EXPECT_EQ(testutil::readBytes(other.toStdString()), old);
    EXPECT_EQ(statOf(path).st_nlink, 2u);
    EXPECT_EQ(entries(dir), (QStringList{QStringLiteral("other.qbx"), QStringLiteral("scene.qbx")})) << "the backup stayed";
}

} // namespace
