// qbx: dumps, builds and checks .qbx scene files without the editor, through
// the same document load and save code that the editor uses.
//
// Exit status: 0 success, 1 a file was refused (one line on stderr names the
// file and the reason), 2 usage error (the usage text on stderr).

#include "document/journalreader.h"
#include "document/teskdoc.h"
#include "framework/core/archive.h"
#include "tools/qbx/scenejson.h"

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace {

constexpr char kUsage[] = "usage: qbx dump FILE\n"
                          "       qbx build JSON_FILE OUT_FILE\n"
                          "       qbx check FILE...\n"
                          "       qbx recover JOURNAL OUT_FILE [BASE_FILE]\n"
                          "\n"
                          "  dump   print the scene in FILE as JSON\n"
                          "  build  write the scene described by JSON_FILE to OUT_FILE\n"
                          "  check  report for each FILE whether it loads, and its object count\n"
                          "  recover  write the scene that the recovery JOURNAL gives back to OUT_FILE;\n"
                          "         BASE_FILE stands in for the file the journal names\n";

// `text` on one line: a control character (a newline in a file name, say)
// becomes '?'.
QByteArray oneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    }
    return line.toUtf8();
}

void printLine(std::FILE* stream, const QString& text)
{
    const QByteArray line = oneLine(text);
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stream);
    std::fputc('\n', stream);
}

int refuse(const char* file, const QString& reason)
{
    printLine(stderr, QString::fromLocal8Bit(file) + QStringLiteral(": error: ") + reason);
    return 1;
}

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

// Stdout that could not take the output (a closed pipe, a full disk).
int finishStdout()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        printLine(stderr, QStringLiteral("qbx: error: cannot write the output: ") + QString::fromLocal8Bit(std::strerror(errno)));
        return 1;
    }
    return 0;
}

int dump(const char* path)
{
    QByteArray data;
    QString error;
    if (!fw::Document::ReadFile(QString::fromLocal8Bit(path), data, &error))
        return refuse(path, error);
    fw::Archive ar = fw::Archive::forLoading(std::span<const char>(data.constData(), static_cast<std::size_t>(data.size())));
    CTeskDoc doc;
    if (!doc.LoadFrom(ar, &error))
        return refuse(path, error);
    const std::string json = qbx::DumpJson(doc.m_objects, ar.StoredSchema(&C3dObject::classInfo));
    std::fwrite(json.data(), 1, json.size(), stdout);
    return finishStdout();
}

int build(const char* jsonPath, const char* outPath)
{
    QFile file(QString::fromLocal8Bit(jsonPath));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(jsonPath, file.errorString());
    const QByteArray json = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return refuse(jsonPath, file.errorString());
    QString error;
    std::optional<qbx::ObjectList> objects = qbx::ObjectsFromJson(json, &error);
    if (!objects)
        return refuse(jsonPath, error);
    CTeskDoc doc;
    doc.m_objects = std::move(*objects);
    if (!doc.OnSaveDocument(QString::fromLocal8Bit(outPath), &error))
        return refuse(outPath, error);
    return 0;
}

int check(char** paths, int count)
{
    int status = 0;
    for (int i = 0; i < count; ++i) {
        CTeskDoc doc;
        QString error;
        if (!doc.OnOpenDocument(QString::fromLocal8Bit(paths[i]), &error)) {
            status = refuse(paths[i], error);
            continue;
        }
        printLine(stdout, QStringLiteral("%1: ok (%2 objects)").arg(QString::fromLocal8Bit(paths[i])).arg(doc.m_objects.size()));
    }
    const int written = finishStdout();
    return status != 0 ? status : written;
}

int recover(const char* journalPath, const char* outPath, const char* basePath)
{
    QByteArray data;
    QString error;
    if (!ReadWholeFile(QString::fromLocal8Bit(journalPath), data, &error))
        return refuse(journalPath, error);
    JournalContents contents;
    if (!ReadJournal(std::span<const char>(data.constData(), static_cast<std::size_t>(data.size())), contents, &error))
        return refuse(journalPath, error);
    RecoveredScene scene = RecoverScene(contents, basePath ? QString::fromLocal8Bit(basePath) : contents.basePath);
    const QString name = contents.hasFile ? contents.basePath : QStringLiteral("Untitled");
    const QString note = DescribeRecovery(scene, name);
    if (!scene.recovered)
        return refuse(journalPath, note);
    if (!note.isEmpty())
        printLine(stderr, QString::fromLocal8Bit(journalPath) + QStringLiteral(": note: ") + note);
    CTeskDoc doc;
    doc.m_objects = std::move(scene.objects);
    if (!doc.OnSaveDocument(QString::fromLocal8Bit(outPath), &error))
        return refuse(outPath, error);
    printLine(stdout, QStringLiteral("%1: ok (%2 objects after %3 changes)")
                          .arg(QString::fromLocal8Bit(outPath))
                          .arg(doc.m_objects.size())
                          .arg(scene.applied));
    return finishStdout();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return finishStdout();
    }
    if (command == "dump" && argc == 3)
        return dump(argv[2]);
    if (command == "build" && argc == 4)
        return build(argv[2], argv[3]);
    if (command == "check" && argc >= 3)
        return check(argv + 2, argc - 2);
    if (command == "recover" && (argc == 4 || argc == 5))
        return recover(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    return usage();
}
