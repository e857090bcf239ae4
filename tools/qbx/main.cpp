// qbx: dumps, builds and checks .qbx scene files without the editor, through
// the same document load and save code that the editor uses.
//
// Exit status: 0 success, 1 a file was refused (one line on stderr names the
// file and the reason), 2 usage error (the usage text, or one line naming an
// unknown command or option, on stderr).
//
// Words that begin with '-' are options until "--"; a lone "-" is a file
// name that stands for standard input (or, as build's output, standard output).

#include "document/teskdoc.h"
#include "framework/core/archive.h"
#include "framework/core/filereader.h"
#include "framework/core/filewriter.h"
#include "journal/journalreader.h"
#include "document/scenejson.h"

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kUsage[] = "usage: qbx dump FILE\n"
                          "       qbx build JSON_FILE OUT_FILE\n"
                          "       qbx check FILE...\n"
                          "       qbx recover JOURNAL OUT_FILE [BASE_FILE]\n"
                          "       qbx --help | --version\n"
                          "\n"
                          "  dump   print the scene in FILE as JSON\n"
                          "  build  write the scene described by JSON_FILE to OUT_FILE\n"
                          "  check  report for each FILE whether it loads, and its object count\n"
                          "  recover  write the scene that the recovery JOURNAL gives back to OUT_FILE;\n"
                          "         BASE_FILE stands in for the file the journal names\n"
                          "\n"
                          "A FILE or JSON_FILE of - is standard input, an OUT_FILE of - standard\n"
                          "output. -- ends the options, for file names that begin with -.\n";

bool isStdio(std::string_view path)
{
    return path == "-";
}

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

// `kind` is "command" or "option".
int unknownWord(const char* kind, const char* word)
{
    printLine(stderr, QStringLiteral("qbx: unknown %1 \"%2\" (see qbx --help)").arg(QLatin1String(kind), QString::fromLocal8Bit(word)));
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

int printToStdout(const char* text)
{
    std::fputs(text, stdout);
    return finishStdout();
}

// Loads the scene file `path`, or the scene on standard input for "-",
// through the document's streaming reader. `schema` receives the schema
// stored with the object class.
bool loadScene(const char* path, CTeskDoc& doc, std::optional<unsigned>& schema, QString* error)
{
    fw::FileReader file;
    const bool opened = isStdio(path) ? file.OpenStandardInput(error) : file.Open(QString::fromLocal8Bit(path), error);
    if (!opened)
        return false;
    fw::Archive ar = fw::Archive::forLoading(file);
    if (!doc.LoadFrom(ar, error))
        return false;
    schema = ar.StoredSchema(&C3dObject::classInfo);
    return true;
}

int dump(const char* path)
{
    CTeskDoc doc;
    std::optional<unsigned> schema;
    QString error;
    if (!loadScene(path, doc, schema, &error))
        return refuse(path, error);
    qbx::WriteJson(doc.GetObjects(), schema,
                   [](std::string_view piece) { std::fwrite(piece.data(), 1, piece.size(), stdout); });
    return finishStdout();
}

// The objects of the JSON file `path`, or of standard input for "-", read as
// the text goes by, so that it is never held whole.
std::optional<qbx::ObjectList> readObjects(const char* path, QString* error)
{
    QFile file;
    bool opened = false;
    if (isStdio(path)) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(QString::fromLocal8Bit(path));
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        *error = file.errorString();
        return std::nullopt;
    }
    return qbx::ObjectsFromJson(file, error);
}

int build(const char* jsonPath, const char* outPath)
{
    QString error;
    std::optional<qbx::ObjectList> objects = readObjects(jsonPath, &error);
    if (!objects)
        return refuse(jsonPath, error);
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(*objects));
    if (isStdio(outPath)) {
        // Every refusal comes before the first byte; only the write itself
        // can still fail, and finishStdout reports that.
        fw::Archive ar = fw::Archive::forStoring();
        doc.Serialize(ar);
        std::fwrite(ar.bytes().data(), 1, ar.bytes().size(), stdout);
        return finishStdout();
    }
    if (fw::FileError failure; !doc.OnSaveDocument(QString::fromLocal8Bit(outPath), &failure))
        return refuse(outPath, failure.reason);
    return 0;
}

int check(std::span<const char* const> paths)
{
    int status = 0;
    for (const char* path : paths) {
        CTeskDoc doc;
        std::optional<unsigned> schema;
        QString error;
        if (!loadScene(path, doc, schema, &error)) {
            status = refuse(path, error);
            continue;
        }
        const std::size_t count = doc.GetObjects().size();
        printLine(stdout, QStringLiteral("%1: ok (%2 %3)").arg(QString::fromLocal8Bit(path)).arg(count).arg(QLatin1String(count == 1 ? "object" : "objects")));
    }
    const int written = finishStdout();
    return status != 0 ? status : written;
}

int recover(const char* journalPath, const char* outPath, const char* basePath)
{
    QByteArray data;
    QString error;
    if (!fw::ReadWholeFile(QString::fromLocal8Bit(journalPath), data, &error))
        return refuse(journalPath, error);
    JournalContents contents;
    if (!ReadJournal(std::span<const char>(data.constData(), static_cast<std::size_t>(data.size())), contents, &error))
        return refuse(journalPath, error);
    RecoveredScene scene = RecoverScene(contents, basePath ? QString::fromLocal8Bit(basePath) : contents.base.path);
    const QString name = contents.base.hasFile ? contents.base.path : QStringLiteral("Untitled");
    const QString note = DescribeRecovery(scene, name);
    if (!scene.recovered)
        return refuse(journalPath, note);
    if (!note.isEmpty())
        printLine(stderr, QString::fromLocal8Bit(journalPath) + QStringLiteral(": note: ") + note);
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(scene.objects));
    if (fw::FileError failure; !doc.OnSaveDocument(QString::fromLocal8Bit(outPath), &failure))
        return refuse(outPath, failure.reason);
    const std::size_t objects = doc.GetObjects().size();
    printLine(stdout, QStringLiteral("%1: ok (%2 %3 after %4 %5)")
                          .arg(QString::fromLocal8Bit(outPath))
                          .arg(objects)
                          .arg(QLatin1String(objects == 1 ? "object" : "objects"))
                          .arg(scene.applied)
                          .arg(QLatin1String(scene.applied == 1 ? "change" : "changes")));
    return finishStdout();
}

} // namespace

int main(int argc, char** argv)
{
    fw::IgnoreFileSizeSignal();
    std::vector<const char*> words;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options || arg.size() < 2 || arg.front() != '-') {
            words.push_back(argv[i]);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "-h" || arg == "--help") {
            return printToStdout(kUsage);
        } else if (arg == "--version") {
            return printToStdout("qbx " QBX_VERSION "\n");
        } else {
            return unknownWord("option", argv[i]);
        }
    }
    if (words.empty())
        return usage();
    const std::string_view command = words.front();
    const std::span<const char* const> operands = std::span(words).subspan(1);
    if (command == "help")
        return printToStdout(kUsage);
    if (command == "dump")
        return operands.size() == 1 ? dump(operands[0]) : usage();
    if (command == "build")
        return operands.size() == 2 ? build(operands[0], operands[1]) : usage();
    if (command == "check")
        return operands.empty() ? usage() : check(operands);
    if (command == "recover")
        return operands.size() == 2 || operands.size() == 3
            ? recover(operands[0], operands[1], operands.size() == 3 ? operands[2] : nullptr)
            : usage();
    return unknownWord("command", words.front());
}
