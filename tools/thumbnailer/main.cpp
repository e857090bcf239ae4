// tesk-thumbnailer: draws a scene file's top view to a PNG, for file
// managers (the freedesktop thumbnailer tesk.thumbnailer runs it as
// "tesk-thumbnailer %i %o %s").
//
// The PNG is written into PNG_FILE itself, which is the caller's: tumbler
// and other thumbnail services create that file and read it back by its
// name or through a descriptor they keep, so a file renamed over it would go
// unseen.
//
// Exit status: 0 written; 1 the scene was refused (one line on stderr, the
// output left as it was) or the PNG could not be written (one line on
// stderr, the output emptied); 2 usage error.

#include "document/teskdoc.h"
#include "framework/core/filewriter.h"
#include "tools/thumbnailer/scenethumbnail.h"

#include <QFile>
#include <QImageWriter>
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

    const SceneLoad scene = CTeskDoc::LoadScene(words[0]);
    if (!scene.file.ok)
        return fail(words[0], scene.file.error.reason);
    const QImage picture = RenderSceneThumbnail(scene.objects, size);

    QFile out(words[1]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(words[1], out.errorString());
    QImageWriter writer(&out, "png");
    // zlib's fastest level: a picture of many colours barely shrinks at
    // higher ones, and its encoding would take longer than its drawing.
    writer.setCompression(1);
    if (!writer.write(picture) || !out.flush()) {
        const QString reason = out.error() != QFileDevice::NoError ? out.errorString() : writer.errorString();
        // A partial PNG would be taken for a damaged picture of the scene.
        out.resize(0);
        return fail(words[1], reason);
    }
    return 0;
}
