// Build-time helper: renders an SVG icon to a square picture of the given
// size: a PNG for the fixed-size folders of the hicolor icon theme, or, for
// OUT.argb, the bare premultiplied ARGB32 pixels in the machine's byte order,
// row after row, that the editor's icons are drawn from (app/iconset.h).
//   tesk_iconrender IN.svg SIZE OUT.png|OUT.argb

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s IN.svg SIZE OUT.png|OUT.argb\n", argv[0]);
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    const int size = QByteArray(argv[2]).toInt();
    if (!renderer.isValid() || size <= 0) {
        std::fprintf(stderr, "%s: cannot render %s at %s\n", argv[0], argv[1], argv[2]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    const QString out = QString::fromLocal8Bit(argv[3]);
    if (!out.endsWith(QLatin1String(".argb")))
        return image.save(out, "PNG") ? 0 : 1;
    QFile file(out);
    const auto bytes = qint64(image.sizeInBytes());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                   && file.write(reinterpret_cast<const char*>(image.constBits()), bytes) == bytes && file.flush()
               ? 0
               : 1;
}
