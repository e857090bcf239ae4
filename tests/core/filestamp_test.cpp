#include "framework/core/filestamp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <utime.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

fw::FileStamp stampOf(const QString& path, const QByteArray& bytes)
{
    fw::FileHasher hasher;
    hasher.update(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return fw::StatFile(path, hasher.digest());
}

// Moves the modification time away from what the stamp recorded.
void touchLater(const QString& path)
{
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    const utimbuf times{st.st_atime, st.st_mtime + 10};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

struct Case {
    const char* label;
    std::function<void(const QString& path)> afterStamp;
    fw::FileChange expected;
};

TEST(FileStampTest, TellsWhatAnotherProgramDidToTheFile)
{
    const QByteArray original("scene bytes");
    const Case cases[] = {
        {"left alone", [](const QString&) {}, fw::FileChange::Unchanged},
        {"rewritten with the same bytes", [&](const QString& p) { writeFile(p, original); touchLater(p); },
         fw::FileChange::Unchanged},
        {"same size, other bytes", [](const QString& p) { writeFile(p, "SCENE BYTES"); touchLater(p); },
         fw::FileChange::Changed},
        {"grown", [](const QString& p) { writeFile(p, "scene bytes and more"); }, fw::FileChange::Changed},
        {"deleted", [](const QString& p) { QFile::remove(p); }, fw::FileChange::Missing},
        {"replaced by a folder", [](const QString& p) { QFile::remove(p); QDir().mkdir(p); }, fw::FileChange::Missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.qbx"));
        writeFile(path, original);
        const fw::FileStamp stamp = stampOf(path, original);
        ASSERT_TRUE(stamp.isValid());
        c.afterStamp(path);
        EXPECT_EQ(fw::CompareFileStamp(path, stamp), c.expected);
    }
}

} // namespace
