#include "app/svgicon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <memory>

namespace {

class SvgIconEngine : public QIconEngine {
public:
    explicit SvgIconEngine(QString path)
        : m_path(std::move(path))
    {
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        const QString key = QStringLiteral("tesk-svg:%1:%2x%3:%4").arg(m_path).arg(size.width()).arg(size.height()).arg(int(mode));
        QPixmap pixmap;
        if (QPixmapCache::find(key, &pixmap))
            return pixmap;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer().render(&painter);
        painter.end();
        pixmap = QPixmap::fromImage(std::move(image));
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QApplication::palette();
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
