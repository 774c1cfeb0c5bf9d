#include "map_model.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/units/angles.h"
#include "plot_model.h"

namespace celaris::models {

namespace {

using units::kHalfPi;
using units::kPi;

int16_t ToInt16(double v) {
    if (!std::isfinite(v)) return 0;
    // Rounded half to even, as the positions always were.
    return static_cast<int16_t>(std::clamp<long>(std::lrint(v), -32768, 32767));
}

// Outliers get a ring that stays visible when night mode turns every colour
// red.
constexpr Rgb kOutlierColour{255, 160, 0};
constexpr double kOutlierRing = 8.0;
constexpr Rgb kPureRed{255, 0, 0};

struct StarSizes {
    double outer, middle, core;
};
StarSizes SizesFor(double mag) {
    if (mag < 2.0) return {7, 4, 3};
    if (mag <= 4.0) return {6, 3, 2};
    return {5, 2, 1};
}

void Cross(Drawing& d, Role role, Rgb colour, PixelPos p, int size) {
    d.Line(role, colour, QPointF(p.x - size, p.y - size), QPointF(p.x + size, p.y + size));
    d.Line(role, colour, QPointF(p.x - size, p.y + size), QPointF(p.x + size, p.y - size));
}

void Plus(Drawing& d, Role role, Rgb colour, PixelPos p, int size) {
    d.Line(role, colour, QPointF(p.x - size, p.y), QPointF(p.x + size, p.y));
    d.Line(role, colour, QPointF(p.x, p.y - size), QPointF(p.x, p.y + size));
}

QPointF At(PixelPos p) {
    return QPointF(p.x, p.y);
}

}  // namespace

MapFrame FrameOf(QSize box) {
    MapFrame f;
    f.cx = box.width() / 2.0;
    f.cy = box.height() / 2.0;
    f.R = std::min(f.cx, f.cy) - 1.0;
    f.k = f.R / kHalfPi;
    return f;
}

PixelPos ProjectAltAz(const MapFrame& f, double alt, double az) {
    const double rho = (kHalfPi - alt) * f.k;
    return {ToInt16(f.cx + rho * std::cos(az + kHalfPi)),
            ToInt16(f.cy - rho * std::sin(az + kHalfPi))};
}

bool DrawMap(const MapSky& sky, QSize box, MapPicture& out) {
    static const QList<MapStar> kNoStars;
    static const QList<calibration::Observation> kNoObservations;
    const auto& stars = sky.stars ? *sky.stars : kNoStars;
    const auto& obs = sky.observations ? *sky.observations : kNoObservations;
    if (stars.isEmpty() && obs.isEmpty()) return false;

    const MapFrame f = FrameOf(box);
    const QPointF centre(f.cx, f.cy);
    const auto colour = [&](int r, int g, int b) { return NightColour(r, g, b, sky.night); };
    const auto project = [&](double ha, double dec) {
        const auto aa = ascom::hadec_aa(sky.latitudeRad, ha, dec);
        return ProjectAltAz(f, aa.altRad, aa.azRad);
    };
    Drawing& d = out.drawing;
    d.Clear(box);
    const Rgb limit = colour(0, 192, 192);
    const Rgb grey = colour(192, 192, 192);

    if (sky.decLimitRad < kHalfPi) {
        double dec = std::abs(sky.decLimitRad);
        if (sky.latitudeRad <= 0.0) dec = -dec;
        PixelPos prev = project(0.0, dec);
        for (int j = 1; j <= 16; ++j) {
            const PixelPos p = project(j * kPi / 8.0, dec);
            d.Line(Role::Limit, limit, At(prev), At(p), 2);
            prev = p;
        }
    }
    if (sky.altLimitRad < kHalfPi)
        d.Circle(Role::Limit, limit, centre, (kHalfPi - sky.altLimitRad) * f.k);

    const auto rim = [&](double theta) {
        return QPointF(f.cx + f.R * std::cos(theta), f.cy - f.R * std::sin(theta));
    };
    out.labelColour = grey;
    out.azLabels = {AzLabel{QStringLiteral("45"), rim(3 * kPi / 4), Anchor::BottomRight},
                    AzLabel{QStringLiteral("135"), rim(5 * kPi / 4), Anchor::TopRight},
                    AzLabel{QStringLiteral("225"), rim(7 * kPi / 4), Anchor::TopLeft},
                    AzLabel{QStringLiteral("315"), rim(kPi / 4), Anchor::BottomLeft}};

    for (int j = 6; j >= 1; --j) d.Circle(Role::Grid, grey, centre, j * f.R / 6.0);
    for (int j = 1; j <= 24; ++j) {
        const double a = j * 2.0 * kPi / 24.0;
        d.Line(Role::Grid, grey, centre + QPointF(std::cos(a), -std::sin(a)) * (f.R / 6.0),
               centre + QPointF(std::cos(a), -std::sin(a)) * f.R);
    }

    const auto horizon = [&](int j) {
        return ProjectAltAz(f, sky.horizonRad[static_cast<size_t>(j)], j * kPi / 8.0);
    };
    for (int j = 0; j < 16; ++j)
        d.Line(Role::Horizon, limit, At(horizon(j)), At(horizon((j + 1) % 16)));
    d.staticShapes = d.shapes.size();

    out.stars.clear();
    out.stars.reserve(static_cast<size_t>(stars.size()));
    const Rgb outer = colour(32, 32, 32), middle = colour(96, 96, 96), core = colour(255, 255, 255);
    for (const MapStar& s : stars) {
        const PixelPos p = project(sky.siderealAngle - s.raRad, s.decRad);
        out.stars.push_back(p);
        const StarSizes r = SizesFor(s.mag);
        d.Disc(Role::Star, outer, At(p), r.outer);
        d.Disc(Role::Star, middle, At(p), r.middle);
        d.Disc(Role::Star, core, At(p), r.core);
    }

    out.observations.clear();
    out.observations.reserve(static_cast<size_t>(obs.size()));
    const Rgb unused = colour(128, 0, 0);
    for (qsizetype i = 0; i < obs.size(); ++i) {
        const auto& o = obs[i];
        const PixelPos p = project(o.LST - o.RATrue, o.DecTrue);
        out.observations.push_back(p);
        Cross(d, Role::Observation, o.Use ? kPureRed : unused, p, 5);
        if (sky.outliers && i < sky.outliers->size() && sky.outliers->at(i))
            d.Circle(Role::Outlier, colour(kOutlierColour.r, kOutlierColour.g, kOutlierColour.b),
                     At(p), kOutlierRing);
    }

    Plus(d, Role::Telescope, colour(0, 255, 0),
         project(sky.siderealAngle - sky.correctedRAHours * units::kHoursToRadians,
                 sky.correctedDecDeg * units::kDegreesToRadians),
         4);
    if (sky.selectedStar >= 0 && sky.selectedStar < stars.size())
        Plus(d, Role::SelectedStar, colour(255, 255, 255),
             out.stars[static_cast<size_t>(sky.selectedStar)], 7);
    if (sky.selectedObservation >= 1 && sky.selectedObservation <= obs.size()) {
        const auto i = static_cast<size_t>(sky.selectedObservation - 1);
        Cross(d, Role::SelectedObservation,
              obs[sky.selectedObservation - 1].Use ? kPureRed : unused, out.observations[i], 7);
    }
    return true;
}

MapModel::MapModel(hub::Program& program, calibration::CalibrationStore& store,
                   ObservationSelection& selection, QObject* parent)
    : QObject(parent), program_(program), store_(store), selection_(selection) {
    connect(&store_, &calibration::CalibrationStore::viewsChanged, this,
            &MapModel::RedrawIfVisible);
    connect(&selection_, &ObservationSelection::selectionChanged, this, &MapModel::RedrawIfVisible);
    // The telescope moves: every status update while connected redraws.
    connect(&program_.status(), &hub::StatusLoop::statusChanged, this, [this] {
        if (program_.hub().state().DriverConnected) RedrawIfVisible();
    });
}

void MapModel::SetSize(QSize box) {
    if (box == box_) return;
    box_ = box;
    RedrawIfVisible();
}

void MapModel::SetNightMode(bool night) {
    if (night == night_) return;
    night_ = night;
    RedrawIfVisible();
}

void MapModel::SetVisible(bool visible) {
    visible_ = visible;
    if (visible_) MapData();
}

void MapModel::Activate() {
    MapReady = true;
    MapData();
}

void MapModel::RedrawIfVisible() {
    if (visible_ && !inClick_) MapData();
}

MapSky MapModel::Sky(QList<MapStar>& stars) {
    const auto& settings = program_.settings();
    const auto& state = program_.hub().state();
    MapSky sky;
    sky.latitudeRad = settings.Latitude * units::kDegreesToRadians;
    sky.siderealAngle = program_.hub().SiderealAngle();
    sky.decLimitRad = settings.DecLimitRad;
    sky.altLimitRad = settings.AltLimitRad;
    std::copy(settings.HorizonRad.begin(), settings.HorizonRad.end(), sky.horizonRad.begin());
    sky.correctedRAHours = state.CorrectedRA;
    sky.correctedDecDeg = state.CorrectedDec;
    stars = stars_.list ? stars_.list() : QList<MapStar>();
    sky.stars = &stars;
    sky.selectedStar = stars_.selected ? stars_.selected() : -1;
    sky.observations = &store_.observations();
    outliers_.clear();
    if (store_.statistics().valid)
        for (int i = 1; i <= store_.ObservationCount(); ++i)
            outliers_.append(store_.statistics().IsOutlier(i));
    sky.outliers = &outliers_;
    sky.selectedObservation = selection_.selectedIndex();
    sky.night = night_;
    return sky;
}

bool MapModel::MapData() {
    if (!MapReady) return false;
    MapReady = false;
    // Whatever happens, later events draw again.
    struct Ready {
        bool& flag;
        ~Ready() { flag = true; }
    } ready{MapReady};
    try {
        QList<MapStar> stars;
        const MapSky sky = Sky(stars);
        if (!DrawMap(sky, box_, picture_)) return false;
        shownStars_ = std::move(stars);
    } catch (const std::exception&) {
        // The drawing ends here; the next event starts it afresh.
        return false;
    }
    emit drawn();
    return true;
}

void MapModel::Click(QPoint point) {
    inClick_ = true;
    const Nearest o = NearestPosition(picture_.observations, point);
    if (o.index >= 0 && o.distance < kPickRadius && store_.ObservationCount() > 0)
        selection_.Pick(o.index + 1);
    if (mainVisible_ && mainVisible_()) {
        const Nearest s = NearestPosition(picture_.stars, point);
        if (s.index >= 0 && s.distance < kPickRadius && stars_.select) stars_.select(s.index);
    }
    inClick_ = false;
    MapData();
}

void MapModel::DoubleClick() {
    auto& hub = program_.hub();
    try {
        if (!hub.state().DriverConnected || hub.DriverSlewing()) return;
        // The final leg of a two-leg slew is still to come.
        if (program_.settings().AntiBacklash && !hub.state().SecondLegDone) return;
        const int current = stars_.selected ? stars_.selected() : -1;
        if (current < 0 || !stars_.slew) return;
        stars_.slew(current);
    } catch (const dispatch::ComError& e) {
        program_.ui().ShowError(e);
    }
}

QString MapModel::HoverText(QPoint point) const {
    const Nearest s = NearestPosition(picture_.stars, point);
    const Nearest o = NearestPosition(picture_.observations, point);
    // An observation sits on its star: the observation says more.
    if (o.index >= 0 && o.distance <= kPickRadius && o.distance <= s.distance &&
        o.index < store_.ObservationCount()) {
        const int i = o.index + 1;
        return ResidualText(store_.observations().at(o.index),
                            store_.statistics().valid && store_.statistics().IsOutlier(i));
    }
    if (s.index >= 0 && s.distance <= kPickRadius && s.index < shownStars_.size()) {
        const MapStar& star = shownStars_.at(s.index);
        QString text =
            QStringLiteral("%1  mag %2").arg(star.name, QString::number(star.mag, 'f', 1));
        if (star.used) text += QStringLiteral("\nIn the calibration");
        return text;
    }
    return {};
}

}  // namespace celaris::models
