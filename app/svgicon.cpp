#include "app/svgicon.h"

#include "framework/gui/contrast.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <algorithm>
#include <memory>

namespace {

// The share of an icon's outline that must stand out from the background:
// the outline is its pixels at least half opaque beside one that is not.
constexpr double kVisibleOutline = 0.75;

bool opaque(const QImage& image, int x, int y)
{
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() && qAlpha(image.pixel(x, y)) >= 128;
}

// True when most of the outline of `image` (premultiplied ARGB), laid on
// `background`, stands out from it by a contrast of 3.
bool outlineStandsOut(const QImage& image, const QColor& background)
{
    int outline = 0;
    int visible = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!opaque(image, x, y) ||
                (opaque(image, x - 1, y) && opaque(image, x + 1, y) && opaque(image, x, y - 1) && opaque(image, x, y + 1)))
                continue;
            ++outline;
            const QRgb pixel = image.pixel(x, y);
            const double alpha = qAlpha(pixel) / 255.0;
            const QColor laid = QColor::fromRgbF(float(qRed(pixel) / 255.0 + background.redF() * (1 - alpha)),
                                                 float(qGreen(pixel) / 255.0 + background.greenF() * (1 - alpha)),
                                                 float(qBlue(pixel) / 255.0 + background.blueF() * (1 - alpha)));
            if (fw::ContrastRatio(laid, background) >= 3.0)
                ++visible;
        }
    }
    return visible >= kVisibleOutline * outline;
}

// `image` with a one-pixel rim of `colour` around its shape, beneath it.
QImage withRim(const QImage& image, const QColor& colour)
{
    QImage rim(image.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            int alpha = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (image.rect().contains(x + dx, y + dy))
                        alpha = std::max(alpha, qAlpha(image.pixel(x + dx, y + dy)));
                }
            }
            QColor shade = colour;
            shade.setAlpha(alpha);
            rim.setPixel(x, y, qPremultiply(shade.rgba()));
        }
    }
    QPainter painter(&rim);
    painter.drawImage(0, 0, image);
    return rim;
}

class SvgIconEngine : public QIconEngine {
public:
    explicit SvgIconEngine(QString path)
        : m_path(std::move(path))
    {
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        // Icons are drawn on the toolbars' and menus' background.
        const QPalette palette = QApplication::palette();
        const QColor background = palette.color(QPalette::Window);
        const QString key = QStringLiteral("tesk-svg:%1:%2x%3:%4:%5")
                                .arg(m_path)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(int(mode))
                                .arg(background.rgb());
        QPixmap pixmap;
        if (QPixmapCache::find(key, &pixmap))
            return pixmap;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer().render(&painter);
        painter.end();
        // Dark outlines vanish on a dark background: a rim of the palette's
        // text colour (or black or white, whichever stands out) brings the
        // shape back.
        if (!outlineStandsOut(image, background)) {
            const QColor far = fw::ContrastRatio(Qt::white, background) > fw::ContrastRatio(Qt::black, background)
                                   ? QColor(Qt::white)
                                   : QColor(Qt::black);
            image = withRim(image, fw::Contrasting(palette.color(QPalette::WindowText), background, far));
        }
        pixmap = QPixmap::fromImage(std::move(image));
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = palette;
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        QPixmapCache::insert(key, pixmap);
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device()->devicePixelRatioF();
        QPixmap image = pixmap((QSizeF(rect.size()) * ratio).toSize(), mode, state);
        image.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, image);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QString key() const override { return QStringLiteral("tesk-svg"); }
    QIconEngine* clone() const override { return new SvgIconEngine(m_path); }

private:
    QSvgRenderer& renderer()
    {
        if (!m_renderer)
            m_renderer = std::make_unique<QSvgRenderer>(m_path);
        return *m_renderer;
    }

    QString m_path;
    std::unique_ptr<QSvgRenderer> m_renderer;
};

} // namespace

QIcon svgIcon(const QString& resourcePath) { return QIcon(new SvgIconEngine(resourcePath)); }
