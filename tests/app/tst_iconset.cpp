// The icons in the resource: every picture is what its SVG draws at that
// size, and an icon gives each use a picture of the size it asks for.

#include "app/iconset.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QResource>
#include <QSvgRenderer>
#include <QTest>

namespace {

QImage rendered(const QString& svg, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(svg);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) >= 128;
    }
    return count;
}

const QString kSource = QStringLiteral(TESK_ICON_SOURCE);

} // namespace

class TestIconSet : public QObject {
    Q_OBJECT
private slots:
    void picturesAreTheirSvgs_data();
    void picturesAreTheirSvgs();
    void sizes_data();
    void sizes();
};

void TestIconSet::picturesAreTheirSvgs_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("svg");
    QTest::addColumn<QList<int>>("needed");
    // The toolbar's 16 pixels at 100 %, 150 % and 200 %; the document icon
    // in a scene window's title bar (18) and the window icons' sizes.
    const QList<int> toolBar{16, 24, 32};
    const QList<int> window{16, 18, 24, 32, 64, 128};
    QTest::newRow("new") << QStringLiteral("toolbar/new") << QStringLiteral("toolbar/new.svg") << toolBar;
    QTest::newRow("show-user") << QStringLiteral("toolbar/show-user") << QStringLiteral("toolbar/show-user.svg") << toolBar;
    QTest::newRow("tesk") << QStringLiteral("tesk") << QStringLiteral("tesk.svg") << window;
    QTest::newRow("scene") << QStringLiteral("scene") << QStringLiteral("scene.svg") << window;
}

void TestIconSet::picturesAreTheirSvgs()
{
    QFETCH(QString, folder);
    QFETCH(QString, svg);
    QFETCH(QList<int>, needed);
    const QDir pictures(QStringLiteral(":/tesk/icons/") + folder);
    const QStringList names = pictures.entryList({QStringLiteral("*.argb")}, QDir::Files);
    for (const int side : needed)
        QVERIFY2(names.contains(QStringLiteral("%1.argb").arg(side)), qPrintable(names.join(u' ')));
    for (const QString& name : names) {
        const int side = name.chopped(5).toInt();
        const QByteArray pixels = QResource(pictures.filePath(name)).uncompressedData();
        QCOMPARE(pixels.size(), qsizetype(side) * side * 4);
        const QImage picture(reinterpret_cast<const uchar*>(pixels.constData()), side, side, side * 4,
                             QImage::Format_ARGB32_Premultiplied);
        QVERIFY2(picture == rendered(kSource + u'/' + svg, side), qPrintable(name));
    }
}

void TestIconSet::sizes_data()
{
    QTest::addColumn<QSize>("wanted");
    QTest::addColumn<QSize>("drawn");
    QTest::newRow("a size it has") << QSize(16, 16) << QSize(16, 16);
    QTest::newRow("between two sizes") << QSize(17, 17) << QSize(17, 17);
    QTest::newRow("beyond the largest") << QSize(100, 100) << QSize(100, 100);
    QTest::newRow("a tall place") << QSize(16, 24) << QSize(16, 16);
    QTest::newRow("a wide place") << QSize(40, 20) << QSize(20, 20);
}

void TestIconSet::sizes()
{
    QFETCH(QSize, wanted);
    QFETCH(QSize, drawn);
    const QIcon icon = iconSet(QStringLiteral(":/tesk/icons/toolbar/save"));
    QCOMPARE(icon.actualSize(wanted), drawn);
    const QImage image = icon.pixmap(wanted).toImage();
    QCOMPARE(image.size(), drawn);
    // The same shape as the SVG's at that size, give or take its edge (and
    // the rim that a background it does not stand out from adds).
    const int expected = opaquePixels(rendered(kSource + QStringLiteral("/toolbar/save.svg"), drawn.width()));
    QVERIFY2(qAbs(opaquePixels(image) - expected) <= expected / 4,
             qPrintable(QStringLiteral("%1 opaque pixels, the SVG's %2").arg(opaquePixels(image)).arg(expected)));
}

QTEST_MAIN(TestIconSet)
#include "tst_iconset.moc"
