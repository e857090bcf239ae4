// Runs tesk-thumbnailer as a process on scenes written here, and reads the
// pixels of the PNG it writes.

#include "framework/core/archive.h"
#include "model/c3dobject.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

namespace {

constexpr QRgb kBackground = 0xFFF8F8F8u;

struct Placed {
    int type;
    int x;
    int y;
    int mode;
    int colour;
};
using Scene = std::vector<Placed>;

// Where a probe lies from a glyph's centre, in units of the glyph's radius,
// y up; and for each glyph whether the probe is inside it.
struct Probe {
    double x;
    double y;
    bool circle, square, star, cross;
};
// Corner of the square beyond the circle; on the star's tip axis, clear of
// the cross; on the cross's arm between two of the star's points.
constexpr Probe kProbes[] = {
    {0.8, 0.8, false, true, false, false},
    {0.0, 0.6, true, true, true, false},
    {0.5, 0.5, true, true, false, true},
};

bool insideGlyph(const Probe& probe, int type)
{
    switch (type) {
    case SHAPE_SPHERE: return probe.circle;
    case SHAPE_CUBE: return probe.square;
    case SHAPE_STAR: return probe.star;
    default: return probe.cross;
    }
}

struct Run {
    int exitCode = -1;
    QByteArray err;
};

Run thumbnail(const QString& in, const QString& out, int size)
{
    QProcess process;
    process.start(QStringLiteral(THUMBNAILER_BINARY), {in, out, QString::number(size)});
    Run run;
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.err = process.readAllStandardError();
    return run;
}

void writeScene(const QString& path, const Scene& scene)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    for (const Placed& placed : scene) {
        auto shape = std::make_unique<C3dShape>(placed.x, placed.y, 0, placed.type);
        shape->m_nColourMode = placed.mode;
        shape->m_nColour = placed.colour;
        objects.push_back(std::make_unique<C3dObject>(std::move(shape)));
    }
    fw::Archive ar = fw::Archive::forStoring();
    ar.StoreList(objects);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(ar.bytes().data(), qint64(ar.bytes().size())), qint64(ar.bytes().size()));
}

} // namespace

class TestThumbnailer : public QObject {
    Q_OBJECT

private slots:
    void drawsTheSceneFromAbove_data();
    void drawsTheSceneFromAbove();
    void refusedSceneLeavesTheOutputAlone_data();
    void refusedSceneLeavesTheOutputAlone();

private:
    QTemporaryDir m_dir;
};

void TestThumbnailer::drawsTheSceneFromAbove_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<int>("size");
    QTest::addColumn<QSize>("picture");
    // Where each object's glyph is centred, in pixels, and its fill.
    QTest::addColumn<QList<QPoint>>("centres");
    QTest::addColumn<QList<QRgb>>("fills");

    const int size = 480; // glyph radius 20
    QTest::newRow("empty") << Scene{} << size << QSize(size, size) << QList<QPoint>{} << QList<QRgb>{};
    const QPoint middle(size / 2, size / 2);
    QTest::newRow("sphere") << Scene{{SHAPE_SPHERE, 3, 4, COLOUR_LISTED, LIST_RED}} << size << QSize(size, size)
                            << QList<QPoint>{middle} << QList<QRgb>{0xFFFF0000u};
    QTest::newRow("cube") << Scene{{SHAPE_CUBE, -7, 0, COLOUR_LISTED, LIST_GREEN}} << size << QSize(size, size)
                          << QList<QPoint>{middle} << QList<QRgb>{0xFF00FF00u};
    QTest::newRow("star") << Scene{{SHAPE_STAR, 0, 0, COLOUR_LISTED, LIST_BLUE}} << size << QSize(size, size)
                          << QList<QPoint>{middle} << QList<QRgb>{0xFF0000FFu};
    QTest::newRow("Borg") << Scene{{7, 0, 0, COLOUR_USER, C3dShape::Rgb(0x12, 0x34, 0x56)}} << size
                          << QSize(size, size) << QList<QPoint>{middle} << QList<QRgb>{0xFF123456u};
    // 100 units wide, 25 high: 438 pixels per 100 units between margins of 21.
    QTest::newRow("user colours, x right and y up")
        << Scene{{SHAPE_SPHERE, -50, 0, COLOUR_USER, C3dShape::Rgb(0xFF, 0x80, 0x00)},
                 {SHAPE_CUBE, 50, 25, COLOUR_USER, C3dShape::Rgb(0x20, 0xA0, 0x60)}}
        << size << QSize(size, 152) << QList<QPoint>{{21, 131}, {459, 21}} << QList<QRgb>{0xFFFF8000u, 0xFF20A060u};
    QTest::newRow("later object on top, colour without RGB in grey")
        << Scene{{SHAPE_CUBE, 0, 0, COLOUR_LISTED, LIST_RED}, {SHAPE_SPHERE, 0, 0, COLOUR_LISTED, 9}} << 96
        << QSize(96, 96) << QList<QPoint>{{48, 48}} << QList<QRgb>{0xFF808080u};
}

void TestThumbnailer::drawsTheSceneFromAbove()
{
    QFETCH(Scene, scene);
    QFETCH(int, size);
    QFETCH(QSize, picture);
    QFETCH(QList<QPoint>, centres);
    QFETCH(QList<QRgb>, fills);
    const QString in = m_dir.filePath(QStringLiteral("scene.qbx"));
    const QString out = m_dir.filePath(QStringLiteral("scene.png"));
    writeScene(in, scene);
    QFile::remove(out);
    const Run run = thumbnail(in, out, size);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    const QImage image(out, "png");
    QCOMPARE(image.size(), picture);
    if (scene.empty())
        QCOMPARE(image.pixel(size / 2, size / 2), kBackground);
    for (qsizetype i = 0; i < centres.size(); ++i)
        QCOMPARE(image.pixel(centres[i]), fills[i]);
    if (scene.size() != 1)
        return;
    // The glyph's shape, through probes inside some glyphs and not others.
    const double radius = size / 24;
    for (const Probe& probe : kProbes) {
        const QPoint at = centres[0] + QPoint(qRound(probe.x * radius), -qRound(probe.y * radius));
        const QRgb pixel = image.pixel(at);
        if (insideGlyph(probe, scene[0].type))
            QCOMPARE(pixel, fills[0]);
        else
            QCOMPARE(pixel, kBackground);
    }
}

void TestThumbnailer::refusedSceneLeavesTheOutputAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cut short") << QByteArray("\x02\x00", 2) << "end of file";
    QTest::newRow("missing") << QByteArray() << "No such file or directory";
}

void TestThumbnailer::refusedSceneLeavesTheOutputAlone()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString in = m_dir.filePath(QStringLiteral("refused.qbx"));
    const QString out = m_dir.filePath(QStringLiteral("refused.png"));
    QFile::remove(in);
    if (!bytes.isEmpty()) {
        QFile file(in);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // The output belongs to the caller, who made it before the run.
    const QByteArray callers("the caller's bytes");
    {
        QFile file(out);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(callers);
    }
    const Run run = thumbnail(in, out, 128);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), callers);
    QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("refused.png*")}, QDir::Files), QStringList{"refused.png"});
}

QTEST_GUILESS_MAIN(TestThumbnailer)
#include "tst_thumbnailer.moc"
