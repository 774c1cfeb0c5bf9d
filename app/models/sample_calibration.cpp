#include "sample_calibration.h"

#include <cmath>

#include "celaris/hub/engine_ref.h"
#include "celaris/units/angles.h"
#include "sample_mount.h"

namespace celaris::models {

namespace {

struct Star {
    const char* name;
    double raHours;
    double decDegrees;
};

// Bright stars, J2000; each is observed twice, four hours apart.
constexpr Star kStars[] = {
    {"Vega", 18.6156, 38.7837},       {"Arcturus", 14.2610, 19.1824},
    {"Altair", 19.8464, 8.8683},      {"Deneb", 20.6905, 45.2803},
    {"Capella", 5.2782, 45.9980},     {"Aldebaran", 4.5987, 16.5093},
    {"Regulus", 10.1395, 11.9672},    {"Spica", 13.4199, -11.1613},
    {"Antares", 16.4901, -26.4320},   {"Pollux", 7.7553, 28.0262},
    {"Kochab", 14.8451, 74.1555},     {"Dubhe", 11.0621, 61.7510},
    {"Fomalhaut", 22.9608, -29.6222}, {"Alkaid", 13.7923, 49.3133},
    {"Rigel", 5.2423, -8.2016},
};
constexpr int kStarCount = sizeof(kStars) / sizeof(kStars[0]);
constexpr int kObservations = 2 * kStarCount;
// Badly centred; named by its time, as "+" names one away from a catalogue star.
constexpr int kBadlyCentred = 7;
constexpr char kBadlyCentredName[] = "2024-03-05 22:13:09Z";
// Left out of the fit by its user.
constexpr int kUnused = 12;

constexpr double kArcsec = units::kDegreesToRadians / units::kArcSecondsPerDegree;

void Load(hub::Program& program, calibration::CalibrationStore& store) {
    ISVD* e = program.hub().engine().get();
    const calibration::ModelTerms errors = SampleMountErrors();
    // The scope positions the mount reports: the model applied to the true
    // places, plus the centring noise.
    hub::Check(e->put_ApplyCorrections(-1), "ApplyCorrections");
    hub::Check(e->put_Inverted(0), "Inverted");
    PutMountErrors(e, errors);
    struct Place {
        double ra, dec, raScope, decScope, lst;
    };
    Place places[kObservations];
    for (int i = 0; i < kObservations; ++i) {
        const Star& s = kStars[i % kStarCount];
        // Hour angles from four hours east to four hours west, in an order
        // that puts a star's two observations apart.
        const double ha = (-4.0 + 8.0 * ((i * 11) % kObservations) / (kObservations - 1)) *
                          units::kHoursToRadians;
        Place& p = places[i];
        p.ra = s.raHours * units::kHoursToRadians;
        p.dec = s.decDegrees * units::kDegreesToRadians;
        p.lst = std::fmod(p.ra + ha + units::kTwoPi, units::kTwoPi);
        double haScope = 0, decScope = 0;
        hub::Check(e->GetScopeHADec(ha, p.dec, &haScope, &decScope), "GetScopeHADec");
        haScope += 3.0 * kArcsec * std::sin(1.7 * i) / std::cos(decScope);
        decScope += 3.0 * kArcsec * std::cos(2.3 * i);
        if (i == kBadlyCentred) decScope += 60.0 * kArcsec;
        p.raScope = std::fmod(p.lst - haScope + 2 * units::kTwoPi, units::kTwoPi);
        p.decScope = decScope;
    }

    store.SetAddToCal(false);
    store.SelectCalibrationType(0);
    store.StartCalibration();
    for (int i = 0; i < kObservations; ++i) {
        const Place& p = places[i];
        const QString name = i == kBadlyCentred ? QString::fromLatin1(kBadlyCentredName)
                                                : QString::fromLatin1(kStars[i % kStarCount].name);
        store.Add2Cal(p.ra, p.dec, p.raScope, p.decScope, p.lst, name, false, i != kUnused);
    }
    store.StopCalibration();
}

}  // namespace

calibration::ModelTerms SampleMountErrors() {
    constexpr double arcmin = units::kDegreesToRadians / 60.0;
    return {8.0 * arcmin,  -5.0 * arcmin, 3.0 * arcmin, 1.2 * arcmin, 4.0 * arcmin,
            -2.5 * arcmin, 1.5 * arcmin,  0.8 * arcmin, 0.0};
}

SampleCalibration::SampleCalibration(hub::Program& program, calibration::CalibrationStore& store)
    : program_(program), store_(store) {
    if (store_.ObservationCount() > 0 || store_.Calibrating()) return;
    saved_ = Saved{store_.Terms(), store_.controls()};
    ISVD* e = program_.hub().engine().get();
    e->get_ApplyCorrections(&saved_->applyCorrections);
    e->get_Inverted(&saved_->inverted);
    try {
        Load(program_, store_);
        loaded_ = true;
    } catch (const dispatch::ComError& e) {
        program_.ui().Log(QStringLiteral("The sample calibration failed: %1").arg(e.description()));
    }
}

SampleCalibration::~SampleCalibration() {
    if (!saved_) return;
    try {
        store_.DiscardObservations();
        store_.UpdateObservationList();
    } catch (const dispatch::ComError&) {
        // The terms below are what matters to the user.
    }
    SetSettingsTerms(program_.settings(), saved_->terms);
    store_.PersistModelTerms();
    program_.UpdateEngineTerms();
    ISVD* e = program_.hub().engine().get();
    e->put_ApplyCorrections(saved_->applyCorrections);
    e->put_Inverted(saved_->inverted);
    store_.SetAddToCal(saved_->controls.chkAddToCal);
    store_.SelectCalibrationType(static_cast<int>(saved_->controls.calibrationType));
    store_.SetCalibrationSaved(saved_->controls.CalibrationSaved);
}

}  // namespace celaris::models
