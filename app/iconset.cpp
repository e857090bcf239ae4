#include "app/iconset.h"

#include "framework/gui/contrast.h"

#include <QApplication>
#include <QDir>
#include <QIconEngine>
#include <QPainter>
#include <QResource>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <array>
#include <vector>

namespace {

// The share of an icon's outline that must stand out from the background:
// the outline is its pixels at least half opaque beside one that is not.
constexpr double kVisibleOutline = 0.75;

// The alpha of the pixel at x in `row` (premultiplied ARGB, `width` long);
// 0 outside the row or for a missing row.
int alphaAt(const QRgb* row, int x, int width) { return row && x >= 0 && x < width ? qAlpha(row[x]) : 0; }

// The rows above, at and below row y of `image` (null outside it).
std::array<const QRgb*, 3> rowsAround(const QImage& image, int y)
{
    std::array<const QRgb*, 3> rows{};
    for (int dy = -1; dy <= 1; ++dy) {
        if (y + dy >= 0 && y + dy < image.height())
            rows[std::size_t(dy + 1)] = reinterpret_cast<const QRgb*>(image.constScanLine(y + dy));
    }
    return rows;
}

// True when most of the outline of `image` (premultiplied ARGB), laid on
// `background`, stands out from it by a contrast of 3.
bool outlineStandsOut(const QImage& image, const QColor& background)
{
    const int width = image.width();
    const double backgroundLuminance = fw::RelativeLuminance(background);
    int outline = 0;
    int visible = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto [above, row, below] = rowsAround(image, y);
        for (int x = 0; x < width; ++x) {
            const auto opaque = [width](const QRgb* line, int at) { return alphaAt(line, at, width) >= 128; };
            if (!opaque(row, x) || (opaque(row, x - 1) && opaque(row, x + 1) && opaque(above, x) && opaque(below, x)))
                continue;
            ++outline;
            const QRgb pixel = row[x];
            const double alpha = qAlpha(pixel) / 255.0;
            const QColor laid = QColor::fromRgbF(float(qRed(pixel) / 255.0 + background.redF() * (1 - alpha)),
                                                 float(qGreen(pixel) / 255.0 + background.greenF() * (1 - alpha)),
                                                 float(qBlue(pixel) / 255.0 + background.blueF() * (1 - alpha)));
            if (fw::ContrastRatio(fw::RelativeLuminance(laid), backgroundLuminance) >= 3.0)
                ++visible;
        }
    }
    return visible >= kVisibleOutline * outline;
}

// `image` with a one-pixel rim of `colour` around its shape, beneath it.
QImage withRim(const QImage& image, const QColor& colour)
{
    const int width = image.width();
    const QRgb rgb = colour.rgb();
    QImage rim(image.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        const std::array<const QRgb*, 3> rows = rowsAround(image, y);
        auto* out = reinterpret_cast<QRgb*>(rim.scanLine(y));
        for (int x = 0; x < width; ++x) {
            int alpha = 0;
            for (const QRgb* line : rows) {
                for (int dx = -1; dx <= 1; ++dx)
                    alpha = std::max(alpha, alphaAt(line, x + dx, width));
            }
            out[x] = qPremultiply(qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), alpha));
        }
    }
    QPainter painter(&rim);
    painter.drawImage(0, 0, image);
    return rim;
}

class IconSetEngine : public QIconEngine {
public:
    explicit IconSetEngine(QString folder)
        : m_folder(std::move(folder))
    {
    }

    QPixmap pixmap(const QSize& place, QIcon::Mode mode, QIcon::State state) override
    {
        const QSize size = actualSize(place, mode, state);
        // Icons are drawn on the toolbars' and menus' background.
        const QPalette palette = QApplication::palette();
        const QColor background = palette.color(QPalette::Window);
        QImage image = picture(size.width());
        // Dark outlines vanish on a dark background: a rim of the palette's
        // text colour (or black or white, whichever stands out) brings the
        // shape back.
        if (!outlineStandsOut(image, background)) {
            const QColor far = fw::ContrastRatio(Qt::white, background) > fw::ContrastRatio(Qt::black, background)
                                   ? QColor(Qt::white)
                                   : QColor(Qt::black);
            image = withRim(image, fw::Contrasting(palette.color(QPalette::WindowText), background, far));
        }
        QPixmap pixmap = QPixmap::fromImage(std::move(image));
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = palette;
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device()->devicePixelRatioF();
        QPixmap image = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        image.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, image);
    }

    // Square, as the pictures are: a taller or wider place gets the icon
    // centred in it, not stretched.
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QString key() const override { return QStringLiteral("tesk-icon"); }
    QIconEngine* clone() const override { return new IconSetEngine(m_folder); }

private:
    // The folder's picture `side` pixels square, transparent when the
    // folder has none. The folder is listed only when it lacks the size.
    QImage picture(int side) const
    {
        QImage image = stored(side);
        if (image.isNull()) {
            std::vector<int> sizes;
            for (const QString& name : QDir(m_folder).entryList({QStringLiteral("*.argb")}, QDir::Files))
                sizes.push_back(name.chopped(5).toInt());
            std::sort(sizes.begin(), sizes.end());
            const auto larger = std::lower_bound(sizes.begin(), sizes.end(), side);
            if (!sizes.empty())
                image = stored(larger != sizes.end() ? *larger : sizes.back());
        }
        if (image.isNull()) {
            image = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            return image;
        }
        if (image.width() != side)
            image = image.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return image;
    }

    // The folder's SIZE.argb: side × side premultiplied ARGB32 pixels, row
    // after row; null when there is none.
    QImage stored(int side) const
    {
        const QByteArray pixels = QResource(QStringLiteral("%1/%2.argb").arg(m_folder).arg(side)).uncompressedData();
        QImage image;
        if (side > 0 && pixels.size() == qsizetype(side) * side * 4)
            image = QImage(reinterpret_cast<const uchar*>(pixels.constData()), side, side, side * 4,
                           QImage::Format_ARGB32_Premultiplied)
                        .copy();
        return image;
    }

    QString m_folder;
};

} // namespace

QIcon iconSet(const QString& folder) { return QIcon(new IconSetEngine(folder)); }
