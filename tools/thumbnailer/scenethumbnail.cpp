#include "tools/thumbnailer/scenethumbnail.h"

#include "model/c3dobject.h"
#include "model/shapecolour.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr QRgb kBackground = 0xFFF8F8F8u;
constexpr std::uint32_t kEdgeRgb = 0x303030u;
constexpr std::uint32_t kNoColourRgb = 0x808080u;
// Below this radius a frame would leave little of the colour, and
// anti-aliasing shows no shape.
constexpr int kFramedRadius = 4;

enum Glyph : int { GLYPH_CIRCLE, GLYPH_SQUARE, GLYPH_STAR, GLYPH_CROSS, kGlyphCount };

Glyph glyphOf(std::int32_t type)
{
    switch (type) {
    case SHAPE_SPHERE: return GLYPH_CIRCLE;
    case SHAPE_CUBE: return GLYPH_SQUARE;
    case SHAPE_STAR: return GLYPH_STAR;
    default: return GLYPH_CROSS;
    }
}

// The glyph around the origin, y up, in units of its radius.
QPainterPath unitGlyph(Glyph glyph)
{
    QPainterPath path;
    switch (glyph) {
    case GLYPH_CIRCLE:
        path.addEllipse(QPointF(0, 0), 1, 1);
        break;
    case GLYPH_SQUARE:
        path.addRect(-0.9, -0.9, 1.8, 1.8);
        break;
    case GLYPH_STAR: {
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double angle = std::numbers::pi / 2 + i * std::numbers::pi / 5;
            const double radius = i % 2 == 0 ? 1.0 : 0.4;
            star << QPointF(radius * std::cos(angle), radius * std::sin(angle));
        }
        path.addPolygon(star);
        path.closeSubpath();
        break;
    }
    default: {
        path.setFillRule(Qt::WindingFill);
        QPainterPath bar;
        bar.addRect(-1, -0.22, 2, 0.44);
        path.addPath(QTransform().rotate(45).map(bar));
        path.addPath(QTransform().rotate(-45).map(bar));
        path = path.simplified();
        break;
    }
    }
    return path;
}

// One pixel of a glyph's sprite: where it lies from the glyph's centre pixel
// (as an offset into the picture) and how much of it the fill and the frame cover (0-255).
struct Coverage {
    int offset;
    std::uint8_t fill;
    std::uint8_t edge;
};

// The pixels that glyph `glyph` of radius `radius` touches, as offsets into
// a picture `stride` pixels wide.
std::vector<Coverage> spriteOf(Glyph glyph, int radius, qsizetype stride)
{
    const int side = 2 * radius + 1;
    // The glyph's centre is the middle of pixel (radius, radius); y points down.
    const QTransform place = QTransform::fromTranslate(radius + 0.5, radius + 0.5).scale(radius, -radius);
    const QPainterPath path = place.map(unitGlyph(glyph));
    const auto paint = [&](bool frame) {
        QImage mask(side, side, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        if (frame)
            painter.strokePath(path, QPen(Qt::white, std::max(1.0, radius / 10.0)));
        else
            painter.fillPath(path, Qt::white);
        return mask;
    };
    const QImage fill = paint(false);
    const QImage edge = radius >= kFramedRadius ? paint(true) : QImage();
    std::vector<Coverage> sprite;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            auto f = static_cast<std::uint8_t>(qAlpha(fill.pixel(x, y)));
            // A glyph of a few pixels is drawn crisp: whole pixels, as much
            // of its shape as they can show, and no blending to pay for.
            if (radius < kFramedRadius)
                f = f >= 128 ? 255 : 0;
            const auto e = static_cast<std::uint8_t>(edge.isNull() ? 0 : qAlpha(edge.pixel(x, y)));
            if (f != 0 || e != 0)
                sprite.push_back({static_cast<int>((y - radius) * stride + (x - radius)), f, e});
        }
    }
    return sprite;
}

// `over` laid on `under` with `alpha` of 255, red and blue in one step,
// green in another; each channel rounded to nearest.
inline std::uint32_t blend(std::uint32_t under, std::uint32_t over, std::uint32_t alpha)
{
    const std::uint32_t keep = 255 - alpha;
    std::uint32_t redBlue = (over & 0xFF00FFu) * alpha + (under & 0xFF00FFu) * keep + 0x800080u;
    redBlue = ((redBlue + ((redBlue >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    std::uint32_t green = (over & 0xFF00u) * alpha + (under & 0xFF00u) * keep + 0x8000u;
    green = ((green + ((green >> 8) & 0xFF00u)) >> 8) & 0xFF00u;
    return 0xFF000000u | redBlue | green;
}

struct Bounds {
    std::int64_t minX = std::numeric_limits<std::int32_t>::max();
    std::int64_t maxX = std::numeric_limits<std::int32_t>::min();
    std::int64_t minY = std::numeric_limits<std::int32_t>::max();
    std::int64_t maxY = std::numeric_limits<std::int32_t>::min();
};

Bounds boundsOf(std::span<const std::unique_ptr<C3dObject>> objects)
{
    Bounds bounds;
    for (const std::unique_ptr<C3dObject>& object : objects) {
        const C3dShape& shape = *object->m_pShape;
        bounds.minX = std::min<std::int64_t>(bounds.minX, shape.m_nX);
        bounds.maxX = std::max<std::int64_t>(bounds.maxX, shape.m_nX);
        bounds.minY = std::min<std::int64_t>(bounds.minY, shape.m_nY);
        bounds.maxY = std::max<std::int64_t>(bounds.maxY, shape.m_nY);
    }
    return bounds;
}

int radiusFor(std::size_t count, int size)
{
    const int largest = size / 24;
    if (count == 0)
        return largest;
    // (2r + 1)^2 * count <= 4 * size^2
    const double side = std::sqrt(4.0 * size * size / static_cast<double>(count));
    return std::clamp(static_cast<int>((side - 1) / 2), 1, largest);
}

} // namespace

QImage RenderSceneThumbnail(std::span<const std::unique_ptr<C3dObject>> objects, int size)
{
    const Bounds bounds = boundsOf(objects);
    const int radius = radiusFor(objects.size(), size);
    const int margin = radius + 1;
    const std::int64_t spanX = objects.empty() ? 0 : bounds.maxX - bounds.minX;
    const std::int64_t spanY = objects.empty() ? 0 : bounds.maxY - bounds.minY;
    const std::int64_t longest = std::max(spanX, spanY);
    const double scale = longest == 0 ? 0.0 : (size - 2 * margin) / static_cast<double>(longest);
    // A distance in scene units, never negative, in whole pixels, rounded.
    const auto toPixels = [scale](std::int64_t units) { return static_cast<int>(static_cast<double>(units) * scale + 0.5); };
    const int contentX = toPixels(spanX);
    const int contentY = toPixels(spanY);
    const int width = longest == 0 ? size : contentX + 2 * margin;
    const int height = longest == 0 ? size : contentY + 2 * margin;
    const int left = (width - contentX) / 2;
    const int top = (height - contentY) / 2;

    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(kBackground);
    auto* pixels = reinterpret_cast<std::uint32_t*>(picture.bits());
    const qsizetype stride = picture.bytesPerLine() / 4;
    std::array<std::vector<Coverage>, kGlyphCount> sprites;
    for (int glyph = 0; glyph < kGlyphCount; ++glyph)
        sprites[static_cast<std::size_t>(glyph)] = spriteOf(static_cast<Glyph>(glyph), radius, stride);

    // In list order, so that a later object is drawn over an earlier one.
    for (const std::unique_ptr<C3dObject>& object : objects) {
        const C3dShape& shape = *object->m_pShape;
        const std::uint32_t rgb = ShownRgb(shape).value_or(kNoColourRgb);
        const int x = left + toPixels(shape.m_nX - bounds.minX);
        const int y = top + toPixels(bounds.maxY - shape.m_nY);
        std::uint32_t* centre = pixels + y * stride + x;
        for (const Coverage& pixel : sprites[static_cast<std::size_t>(glyphOf(shape.m_nType))]) {
            std::uint32_t& target = centre[pixel.offset];
            if (pixel.fill == 255)
                target = 0xFF000000u | rgb;
            else if (pixel.fill != 0)
                target = blend(target, rgb, pixel.fill);
            if (pixel.edge != 0)
                target = blend(target, kEdgeRgb, pixel.edge);
        }
    }
    return picture;
}
