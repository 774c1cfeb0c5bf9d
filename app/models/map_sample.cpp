#include "map_sample.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <random>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/units/angles.h"
#include "sample_mount.h"

namespace celaris::models {

namespace {

using units::kDegreesToRadians;
using units::kPi;

struct BrightStar {
    const char* name;
    double raDeg, decDeg, mag;
};

// J2000 places to a few arc-minutes: enough for a picture.
constexpr BrightStar kStars[] = {
    {"Arcturus", 213.915, 19.182, -0.05},   {"Vega", 279.234, 38.784, 0.03},
    {"Capella", 79.172, 45.998, 0.08},      {"Altair", 297.696, 8.868, 0.77},
    {"Spica", 201.298, -11.161, 0.97},      {"Antares", 247.352, -26.432, 1.06},
    {"Pollux", 116.329, 28.026, 1.14},      {"Deneb", 310.358, 45.280, 1.25},
    {"Regulus", 152.093, 11.967, 1.36},     {"Castor", 113.650, 31.888, 1.58},
    {"Alioth", 193.507, 55.960, 1.77},      {"Dubhe", 165.932, 61.751, 1.79},
    {"Mirfak", 51.081, 49.861, 1.79},       {"Alkaid", 206.885, 49.313, 1.86},
    {"Polaris", 37.955, 89.264, 1.98},      {"Algieba", 154.993, 19.842, 2.01},
    {"Mizar", 200.981, 54.925, 2.23},       {"Alpheratz", 2.097, 29.090, 2.06},
    {"Rasalhague", 263.734, 12.560, 2.08},  {"Kochab", 222.676, 74.156, 2.08},
    {"Denebola", 177.265, 14.572, 2.13},    {"Schedar", 10.127, 56.537, 2.24},
    {"Eltanin", 269.152, 51.489, 2.23},     {"Caph", 2.295, 59.150, 2.28},
    {"Alphecca", 233.672, 26.715, 2.23},    {"Sadr", 305.557, 40.257, 2.23},
    {"Enif", 326.046, 9.875, 2.39},         {"Merak", 165.460, 56.382, 2.37},
    {"Phecda", 178.458, 53.695, 2.44},      {"Alderamin", 319.645, 62.586, 2.45},
    {"Sabik", 257.595, -15.725, 2.43},      {"Izar", 221.247, 27.074, 2.37},
    {"Gienah Cyg", 311.553, 33.970, 2.48},  {"Markab", 346.190, 15.205, 2.48},
    {"Muphrid", 208.671, 18.398, 2.68},     {"Tarazed", 296.565, 10.613, 2.72},
    {"Kornephoros", 247.555, 21.490, 2.77}, {"Rastaban", 262.608, 52.301, 2.79},
    {"Zeta Her", 250.322, 31.603, 2.81},    {"Delta Cyg", 296.244, 45.131, 2.87},
    {"Cor Caroli", 194.007, 38.318, 2.89},  {"Seginus", 218.020, 38.308, 3.04},
    {"Pherkad", 230.182, 71.834, 3.05},     {"Altais", 288.139, 67.661, 3.07},
    {"Albireo", 292.680, 27.960, 3.08},     {"Pi Her", 258.762, 36.809, 3.16},
    {"Sulafat", 284.736, 32.690, 3.24},     {"Edasich", 231.232, 58.966, 3.29},
    {"Megrez", 183.857, 57.033, 3.31},      {"Eta Her", 250.724, 38.922, 3.48},
    {"Sheliak", 282.520, 33.363, 3.52},     {"Thuban", 211.097, 64.376, 3.65},
    {"Eps UMi", 251.492, 82.037, 4.21},     {"Yildun", 263.054, 86.586, 4.35},
};

constexpr double kArcmin = kPi / 180.0 / 60.0;
constexpr double kArcsec = kArcmin / 60.0;

// The horizon profile's altitude at an azimuth, linear between entries.
double HorizonAt(const std::array<double, 16>& h, double az) {
    const double sector = 2.0 * kPi / 16.0;
    int b = static_cast<int>(az / sector);
    if (b > 15 || b < 0) b = 0;
    return h[static_cast<size_t>(b)] +
           (az - b * sector) / sector *
               (h[static_cast<size_t>((b + 1) % 16)] - h[static_cast<size_t>(b)]);
}

}  // namespace

double MapSampleInstant() {
    return static_cast<double>(
        QDateTime(QDate(2025, 6, 15), QTime(3, 0), Qt::UTC).toSecsSinceEpoch());
}

MapSample AddMapSample(hub::Program& program, calibration::CalibrationStore& store) {
    auto& hub = program.hub();
    hub.SetClock([] { return MapSampleInstant(); });
    hub.UpdateSiderealTime();
    const double lst = hub.SiderealAngle();
    const double lat = program.settings().Latitude * kDegreesToRadians;
    std::array<double, 16> horizon{};
    std::copy(program.settings().HorizonRad.begin(), program.settings().HorizonRad.end(),
              horizon.begin());

    MapSample sample;
    for (const BrightStar& s : kStars) {
        const double ra = s.raDeg * kDegreesToRadians, dec = s.decDeg * kDegreesToRadians;
        const auto aa = ascom::hadec_aa(lat, lst - ra, dec);
        if (aa.altRad < HorizonAt(horizon, aa.azRad)) continue;
        sample.pickList.append({QString::fromLatin1(s.name), ra, dec, s.mag, false});
    }

    // The mount: a few arc-minutes of every error a real one shows.
    ISVD* e = hub.engine().get();
    PutMountErrors(e, {4.0 * kArcmin, -3.0 * kArcmin, 2.0 * kArcmin, -1.0 * kArcmin, 5.0 * kArcmin,
                       -4.0 * kArcmin, 1.5 * kArcmin, 0.0, 0.0});
    hub::Check(e->put_ApplyCorrections(-1), "ApplyCorrections");

    std::mt19937 rng(20250615);
    std::normal_distribution<double> seeing(0.0, 6.0 * kArcsec);
    int taken = 0;
    for (qsizetype k = 0; k < sample.pickList.size() && taken < 28; ++k) {
        // Every third star is left for the next session.
        if (k % 3 == 2) continue;
        MapStar& star = sample.pickList[k];
        double haScope = 0.0, decScope = 0.0;
        hub::Check(e->GetScopeHADec(lst - star.raRad, star.decRad, &haScope, &decScope),
                   "GetScopeHADec");
        ++taken;
        // One star centred carelessly; one left out of the fit.
        const double slip = taken == 16 ? 170.0 * kArcsec : 0.0;
        const bool use = taken != 4;
        store.Add2Cal(star.raRad, star.decRad,
                      lst - haScope + seeing(rng) + slip / std::cos(decScope),
                      decScope + seeing(rng) + slip, lst, star.name, false, use);
        star.used = true;
    }
    for (qsizetype k = 0; k < sample.pickList.size(); ++k)
        if (!sample.pickList[k].used) {
            sample.currentStar = static_cast<int>(k);
            break;
        }
    if (sample.currentStar >= 0) {
        const MapStar& at = sample.pickList[sample.currentStar];
        hub.state().CorrectedRA = at.raRad * units::kRadiansToHours;
        hub.state().CorrectedDec = at.decRad * units::kRadiansToDegrees + 0.4;
    }
    return sample;
}

MapSampleRestore::MapSampleRestore(hub::Program& program)
    : program_(program),
      terms_(SettingsTerms(program.settings())),
      correctedRA_(program.hub().state().CorrectedRA),
      correctedDec_(program.hub().state().CorrectedDec) {}

MapSampleRestore::~MapSampleRestore() {
    auto& s = program_.settings();
    SetSettingsTerms(s, terms_);
    try {
        // Every fit of the sample kept its terms at once; the user's go back.
        profile::WriteModelTerms(program_.profile(), s);
    } catch (const dispatch::ComError& e) {
        program_.ui().Log(e.description());
    }
    program_.UpdateEngineTerms();
    program_.hub().SetClock({});
    program_.hub().UpdateSiderealTime();
    program_.hub().state().CorrectedRA = correctedRA_;
    program_.hub().state().CorrectedDec = correctedDec_;
}

}  // namespace celaris::models
