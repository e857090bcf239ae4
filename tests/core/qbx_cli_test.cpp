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

// `input` goes to qbx's standard input, which is then closed.
Outcome runQbx(const QStringList& args, const QByteArray& input = {}, const QString& folder = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(QBX_BINARY), args);
    process.write(input);
    process.closeWriteChannel();
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
// folder and "@t/" for a scratch folder, qbx's working folder, holding
// "plain" (a regular file), "bad.json" (malformed), "good.json" (the
// three-object scene) and "-dash.qbx" (a one-object scene).
struct CliCase {
    const char* label;
    QStringList args;
    int exitCode;
    QStringList out; // exact lines; a last line "..." stands for any further lines
    QStringList err;
    const char* input = ""; // the file whose bytes go to standard input, if any
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
        testutil::writeBytes(path("-dash.qbx").toStdString(), testutil::readBytes(testutil::dataPath("qbx-vectors/one-sphere.qbx")));
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

// `actual` cut as `expected` says ("..." included), one line per line.
std::string trimmed(QStringList actual, const QStringList& expected)
{
    if (!expected.isEmpty() && expected.back() == QStringLiteral("...") && actual.size() >= expected.size() - 1)
        actual = actual.mid(0, expected.size() - 1) << QStringLiteral("...");
    return actual.join(QLatin1Char('\n')).toStdString();
}

TEST_P(QbxCliTest, ExitCodeAndOutput)
{
    const CliCase& c = GetParam();
    const QByteArray input = *c.input ? QByteArray::fromStdString(testutil::readBytes(expand(QString::fromUtf8(c.input)).toStdString())) : QByteArray();
    const Outcome run = runQbx(expand(c.args), input, m_dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(trimmed(lines(run.out), c.out), expand(c.out).join(QLatin1Char('\n')).toStdString());
    EXPECT_EQ(trimmed(lines(run.err), c.err), expand(c.err).join(QLatin1Char('\n')).toStdString());
    if (c.exitCode != 0) {
        EXPECT_FALSE(QFile::exists(path("out.qbx"))) << "a refused build left a file";
    }
}

const QStringList kUsage = {QStringLiteral("usage: qbx dump FILE"), QStringLiteral("...")};

INSTANTIATE_TEST_SUITE_P(
    Commands, QbxCliTest,
    ::testing::Values(
        CliCase{"no command", {}, 2, {}, kUsage},
        CliCase{"help", {"check", "--help", "@t/missing.qbx"}, 0, kUsage, {}},
        CliCase{"version", {"--version"}, 0, {"qbx " TESK_VERSION}, {}},
        CliCase{"unknown command", {"frobnicate", "@v/empty.qbx"}, 2, {}, {"qbx: unknown command \"frobnicate\" (see qbx --help)"}},
        CliCase{"unknown option", {"check", "-dash.qbx"}, 2, {}, {"qbx: unknown option \"-dash.qbx\" (see qbx --help)"}},
        CliCase{"file names after --", {"check", "--", "-dash.qbx", "--help"}, 1, {"-dash.qbx: ok (1 object)"},
                {"--help: error: No such file or directory"}},
        CliCase{"dump without a file", {"dump"}, 2, {}, kUsage},
        CliCase{"dump of two files", {"dump", "@v/empty.qbx", "@v/empty.qbx"}, 2, {}, kUsage},
        CliCase{"build without output", {"build", "@t/good.json"}, 2, {}, kUsage},
        CliCase{"check without files", {"check"}, 2, {}, kUsage},
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
                1, {"@v/one-sphere.qbx: ok (1 object)", "@v/schema1-two.qbx: ok (2 objects)"},
                {"@v/truncated-in-last-record.qbx: error: end of file",
                 "@v/unknown-class.qbx: error: bad class (\"CSomethingElse\")"}},
        CliCase{"build from bad JSON", {"build", "@t/bad.json", "@t/out.qbx"}, 1, {},
                {"@t/bad.json: error: objects[0].name: not a string"}},
        CliCase{"build from a missing file", {"build", "@t/missing.json", "@t/out.qbx"}, 1, {},
                {"@t/missing.json: error: No such file or directory"}},
        CliCase{"build from a folder", {"build", "@t/.", "@t/out.qbx"}, 1, {}, {"@t/.: error: file to open is a directory"}},
        CliCase{"build into a file as folder", {"build", "@t/good.json", "@t/plain/out.qbx"}, 1, {},
                {"@t/plain/out.qbx: error: Not a directory"}},
        CliCase{"check of standard input", {"check", "-", "@v/empty.qbx"}, 0, {"-: ok (3 objects)", "@v/empty.qbx: ok (0 objects)"}, {},
                "@v/three-objects.qbx"},
        CliCase{"dump of empty standard input", {"dump", "-"}, 1, {}, {"-: error: end of file"}},
        CliCase{"build from bad JSON on standard input", {"build", "-", "@t/out.qbx"}, 1, {}, {"-: error: objects[0].name: not a string"},
                "@t/bad.json"},
        CliCase{"build from bad JSON to standard output", {"build", "@t/bad.json", "-"}, 1, {},
                {"@t/bad.json: error: objects[0].name: not a string"}}),
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

        // The same through standard input and output.
        const QByteArray qbxBytes = QByteArray::fromStdString(testutil::readBytes(qbx.toStdString()));
        const Outcome piped = runQbx({QStringLiteral("dump"), QStringLiteral("-")}, qbxBytes);
        EXPECT_EQ(piped.out, dumped.out) << name << piped.err.toStdString();
        const Outcome streamed = runQbx({QStringLiteral("build"), QStringLiteral("-"), QStringLiteral("-")}, piped.out);
        EXPECT_EQ(streamed.exitCode, 0) << name << streamed.err.toStdString();
        EXPECT_EQ(streamed.out, qbxBytes) << name;
    }
}

TEST(QbxCliOutput, BuildToAFullStandardOutputFails)
{
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(QBX_BINARY), {QStringLiteral("build"), kVectors + QStringLiteral("/three-objects.json"), QStringLiteral("-")});
    ASSERT_TRUE(process.waitForFinished(-1));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(process.readAllStandardError(), QByteArray("qbx: error: cannot write the output: No space left on device\n"));
}

} // namespace
