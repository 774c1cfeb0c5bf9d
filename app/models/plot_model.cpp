#include "plot_model.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "celaris/calibration/fit_statistics.h"
#include "celaris/units/angles.h"

namespace celaris::models {

namespace {

using units::kDegreesToRadians;
using units::kRadiansToDegrees;
constexpr double kOneArcSecondRad = kDegreesToRadians / units::kArcSecondsPerDegree;

// "#####0.0"
QString Fixed1(double v) {
    return QString::number(v, 'f', 1);
}

// Integer part, kept inside 0 ... max; a position that is not a number
// lands on 0 rather than anywhere.
int16_t ToPixel(double v, int max) {
    if (!(v >= 0.0)) return 0;
    if (v >= max) return static_cast<int16_t>(std::min(max, 32767));
    return static_cast<int16_t>(std::floor(v));
}

// Outliers keep their dot but turn orange inside a ring, which still tells
// them apart when night mode turns every colour red.
constexpr Rgb kOutlierColour{255, 160, 0};
constexpr double kOutlierRing = 6.0;
constexpr double kEdgeInset = 4.0;

}  // namespace

PlotScale ScaleForSigma(double sigma) {
    PlotScale s;
    s.sigma = sigma;
    if (sigma >= kDegreesToRadians) {
        const QString deg = QString(QChar(0x00BA));
        s.inner = Fixed1(sigma * kRadiansToDegrees) + deg;
        s.outer = Fixed1(3.0 * sigma * kRadiansToDegrees) + deg;
    } else if (sigma >= calibration::kOneArcMinuteRad) {
        s.inner = Fixed1(sigma * kRadiansToDegrees * 60.0) + QStringLiteral(" min");
        s.outer = Fixed1(3.0 * sigma * kRadiansToDegrees * 60.0) + QStringLiteral(" min");
    } else if (sigma >= kOneArcSecondRad) {
        s.inner = Fixed1(sigma * kRadiansToDegrees * 3600.0) + QStringLiteral(" sec");
        s.outer = Fixed1(3.0 * sigma * kRadiansToDegrees * 3600.0) + QStringLiteral(" sec");
    } else {
        // A scale finer than the mount can be read is no information.
        s.sigma = kOneArcSecondRad;
        s.inner = QStringLiteral("<") + Fixed1(1.0) + QStringLiteral(" sec");
        s.outer = QStringLiteral("<") + Fixed1(3.0) + QStringLiteral(" sec");
    }
    return s;
}

void DrawPlot(const PlotInput& in, PlotPicture& out) {
    static const QList<calibration::Observation> kNone;
    const auto& obs = in.observations ? *in.observations : kNone;
    Drawing& d = out.drawing;
    d.Clear(in.box);
    const double cx = in.box.width() / 2.0;
    const double cy = in.box.height() / 2.0;
    const double R = std::min(cx, cy) - 1.0;
    const QPointF centre(cx, cy);
    const Rgb grey = NightColour(192, 192, 192, in.night);
    const Rgb white = NightColour(255, 255, 255, in.night);

    d.Text(Role::Label, grey, {cx, cy - R}, Anchor::TopCentre, 12, QStringLiteral("N"));
    d.Text(Role::Label, grey, {cx - R, cy}, Anchor::MiddleLeft, 12, QStringLiteral("E"));

    std::vector<double> r;
    r.reserve(obs.size());
    for (const auto& o : obs)
        if (o.Use) r.push_back(std::hypot(std::cos(o.DecScope) * o.RAResidual, o.DecResidual));
    out.scale = ScaleForSigma(calibration::RootMeanSquare(r));

    d.Text(Role::Label, grey, {cx, cy + R / 3.0}, Anchor::TopCentre, 8, out.scale.inner);
    d.Text(Role::Label, grey, {cx, cy + R}, Anchor::BottomCentre, 8, out.scale.outer);
    d.Circle(Role::Grid, grey, centre, R);
    d.Circle(Role::Grid, Rgb{255, 0, 0}, centre, R / 3.0);

    out.DotPositions.clear();
    out.pixelsPerRadian = 0.0;
    if (obs.isEmpty()) return;
    const double k = R / (3.0 * out.scale.sigma);
    out.pixelsPerRadian = k;
    const auto dot = [&](const calibration::Observation& o) {
        return QPointF(cx + k * std::cos(o.DecScope) * o.RAResidual, cy - k * o.DecResidual);
    };
    // A dot beyond the box is pinned just inside its edge: a wild
    // observation stays in sight, near the position a click finds it at.
    const double w = in.box.width(), h = in.box.height();
    const auto shown = [&](const calibration::Observation& o) {
        const QPointF p = dot(o);
        if (w <= 2 * kEdgeInset || h <= 2 * kEdgeInset) return p;
        return QPointF(std::clamp(p.x(), kEdgeInset, w - kEdgeInset),
                       std::clamp(p.y(), kEdgeInset, h - kEdgeInset));
    };
    const auto outlier = [&](qsizetype i) {
        return in.outliers && i < in.outliers->size() && in.outliers->at(i);
    };
    for (qsizetype i = 0; i < obs.size(); ++i) {
        const auto& o = obs[i];
        if (!o.Use) continue;
        if (outlier(i)) {
            d.Disc(Role::Dot,
                   NightColour(kOutlierColour.r, kOutlierColour.g, kOutlierColour.b, in.night),
                   shown(o), 3.0);
            d.Circle(Role::Outlier,
                     NightColour(kOutlierColour.r, kOutlierColour.g, kOutlierColour.b, in.night),
                     shown(o), kOutlierRing);
        } else {
            d.Disc(Role::Dot, white, shown(o), 3.0);
        }
    }

    out.DotPositions.reserve(obs.size());
    for (const auto& o : obs) {
        const QPointF p = dot(o);
        out.DotPositions.push_back(
            {ToPixel(p.x(), in.box.width()), ToPixel(p.y(), in.box.height())});
    }

    if (in.selected >= 1 && in.selected <= obs.size() && obs[in.selected - 1].Use) {
        const QPointF p = shown(obs[in.selected - 1]);
        d.Line(Role::Cross, white, {p.x() - 5, p.y()}, {p.x() + 6, p.y()});
        d.Line(Role::Cross, white, {p.x(), p.y() - 5}, {p.x(), p.y() + 6});
    }
}

QString ResidualText(const calibration::Observation& o, bool outlier) {
    if (!o.Use) return QStringLiteral("%1: not used by the fit").arg(o.Name);
    const auto sec = [](double rad) {
        return QString::number(rad * calibration::kRadiansToArcsec, 'f', 1) + QChar('"');
    };
    QString text = QStringLiteral("%1: %2 (RA %3, Dec %4)")
                       .arg(o.Name, sec(o.SkyError()), sec(o.SkyRAError()), sec(o.DecResidual));
    if (outlier) text += QStringLiteral("\nOutlier: beyond 3 sigma of the fit");
    return text;
}

PlotModel::PlotModel(calibration::CalibrationStore& store, ObservationSelection& selection,
                     QObject* parent)
    : QObject(parent), store_(store), selection_(selection) {
    connect(&store_, &calibration::CalibrationStore::viewsChanged, this,
            &PlotModel::RedrawIfVisible);
    connect(&selection_, &ObservationSelection::selectionChanged, this,
            &PlotModel::RedrawIfVisible);
    connect(&selection_, &ObservationSelection::listVisibleChanged, this,
            &PlotModel::RedrawIfVisible);
}

void PlotModel::SetSize(QSize box) {
    if (box == box_) return;
    box_ = box;
    RedrawIfVisible();
}

void PlotModel::SetNightMode(bool night) {
    if (night == night_) return;
    night_ = night;
    RedrawIfVisible();
}

void PlotModel::SetVisible(bool visible) {
    visible_ = visible;
    if (visible_) PlotData();
}

void PlotModel::RedrawIfVisible() {
    if (visible_) PlotData();
}

void PlotModel::PlotData() {
    if (!PlotReady) return;
    PlotReady = false;
    // Whatever happens, later events draw again.
    struct Ready {
        bool& flag;
        ~Ready() { flag = true; }
    } ready{PlotReady};
    try {
        const auto& stats = store_.statistics();
        outliers_.clear();
        if (stats.valid)
            for (int i = 1; i <= store_.ObservationCount(); ++i)
                outliers_.append(stats.IsOutlier(i));
        const int selected = selection_.listVisible() ? selection_.selectedIndex() : 0;
        DrawPlot({&store_.observations(), &outliers_, box_, night_, selected}, picture_);
    } catch (const std::exception&) {
        // The drawing ends here; the next event starts it afresh.
        return;
    }
    emit drawn();
}

void PlotModel::Click(QPoint point) {
    if (!selection_.listVisible()) return;
    const Nearest n = NearestPosition(picture_.DotPositions, point);
    if (n.index < 0) return;
    const int before = selection_.selectedIndex();
    selection_.Pick(n.index + 1);
    // A changed selection redraws through its signal.
    if (selection_.selectedIndex() == before) RedrawIfVisible();
}

QString PlotModel::HoverText(QPoint point) const {
    // Only dots can be pointed at: an unused observation has none.
    const auto& obs = store_.observations();
    const auto& pos = picture_.DotPositions;
    int best = -1;
    double bestDistance = kPickRadius;
    for (size_t i = 0; i < pos.size() && i < static_cast<size_t>(obs.size()); ++i) {
        if (!obs[static_cast<qsizetype>(i)].Use) continue;
        const double d = std::hypot(pos[i].x - point.x(), pos[i].y - point.y());
        if (d <= bestDistance && (best < 0 || d < bestDistance)) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    if (best < 0) return {};
    const auto& stats = store_.statistics();
    return ResidualText(obs.at(best), stats.valid && stats.IsOutlier(best + 1));
}

}  // namespace celaris::models
