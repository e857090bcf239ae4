// tesk-thumbnailer: draws a scene file's top view to a PNG, for file
// managers (the freedesktop thumbnailer tesk.thumbnailer runs it as
// "tesk-thumbnailer %i %o %s").
//
// Exit status: 0 written; 1 the scene was refused or the PNG could not be
// written (one line on stderr, and no output file); 2 usage error.

#include "document/teskdoc.h"
#include "framework/core/filewriter.h"
#include "tools/thumbnailer/scenethumbnail.h"

#include <QImageWriter>
#include <QSaveFile>
#include <cstdio>
#include <string_view>

namespace {

constexpr int kMinSize = 16;
constexpr int kMaxSize = 4096;

constexpr char kUsage[] = "usage: tesk-thumbnailer SCENE_FILE PNG_FILE SIZE\n"
                          "       tesk-thumbnailer --help | --version\n"
                          "\n"
                          "Draws the scene seen from above to PNG_FILE, its longer side SIZE pixels\n"
                          "(16 to 4096).\n";

int fail(const QString& file, const QString& reason)
{
    std::fprintf(stderr, "%s: error: %s\n", qPrintable(file), qPrintable(reason));
    return 1;
}

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    fw::IgnoreFileSizeSignal();
    QStringList words;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options || arg.size() < 2 || arg.front() != '-') {
            words << QString::fromLocal8Bit(argv[i]);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("tesk-thumbnailer " TESK_VERSION);
            return 0;
        } else {
            return usage();
        }
    }
    bool numeric = false;
    const int size = words.size() == 3 ? words[2].toInt(&numeric) : 0;
    if (!numeric || size < kMinSize || size > kMaxSize)
        return usage();

    // Left loaded until the process ends: its memory goes back with the
    // process, without a free per object first.
    static SceneLoad* const scene = new SceneLoad(CTeskDoc::LoadScene(words[0]));
    if (!scene->file.ok)
        return fail(words[0], scene->file.error.reason);
    const QImage picture = RenderSceneThumbnail(scene->objects, size);

    // Written whole to a temporary file beside the output, then renamed.
    QSaveFile out(words[1]);
    QImageWriter writer(&out, "png");
    // zlib's fastest level: a picture of many colours barely shrinks at
    // higher ones, and its encoding would take longer than its drawing.
    writer.setCompression(1);
    if (!out.open(QIODevice::WriteOnly) || !writer.write(picture) || !out.commit())
        return fail(words[1], out.error() != QFileDevice::NoError ? out.errorString() : writer.errorString());
    return 0;
}
