// The sky map is redrawn on the main thread after every status update, so
// one drawing of a few hundred stars must stay well under a millisecond.
// Measured: building the picture (one hadec_aa per star and observation),
// painting it, and the whole redraw, against a naive painter that sets its
// pen and brush afresh for every shape and fills every disc as a path.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "drawing_painter.h"
#include "map_model.h"
#include "plot_model.h"

using namespace celaris;
using namespace celaris::models;

namespace {

constexpr QSize kBox(600, 600);

struct Scene {
    QList<MapStar> stars;
    QList<calibration::Observation> observations;
    QList<bool> outliers;
    MapSky sky;
};

// Stars spread over the whole sphere (half of them below the horizon, as a
// catalogue's are), magnitudes 0 to 5; observations over the visible half.
Scene MakeScene(int starCount) {
    Scene s;
    for (int i = 0; i < starCount; ++i) {
        const double ra = std::fmod(i * 2.399963, 2 * M_PI);  // golden angle
        const double dec = std::asin(-1.0 + (2.0 * i + 1) / starCount);
        s.stars.append(
            {QStringLiteral("Star %1").arg(i), ra, dec, 5.0 * i / starCount, i % 5 == 0});
    }
    for (int i = 0; i < 60; ++i) {
        calibration::Observation o;
        o.LST = 1.0;
        o.RATrue = 1.0 + (i % 12) * 0.4 - 2.4;
        o.DecTrue = -0.3 + (i / 12) * 0.35;
        o.Use = i % 9 != 0;
        s.observations.append(o);
        s.outliers.append(i == 13);
    }
    s.sky.latitudeRad = 45 * M_PI / 180;
    s.sky.siderealAngle = 1.0;
    s.sky.decLimitRad = 80 * M_PI / 180;
    s.sky.altLimitRad = 85 * M_PI / 180;
    s.sky.horizonRad.fill(0.3);
    s.sky.correctedRAHours = 3.0;
    s.sky.correctedDecDeg = 40.0;
    s.sky.stars = &s.stars;
    s.sky.selectedStar = 3;
    s.sky.observations = &s.observations;
    s.sky.outliers = &s.outliers;
    s.sky.selectedObservation = 5;
    return s;
}

// The baseline: what a straight port of a picture box's drawing calls does,
// a fresh pen and brush per call and every disc filled as a path.
void PaintNaive(QPainter& p, const Drawing& d) {
    p.fillRect(QRect(QPoint(0, 0), d.size), Qt::black);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const Shape& s : d.shapes) {
        const QColor c(s.colour.r, s.colour.g, s.colour.b);
        switch (s.kind) {
            case Shape::Kind::Line:
                p.setPen(QPen(c, s.width));
                p.setBrush(Qt::NoBrush);
                p.drawLine(s.p1, s.p2);
                break;
            case Shape::Kind::Circle:
                p.setPen(QPen(c, s.width));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(s.p1, s.radius, s.radius);
                break;
            case Shape::Kind::Disc: {
                QPainterPath path;
                path.addEllipse(s.p1, s.radius, s.radius);
                p.setPen(QPen(c, 1));
                p.setBrush(c);
                p.fillPath(path, QBrush(c));
                break;
            }
            case Shape::Kind::Text:
                p.drawText(s.p1, s.text);
                break;
        }
    }
}

void BM_MapPicture(benchmark::State& state) {
    Scene scene = MakeScene(static_cast<int>(state.range(0)));
    MapPicture pic;
    for (auto _ : state) {
        DrawMap(scene.sky, kBox, pic);
        benchmark::DoNotOptimize(pic.drawing.shapes.data());
    }
    state.counters["shapes"] = static_cast<double>(pic.drawing.shapes.size());
}

// As the picture box paints: the static layer and the star sprites kept
// from one picture to the next.
void BM_MapPaint(benchmark::State& state) {
    Scene scene = MakeScene(static_cast<int>(state.range(0)));
    MapPicture pic;
    DrawMap(scene.sky, kBox, pic);
    QImage image(kBox, QImage::Format_ARGB32_Premultiplied);
    windows::PaintCache cache;
    for (auto _ : state) {
        QPainter p(&image);
        windows::PaintDrawing(p, pic.drawing, &cache);
    }
}

// Every shape drawn each time, only the pen and brush changes skipped.
void BM_MapPaintUncached(benchmark::State& state) {
    Scene scene = MakeScene(static_cast<int>(state.range(0)));
    MapPicture pic;
    DrawMap(scene.sky, kBox, pic);
    QImage image(kBox, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&image);
        windows::PaintDrawing(p, pic.drawing);
    }
}

void BM_MapPaintNaive(benchmark::State& state) {
    Scene scene = MakeScene(static_cast<int>(state.range(0)));
    MapPicture pic;
    DrawMap(scene.sky, kBox, pic);
    QImage image(kBox, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&image);
        PaintNaive(p, pic.drawing);
    }
}

// The whole redraw the status loop asks for: picture and paint.
void BM_MapRedraw(benchmark::State& state) {
    Scene scene = MakeScene(static_cast<int>(state.range(0)));
    MapPicture pic;
    QImage image(kBox, QImage::Format_ARGB32_Premultiplied);
    windows::PaintCache cache;
    for (auto _ : state) {
        DrawMap(scene.sky, kBox, pic);
        QPainter p(&image);
        windows::PaintDrawing(p, pic.drawing, &cache);
    }
}

void BM_MapRedrawNaive(benchmark::State& state) {
    Scene scene = MakeScene(static_cast<int>(state.range(0)));
    MapPicture pic;
    QImage image(kBox, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        DrawMap(scene.sky, kBox, pic);
        QPainter p(&image);
        PaintNaive(p, pic.drawing);
    }
}

// The residual plot of a large calibration, for scale.
void BM_PlotRedraw(benchmark::State& state) {
    QList<calibration::Observation> obs;
    for (int i = 0; i < state.range(0); ++i) {
        calibration::Observation o;
        o.DecScope = 0.5;
        o.RAResidual = 1e-5 * std::sin(i);
        o.DecResidual = 1e-5 * std::cos(1.3 * i);
        obs.append(o);
    }
    PlotPicture pic;
    QImage image(QSize(400, 400), QImage::Format_ARGB32_Premultiplied);
    windows::PaintCache cache;
    for (auto _ : state) {
        DrawPlot({&obs, nullptr, QSize(400, 400), false, 1}, pic);
        QPainter p(&image);
        windows::PaintDrawing(p, pic.drawing, &cache);
    }
}

BENCHMARK(BM_MapPicture)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapPaint)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapPaintUncached)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapPaintNaive)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapRedraw)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapRedrawNaive)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlotRedraw)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Text needs fonts, and fonts need a GUI application (no screen).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
