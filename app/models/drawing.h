// A picture as a list of shapes, without QtGui: the residual plot and the
// sky map build one from their data, tests read its features, and the
// window paints it. Pixel coordinates, y down, as the picture boxes draw.
#pragma once

#include <QPointF>
#include <QSize>
#include <QString>
#include <cstdint>
#include <vector>

#include "window_rules.h"

namespace celaris::models {

// A pixel position as the windows keep them for clicks: 16-bit integers.
struct PixelPos {
    int16_t x = 0, y = 0;
    friend bool operator==(const PixelPos&, const PixelPos&) = default;
};

// The point of a text's box that sits on the text's reference point.
enum class Anchor : uint8_t {
    TopLeft,
    TopCentre,
    TopRight,
    MiddleLeft,
    BottomLeft,
    BottomCentre,
    BottomRight
};

// What a shape shows, so that tests and tooltips find features by meaning.
enum class Role : uint8_t {
    Grid,          // chart circles, altitude circles, spokes
    Label,         // N, E and the scale labels
    Limit,         // declination and altitude limits
    Horizon,       // the horizon profile
    Dot,           // a used observation on the plot
    Outlier,       // the ring of an observation the fit flags
    Cross,         // the plot's selected observation
    Star,          // a pick-list star's discs
    Observation,   // an observation's X on the map
    Telescope,     // the corrected telescope position
    SelectedStar,  // the pick list's selected star
    SelectedObservation
};

struct Shape {
    enum class Kind : uint8_t { Line, Circle, Disc, Text };
    Kind kind = Kind::Line;
    Role role = Role::Grid;
    Rgb colour;
    int width = 1;  // pen width of lines and circles
    // A line from p1 to p2; a circle's or disc's centre, a text's reference
    // point: p1.
    QPointF p1, p2;
    double radius = 0.0;
    QString text;
    int fontSize = 0;  // points
    Anchor anchor = Anchor::TopLeft;

    friend bool operator==(const Shape&, const Shape&) = default;
};

struct Drawing {
    QSize size;
    Rgb background{0, 0, 0};
    std::vector<Shape> shapes;
    // The first shapes change only with the box, the night mode, the site
    // and the limits: a painter may keep them as a picture of their own.
    size_t staticShapes = 0;

    void Clear(QSize box) {
        size = box;
        shapes.clear();
        staticShapes = 0;
    }
    void Line(Role role, Rgb colour, QPointF a, QPointF b, int width = 1) {
        Shape& s = shapes.emplace_back();
        s.kind = Shape::Kind::Line;
        s.role = role;
        s.colour = colour;
        s.width = width;
        s.p1 = a;
        s.p2 = b;
    }
    void Circle(Role role, Rgb colour, QPointF centre, double radius, int width = 1) {
        Shape& s = shapes.emplace_back();
        s.kind = Shape::Kind::Circle;
        s.role = role;
        s.colour = colour;
        s.width = width;
        s.p1 = centre;
        s.radius = radius;
    }
    void Disc(Role role, Rgb colour, QPointF centre, double radius) {
        Shape& s = shapes.emplace_back();
        s.kind = Shape::Kind::Disc;
        s.role = role;
        s.colour = colour;
        s.p1 = centre;
        s.radius = radius;
    }
    void Text(Role role, Rgb colour, QPointF at, Anchor anchor, int fontSize, const QString& text) {
        Shape& s = shapes.emplace_back();
        s.kind = Shape::Kind::Text;
        s.role = role;
        s.colour = colour;
        s.p1 = at;
        s.anchor = anchor;
        s.fontSize = fontSize;
        s.text = text;
    }
};

// Nearest of a list of positions to a point (Euclidean pixels, the first of
// equal distances winning): its index in the list and the distance; index
// -1 for an empty list.
struct Nearest {
    int index = -1;
    double distance = 1e9;
};
Nearest NearestPosition(const std::vector<PixelPos>& positions, QPointF point);

}  // namespace celaris::models
