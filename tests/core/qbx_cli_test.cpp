// Runs the qbx binary as a process: exit codes, stdout and stderr lines.

#include "testutil.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome runQbx(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(QBX_BINARY), args);
    Outcome run;
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "qbx did not run to its end: " << process.errorString().toStdString();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QStringList lines(const QByteArray& text)
{
    QStringList list = QString::fromUtf8(text).split(QLatin1Char('\n'));
    if (!list.isEmpty() && list.back().isEmpty())
        list.pop_back();
    return list;
}

const QString kVectors = QString::fromStdString(testutil::dataPath("qbx-vectors"));

// Arguments and expected results, with "@v/" standing for the vectors'
// folder and "@t/" for a scratch folder holding "plain" (a regular file),
// "bad.json" (malformed) and "good.json" (the three-object scene).
struct CliCase {
    const char* label;
    QStringList args;
    int exitCode;
    QStringList out; // exact lines; for usage errors only the first
    QStringList err;
    friend std::ostream& operator<<(std::ostream& os, const CliCase& c) { return os << c.label; }
};

class QbxCliTest : public ::testing::TestWithParam<CliCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        testutil::writeBytes(path("plain").toStdString(), "x");
        testutil::writeBytes(path("bad.json").toStdString(), "{\"objects\": [{\"name\": 5}]}");
        testutil::writeBytes(path("good.json").toStdString(),
                             testutil::readBytes(testutil::dataPath("qbx-vectors/three-objects.json")));
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QString expand(QString text) const
    {
        return text.replace(QStringLiteral("@v/"), kVectors + QLatin1Char('/')).replace(QStringLiteral("@t/"), m_dir.path() + QLatin1Char('/'));
    }
    QStringList expand(const QStringList& list) const
    {
        QStringList expanded;
        for (const QString& item : list)
            expanded << expand(item);
        return expanded;
    }

    QTemporaryDir m_dir;
};

TEST_P(QbxCliTest, ExitCodeAndOutput)
{
    const CliCase& c = GetParam();
    const Outcome run = runQbx(expand(c.args));
    EXPECT_EQ(run.exitCode, c.exitCode);
    if (c.exitCode == 2) {
        EXPECT_TRUE(run.out.isEmpty());
        ASSERT_FALSE(lines(run.err).isEmpty());
        EXPECT_EQ(lines(run.err).front(), c.err.front());
    } else {
        EXPECT_EQ(lines(run.out), expand(c.out));
        EXPECT_EQ(lines(run.err), expand(c.err));
    }
    if (c.exitCode != 0) {
        EXPECT_FALSE(QFile::exists(path("out.qbx"))) << "a refused build left a file";
    }
}

const QString kUsage = QStringLiteral("usage: qbx dump FILE");
using L = QStringList;

INSTANTIATE_TEST_SUITE_P(
    Commands, QbxCliTest,
    ::testing::Values(
        CliCase{"no command", {}, 2, {}, {kUsage}},
        CliCase{"unknown command", {"frobnicate", "@v/empty.qbx"}, 2, {}, {kUsage}},
        CliCase{"dump without a file", {"dump"}, 2, {}, {kUsage}},
        CliCase{"dump of two files", {"dump", "@v/empty.qbx", "@v/empty.qbx"}, 2, {}, {kUsage}},
        CliCase{"build without output", {"build", "@t/good.json"}, 2, {}, {kUsage}},
        CliCase{"check without files", {"check"}, 2, {}, {kUsage}},
        CliCase{"dump of a refused file", {"dump", "@v/schema2-refused.qbx"}, 1, {},
                {"@v/schema2-refused.qbx: error: bad schema (2)"}},
        CliCase{"dump of a missing file", {"dump", "@t/missing.qbx"}, 1, {},
                {"@t/missing.qbx: error: No such file or directory"}},
        CliCase{"dump of a name with a newline", {"dump", "@t/two\nlines.qbx"}, 1, {},
                {"@t/two?lines.qbx: error: No such file or directory"}},
        CliCase{"check of good files", {"check", "@v/empty.qbx", "@v/three-objects.qbx"}, 0,
                {"@v/empty.qbx: ok (0 objects)", "@v/three-objects.qbx: ok (3 objects)"}, {}},
        CliCase{"check with a refused file",
                {"check", "@v/one-sphere.qbx", "@v/truncated-in-last-record.qbx", "@v/unknown-class.qbx", "@v/schema1-two.qbx"},
                1, {"@v/one-sphere.qbx: ok (1 objects)", "@v/schema1-two.qbx: ok (2 objects)"},
                {"@v/truncated-in-last-record.qbx: error: end of file",
                 "@v/unknown-class.qbx: error: bad class (\"CSomethingElse\")"}},
        CliCase{"build from bad JSON", {"build", "@t/bad.json", "@t/out.qbx"}, 1, {},
                {"@t/bad.json: error: objects[0].name: not a string"}},
        CliCase{"build into a file as folder", {"build", "@t/good.json", "@t/plain/out.qbx"}, 1, {},
                {"@t/plain/out.qbx: error: Not a directory"}}),
    testutil::ByLabel());

// Regression: under a file size limit, build was killed by SIGXFSZ
// (exit status 153 in a shell) instead of failing the write.
TEST(QbxCliLimits, BuildBeyondTheFileSizeLimitFailsAsAWriteError)
{
    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("good.json"));
    const QString out = dir.filePath(QStringLiteral("out.qbx"));
    testutil::writeBytes(json.toStdString(), testutil::readBytes(testutil::dataPath("qbx-vectors/three-objects.json")));
    QProcess process;
    process.setChildProcessModifier([] {
        rlimit limit{64, 64}; // the scene takes 135 bytes
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(QBX_BINARY), {QStringLiteral("build"), json, out});
    ASSERT_TRUE(process.waitForFinished(-1));
    ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed by signal " << process.exitCode();
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(lines(process.readAllStandardError()),
              QStringList{out + QStringLiteral(": error: ") + QString::fromLocal8Bit(std::strerror(EFBIG))});
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("good.json")});
}

TEST(QbxCliRoundTrip, DumpPrintsTheVectorsJsonAndBuildWritesItsBytes)
{
    QTemporaryDir dir;
    for (const char* name : {"three-objects", "name-255", "empty"}) {
        const QString qbx = kVectors + QStringLiteral("/%1.qbx").arg(QLatin1String(name));
        const QString json = kVectors + QStringLiteral("/%1.json").arg(QLatin1String(name));
        const Outcome dumped = runQbx({QStringLiteral("dump"), qbx});
        EXPECT_EQ(dumped.exitCode, 0) << name;
        EXPECT_TRUE(dumped.err.isEmpty()) << name;
        EXPECT_EQ(QJsonDocument::fromJson(dumped.out), QJsonDocument::fromJson(QByteArray::fromStdString(testutil::readBytes(json.toStdString()))))
            << name;

        const QString out = dir.filePath(QStringLiteral("%1.qbx").arg(QLatin1String(name)));
        const Outcome built = runQbx({QStringLiteral("build"), json, out});
        EXPECT_EQ(built.exitCode, 0) << name << built.err.toStdString();
        EXPECT_TRUE(built.out.isEmpty() && built.err.isEmpty()) << name;
        EXPECT_EQ(testutil::readBytes(out.toStdString()), testutil::readBytes(qbx.toStdString())) << name;
    }
}

} // namespace
