// Opening scene files: what is refused before reading, and that a file
// streamed through its buffer loads exactly as its bytes do in memory.

#include "testutil.h"

#include "framework/core/filereader.h"

#include <QTemporaryDir>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string u16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16)); }

const std::string kClassRecord = u16(0xFFFF) + u16(3) + u16(9) + "C3dObject";
const std::string kBody = std::string(24, '\0');
const std::string kSecondRecord = u16(0x8001) + "\x01Z" + kBody;

// Binds a Unix socket at `path`; the descriptor, or -1.
int bindSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
        return fd;
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
}

struct SpecialCase {
    const char* label;
    // Makes the file at the path; descriptors it opens go to `held`.
    std::function<void(const QString& path, std::vector<int>& held)> make;
    friend std::ostream& operator<<(std::ostream& os, const SpecialCase& c) { return os << c.label; }
};

class NonRegularFileTest : public ::testing::TestWithParam<SpecialCase> {};

// Regression: a named pipe froze the editor until another program wrote to
// it, and /dev/zero was read until memory ran out.
TEST_P(NonRegularFileTest, IsRefusedBeforeAnyRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));
    std::vector<int> held;
    GetParam().make(path, held);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << "could not make the file";

    CTeskDoc doc;
    C3dObject* kept = doc.AddObject(SHAPE_CUBE);
    fw::FileError error;
    const bool opened = doc.OnOpenDocument(path, &error);
    for (const int fd : held)
        ::close(fd);
    EXPECT_FALSE(opened);
    EXPECT_EQ(error.reason.toStdString(), "not a regular file");
    EXPECT_EQ(error.kind, fw::FileError::Kind::NotAFile);
    ASSERT_EQ(doc.GetObjects().size(), 1u);
    EXPECT_EQ(doc.GetObjects()[0].get(), kept);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.GetFileStamp().isValid());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NonRegularFileTest,
    ::testing::Values(
        // The test holds the pipe's other end with a whole empty scene in it,
        // so that a reader that does not refuse it gets an answer, not a hang.
        SpecialCase{"named pipe",
                    [](const QString& path, std::vector<int>& held) {
                        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
                        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                        ASSERT_GE(fd, 0);
                        held.push_back(fd);
                        ASSERT_EQ(::write(fd, "\0\0", 2), 2);
                    }},
        SpecialCase{"directory", [](const QString& path, std::vector<int>&) { ASSERT_EQ(::mkdir(QFile::encodeName(path).constData(), 0700), 0); }},
        SpecialCase{"socket", [](const QString& path, std::vector<int>& held) { held.push_back(bindSocket(path)); }},
        SpecialCase{"symlink to dev zero",
                    [](const QString& path, std::vector<int>&) {
                        ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(path).constData()), 0);
                    }}),
    testutil::ByLabel());

struct StreamCase {
    const char* label;
    std::string bytes;
    bool leavesBytesUnread;
    friend std::ostream& operator<<(std::ostream& os, const StreamCase& c) { return os << c.label; }
};

class StreamedLoadTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamedLoadTest, ReadsWhatLoadingTheBytesInMemoryReads)
{
    const StreamCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));
    testutil::writeBytes(path.toStdString(), c.bytes);

    CTeskDoc inMemory;
    const std::optional<fw::ArchiveError::Cause> refusal = testutil::load(inMemory, c.bytes);

    CTeskDoc streamed;
    fw::FileReader file;
    QString error;
    ASSERT_TRUE(file.Open(path, &error)) << error.toStdString();
    fw::Archive ar = fw::Archive::forLoading(file);
    const bool loaded = streamed.LoadFrom(ar, &error);
    if (refusal) {
        EXPECT_FALSE(loaded);
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(fw::ArchiveError::causeText(*refusal)))) << error.toStdString();
        return;
    }
    ASSERT_TRUE(loaded) << error.toStdString();
    EXPECT_EQ(streamed.GetObjects().size(), inMemory.GetObjects().size());
    // Reserved whole from the file's size, with room to grow by half, not
    // grown from a buffer's worth.
    EXPECT_EQ(streamed.GetObjects().capacity(), streamed.GetObjects().size() * 3 / 2);
    EXPECT_EQ(testutil::save(streamed), testutil::save(inMemory));
    EXPECT_EQ(file.Left() > 0, c.leavesBytesUnread);
}

// Many records of names of every short length: records straddle refills.
std::string manyObjects(std::uint32_t count)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    for (std::uint32_t i = 0; i < count; ++i)
        objects.push_back(testutil::makeObject(std::string(i % 300, static_cast<char>('a' + i % 26)), 1 + i % 7,
                                                     static_cast<int>(i), -static_cast<int>(i), 7, static_cast<int>(i % 2), static_cast<int>(i)));
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(objects));
    return testutil::save(doc);
}

std::string wideText(std::size_t units)
{
    std::string text;
    for (std::size_t i = 0; i < units; ++i)
        text += u16(static_cast<std::uint16_t>(i % 3 == 0 ? 0x0105 : 'w')); // 'ą' has a Windows-1250 form
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Files, StreamedLoadTest,
    ::testing::Values(
        StreamCase{"records across buffer refills", manyObjects(5000), false},
        StreamCase{"more records than a buffer could hold", manyObjects(40000), false},
        StreamCase{"name longer than the buffer",
                   u16(2) + kClassRecord + "\xFF" + u16(0xFFFF) + u32(100000) + std::string(100000, 'n') + kBody + kSecondRecord, false},
        StreamCase{"wide name longer than the buffer",
                   u16(2) + kClassRecord + "\xFF" + u16(0xFFFE) + "\xFF" + u16(40000) + wideText(40000) + kBody + kSecondRecord, false},
        StreamCase{"bytes after the last record", manyObjects(3) + std::string(300000, '\x7F'), true},
        StreamCase{"name running past the end",
                   u16(1) + kClassRecord + "\xFF" + u16(0xFFFF) + u32(100000) + std::string(70000, 'n'), false},
        StreamCase{"count beyond the records", u16(0xFFFF) + u32(0xFFFFFFFF) + manyObjects(3000).substr(2), false}),
    testutil::ByLabel());

// Regression: a 64 GiB file was read whole, and the process aborted out of
// memory, although its first two bytes say "no objects".
TEST(LargeFileTest, SparseFileOfSixtyFourGibibytesOpensAsTheEmptySceneItStartsWith)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.qbx"));
    testutil::writeBytes(path.toStdString(), std::string("\0\0", 2));
    if (::truncate(QFile::encodeName(path).constData(), off_t(64) << 30) != 0)
        GTEST_SKIP() << "this file system holds no sparse 64 GiB file";
    CTeskDoc doc;
    doc.AddObject(SHAPE_STAR);
    fw::FileError error;
    ASSERT_TRUE(doc.OnOpenDocument(path, &error)) << error.reason.toStdString();
    EXPECT_TRUE(doc.GetObjects().empty());
}

fw::FileStamp stampOf(const QString& path)
{
    const std::string bytes = testutil::readBytes(path.toStdString());
    fw::FileHasher hasher;
    hasher.update(bytes.data(), bytes.size());
    return fw::StatFile(path, hasher.digest());
}

TEST(FileStampTest, OpenAndSaveRecordTheFileAndNewForgetsIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.qbx"));
    const QString bad = dir.filePath(QStringLiteral("bad.qbx"));
    testutil::writeBytes(path.toStdString(), testutil::readBytes(testutil::dataPath("qbx-vectors/three-objects.qbx")));
    testutil::writeBytes(bad.toStdString(), testutil::readBytes(testutil::dataPath("qbx-vectors/schema2-refused.qbx")));

    CTeskDoc doc;
    fw::FileError error;
    ASSERT_TRUE(doc.OnOpenDocument(path, &error));
    const fw::FileStamp opened = doc.GetFileStamp();
    EXPECT_TRUE(opened.isValid());
    EXPECT_EQ(opened, stampOf(path));

    EXPECT_FALSE(doc.OnOpenDocument(bad, &error));
    EXPECT_EQ(doc.GetFileStamp(), opened) << "a refused open changed the stamp";

    doc.AddObject(SHAPE_CUBE);
    ASSERT_TRUE(doc.OnSaveDocument(path, &error));
    EXPECT_EQ(doc.GetFileStamp(), stampOf(path));
    EXPECT_NE(doc.GetFileStamp().hash, opened.hash);

    doc.OnNewDocument();
    EXPECT_FALSE(doc.GetFileStamp().isValid());
}

} // namespace
