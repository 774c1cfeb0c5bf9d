// Paints a picture description with QPainter. The sky map is repainted
// after every status update, so the painter keeps what does not change
// between two pictures: the layer the picture marks as static (grid,
// horizon, limits) as an image, and each stack of discs drawn on one point
// (a star) as a small sprite.
#pragma once

#include <QColor>
#include <QImage>
#include <array>
#include <map>
#include <tuple>
#include <vector>

#include "drawing.h"

class QPainter;

namespace celaris::windows {

class PaintCache {
  public:
    // The static layer's picture, valid while its shapes, size and pixel
    // ratio stay the same.
    QImage layer;
    std::vector<models::Shape> layerShapes;
    QSize layerSize;

    // Up to four discs around one centre, outermost first.
    struct SpriteKey {
        int count = 0;
        std::array<std::tuple<int, int, int, double>, 4> discs{};
        double ratio = 1.0;
        friend bool operator<(const SpriteKey& a, const SpriteKey& b) {
            return std::tie(a.count, a.discs, a.ratio) < std::tie(b.count, b.discs, b.ratio);
        }
    };
    std::map<SpriteKey, QImage> sprites;
};

QColor ToQColor(models::Rgb c);
// The top-left corner of a box of this size whose anchor sits at point.
QPointF TopLeftFor(QPointF at, QSizeF size, models::Anchor anchor);

// Paints the drawing, background first. Without a cache every shape is
// drawn each time.
void PaintDrawing(QPainter& painter, const models::Drawing& drawing, PaintCache* cache = nullptr);

}  // namespace celaris::windows
