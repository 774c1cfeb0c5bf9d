#include "drawing_painter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace celaris::windows {

using models::Anchor;
using models::Shape;

QColor ToQColor(models::Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QPointF TopLeftFor(QPointF at, QSizeF size, Anchor anchor) {
    switch (anchor) {
        case Anchor::TopLeft:
            return at;
        case Anchor::TopCentre:
            return {at.x() - size.width() / 2, at.y()};
        case Anchor::TopRight:
            return {at.x() - size.width(), at.y()};
        case Anchor::MiddleLeft:
            return {at.x(), at.y() - size.height() / 2};
        case Anchor::BottomLeft:
            return {at.x(), at.y() - size.height()};
        case Anchor::BottomCentre:
            return {at.x() - size.width() / 2, at.y() - size.height()};
        case Anchor::BottomRight:
            return {at.x() - size.width(), at.y() - size.height()};
    }
    return at;
}

namespace {

bool Integral(QPointF p) {
    return p.x() == std::floor(p.x()) && p.y() == std::floor(p.y());
}

// A stack of discs on one centre, drawn once at this pixel ratio. The
// sprite is an odd number of pixels wide with the centre on its middle
// pixel's centre.
const QImage& Sprite(PaintCache& cache, const Shape* begin, const Shape* end, double ratio) {
    PaintCache::SpriteKey key;
    key.ratio = ratio;
    double reach = 0.0;
    for (const Shape* s = begin; s != end; ++s) {
        key.discs[static_cast<size_t>(key.count++)] = {s->colour.r, s->colour.g, s->colour.b,
                                                       s->radius};
        reach = std::max(reach, s->radius);
    }
    auto it = cache.sprites.find(key);
    if (it != cache.sprites.end()) return it->second;

    const int side = 2 * static_cast<int>(std::ceil(reach)) + 3;
    QImage image(QSize(side, side) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    for (const Shape* s = begin; s != end; ++s) {
        p.setBrush(ToQColor(s->colour));
        p.drawEllipse(QPointF(side / 2.0, side / 2.0), s->radius, s->radius);
    }
    p.end();
    return cache.sprites.emplace(key, std::move(image)).first->second;
}

void PaintShapes(QPainter& p, const Shape* begin, const Shape* end, PaintCache* cache,
                 double ratio) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    // Integer positions at pixel centres keep straight lines crisp.
    p.translate(0.5, 0.5);
    // Only changes reach the painter: a map is mostly runs of one colour.
    enum class Mode { None, Stroke, Fill, Text } mode = Mode::None;
    models::Rgb colour{-1, -1, -1};
    int width = 0, fontSize = 0;
    QFont font = p.font();
    for (const Shape* s = begin; s != end; ++s) {
        if (cache && s->kind == Shape::Kind::Disc && Integral(s->p1)) {
            const Shape* last = s + 1;
            while (last != end && last - s < 4 && last->kind == Shape::Kind::Disc &&
                   last->p1 == s->p1)
                ++last;
            const QImage& sprite = Sprite(*cache, s, last, ratio);
            const double half = sprite.width() / ratio / 2.0;
            p.drawImage(QPointF(s->p1.x() - half, s->p1.y() - half), sprite);
            s = last - 1;
            continue;
        }
        const Mode want = s->kind == Shape::Kind::Disc   ? Mode::Fill
                          : s->kind == Shape::Kind::Text ? Mode::Text
                                                         : Mode::Stroke;
        if (want != mode || !(s->colour == colour) || (want == Mode::Stroke && s->width != width)) {
            mode = want;
            colour = s->colour;
            width = s->width;
            if (mode == Mode::Fill) {
                p.setPen(Qt::NoPen);
                p.setBrush(ToQColor(colour));
            } else {
                p.setPen(QPen(ToQColor(colour), mode == Mode::Stroke ? width : 1));
                p.setBrush(Qt::NoBrush);
            }
        }
        switch (s->kind) {
            case Shape::Kind::Line:
                p.drawLine(s->p1, s->p2);
                break;
            case Shape::Kind::Circle:
            case Shape::Kind::Disc:
                p.drawEllipse(s->p1, s->radius, s->radius);
                break;
            case Shape::Kind::Text: {
                if (s->fontSize != fontSize) {
                    fontSize = s->fontSize;
                    font.setPointSize(fontSize);
                    p.setFont(font);
                }
                const QFontMetricsF m(font);
                const QSizeF size(m.horizontalAdvance(s->text), m.height());
                p.drawText(QRectF(TopLeftFor(s->p1, size, s->anchor), size), Qt::AlignCenter,
                           s->text);
                break;
            }
        }
    }
    p.restore();
}

}  // namespace

void PaintDrawing(QPainter& p, const models::Drawing& d, PaintCache* cache) {
    const double ratio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const Shape* shapes = d.shapes.data();
    const size_t layerEnd = std::min(d.staticShapes, d.shapes.size());
    size_t first = 0;
    if (cache && layerEnd > 0) {
        const bool same = !cache->layer.isNull() && cache->layerSize == d.size &&
                          cache->layer.devicePixelRatioF() == ratio &&
                          cache->layerShapes.size() == layerEnd &&
                          std::equal(shapes, shapes + layerEnd, cache->layerShapes.begin());
        if (!same) {
            QImage layer(d.size * ratio, QImage::Format_ARGB32_Premultiplied);
            layer.setDevicePixelRatio(ratio);
            layer.fill(ToQColor(d.background));
            QPainter lp(&layer);
            PaintShapes(lp, shapes, shapes + layerEnd, nullptr, ratio);
            lp.end();
            cache->layer = std::move(layer);
            cache->layerShapes.assign(shapes, shapes + layerEnd);
            cache->layerSize = d.size;
        }
        p.drawImage(QPointF(0, 0), cache->layer);
        first = layerEnd;
    } else {
        p.fillRect(QRect(QPoint(0, 0), d.size), ToQColor(d.background));
    }
    PaintShapes(p, shapes + first, shapes + d.shapes.size(), cache, ratio);
}

}  // namespace celaris::windows
