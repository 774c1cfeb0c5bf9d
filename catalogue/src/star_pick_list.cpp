#include "celaris/catalogue/star_pick_list.h"

#include <QHash>

#include <algorithm>
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/ascom/sexagesimal.h"
#include "celaris/catalogue/databases_folder.h"
#include "celaris/catalogue/sky_geometry.h"
#include "celaris/catalogue/star_catalogue.h"
#include "celaris/units/angles.h"

namespace celaris::catalogue {

namespace {

using units::kHalfPi;
using units::kPi;
using units::kTwoPi;

// pi/180 itself rather than the program's rounded factor: the setup window
// stores its limits with it, so a declination limit typed as 90 degrees
// equals a catalogue declination of 90 degrees and keeps that star out.
constexpr double kCatalogueDegreesToRadians = kPi / 180.0;
constexpr double kMasToRadians = kCatalogueDegreesToRadians / 3600.0 / 1000.0;
// 2000-01-01T12:00:00 UTC (the engine makes no difference between UTC and
// TT) and the Julian year, in seconds.
constexpr double kJ2000UnixSeconds = 946728000.0;
constexpr double kJulianYearSeconds = 365.25 * 86400.0;
constexpr double kJulianYearsPerCentury = 100.0;

constexpr int kNameWidth = 12;
constexpr int kDecWidth = 10;

}  // namespace

StarPickList::StarPickList(hub::Hub& hub, QObject* parent) : QObject(parent), hub_(hub) {}

StarPickList::~StarPickList() = default;

const Star* StarPickList::Current() const {
    return currentStar_ >= 0 && currentStar_ < stars_.size() ? &stars_[currentStar_] : nullptr;
}

double StarPickList::YearsSinceJ2000() const {
    return (clock_() - kJ2000UnixSeconds) / kJulianYearSeconds;
}

// Proper motion: every star moves by its catalogue rate times the time since
// J2000.0. The engine's AddProperMotion multiplies the rates it is given by
// Julian centuries, so it gets them per century; handing it the catalogue's
// per-year rates would move each star by a hundredth of its real motion
// (Arcturus by 0.6" instead of 59" in 2026), well beyond what a pointing
// model resolves. With a set clock the motion is applied here at that
// instant, as the hub does with the sidereal time; the apparent place still
// comes from the engine, which reads the computer's clock.
void StarPickList::Reduce(Star& star, double raDeg, double decDeg) {
    double ra = raDeg * kCatalogueDegreesToRadians;
    double dec = decDeg * kCatalogueDegreesToRadians;
    if (clock_) {
        const double years = YearsSinceJ2000();
        ra += years * star.PmRA;
        dec += years * star.PmDec;
    } else {
        hub::Check(hub_.engine()->AddProperMotion(star.PmRA * kJulianYearsPerCentury,
                                                  star.PmDec * kJulianYearsPerCentury, &ra, &dec),
                   "AddProperMotion");
    }
    if (!hub_.settings().J2000) {
        double raApp = 0.0, decApp = 0.0;
        hub::Check(hub_.engine()->J2kToApparent(ra, dec, &raApp, &decApp), "J2kToApparent");
        ra = raApp;
        dec = decApp;
    }
    star.RA = hub::NormaliseRadians(ra);
    star.Dec = dec;
}

bool StarPickList::LoadStars() {
    const CatalogueFile file = ReadCatalogue(file_.isEmpty() ? SitingStarsPath() : file_);
    // The setup window reloads while a calibration may be running: the marks
    // of its observations stay.
    QHash<QString, bool> used;
    for (const Star& s : stars_)
        if (s.Used) used.insert(s.Name, true);
    stars_.clear();
    pickList_.clear();
    try {
        for (const CatalogueLine& line : file.lines) {
            Star s;
            s.Name = line.name;
            s.Magnitude = line.magnitude;
            s.PmRA = line.pmRaMasPerYear * kMasToRadians;
            s.PmDec = line.pmDecMasPerYear * kMasToRadians;
            s.Used = used.contains(s.Name);
            Reduce(s, line.raDeg, line.decDeg);
            stars_.append(s);
        }
        if (currentStar_ >= stars_.size()) currentStar_ = -1;
        if (file.error) throw *file.error;
        hub_.UpdateSiderealTime();
        UpdateNearStars();
        CalcSiteStarArcLengths();
        if (pickList_.isEmpty())
            throw dispatch::ComError(
                9, QStringLiteral("Celaris"),
                QStringLiteral("No reference star is above the horizon and inside the limits."));
        currentStar_ = pickList_.first();
        UpDateStarPickList();
        return true;
    } catch (...) {
        if (currentStar_ >= stars_.size()) currentStar_ = -1;
        UpDateStarPickList();
        hub_.ui().ShowCurrentError();
        return false;
    }
}

bool StarPickList::Visible(const Star& star) {
    // Both limits are upper limits compared with their sign, as the slew
    // limits are.
    return AboveHorizon(hub_, star.RA, star.Dec) && hub_.BelowAltLimit(star.RA, star.Dec) &&
           star.Dec < hub_.settings().DecLimitRad;
}

void StarPickList::UpdateNearStars() {
    pickList_.clear();
    for (int i = 0; i < stars_.size(); ++i)
        if (Visible(stars_[i])) pickList_.append(i);
    UpDateStarPickList();
}

void StarPickList::CalcSiteStarArcLengths() {
    const hub::HubState& st = hub_.state();
    if (!st.DriverConnected || st.DriverLost) return;
    hub_.PollPosition();
    hub_.UpdateSiderealTime();
    const double raC = st.CorrectedRA * units::kHoursToRadians;
    const double decC = st.CorrectedDec * units::kDegreesToRadians;
    const double lat = hub_.settings().Latitude * units::kDegreesToRadians;
    for (int i : pickList_) {
        Star& s = stars_[i];
        double dRa = std::abs(raC - s.RA);
        if (dRa > kPi) dRa = kTwoPi - dRa;
        // Rounding can carry the cosine just past 1 for a star at the
        // telescope's position, where the arc cosine has no value.
        const double c = std::clamp(
            std::cos(s.Dec) * std::cos(decC) * std::cos(dRa) + std::sin(s.Dec) * std::sin(decC),
            -1.0, 1.0);
        s.ArcDistance = ArcCos(c);
        const ascom::AltAz h = ascom::hadec_aa(lat, hub_.SiderealAngle() - s.RA, s.Dec);
        s.MapAngleA = std::acos(std::sin(h.azRad) * std::cos(h.altRad));
        s.MapAngleB = kHalfPi - std::atan(std::cos(h.azRad) / std::tan(h.altRad));
    }
    // Stable: stars at equal distances keep their catalogue order.
    std::stable_sort(pickList_.begin(), pickList_.end(), [this](int a, int b) {
        return stars_[a].ArcDistance < stars_[b].ArcDistance;
    });
    // The nearest star once per connection; afterwards the chosen star stays
    // while the list reorders around it.
    if (!*starChosen_ && !pickList_.isEmpty()) {
        currentStar_ = pickList_.first();
        *starChosen_ = true;
    }
    UpDateStarPickList();
}

void StarPickList::UpDateStarPickList() {
    cmbNearStars.clear();
    cmbNearStarsIndex = -1;
    for (int k = 0; k < pickList_.size(); ++k) {
        const Star& s = stars_[pickList_[k]];
        // A name longer than its field pushes the rest of the line along
        // rather than being cut: it is what the user looks the star up by.
        QString line = (s.Name + (s.Used ? QStringLiteral("*") : QString()))
                           .leftJustified(kNameWidth, QLatin1Char(' '));
        line += ascom::HoursToHMS(s.RA * units::kRadiansToHours);
        line += ascom::DegreesToDMS(s.Dec * units::kRadiansToDegrees, QStringLiteral("\u00BA"),
                                    QStringLiteral("'"), QStringLiteral("\""), 0)
                    .rightJustified(kDecWidth, QLatin1Char(' '));
        line += QLatin1Char(' ') + QString::number(s.Magnitude, 'f', 1);
        cmbNearStars.append(line);
        if (pickList_[k] == currentStar_) cmbNearStarsIndex = k;
    }
    emit changed();
}

void StarPickList::MatchUsedStars(const QList<UsedObservation>& observations) {
    if (PickCount() < 2 || observations.size() < 2) return;
    // Every catalogue star, not only those in the pick list now: the list
    // changes every few minutes and the marks must still agree with the
    // calibration then.
    for (Star& s : stars_) {
        s.Used = false;
        for (const UsedObservation& o : observations) {
            if (o.Name == s.Name) {
                s.Used = o.Use;
                break;
            }
        }
    }
    UpDateStarPickList();
}

void StarPickList::Show(int pickPosition) {
    currentStar_ = pickList_[pickPosition];
    UpDateStarPickList();
}

void StarPickList::NextStar() {
    const int n = PickCount();
    const int k = int(pickList_.indexOf(currentStar_));
    if (n == 0 || k < 0) return;
    Show((k + 1) % n);
}

void StarPickList::PrevStar() {
    const int n = PickCount();
    const int k = int(pickList_.indexOf(currentStar_));
    if (n == 0 || k < 0) return;
    Show((k + n - 1) % n);
}

void StarPickList::StepUnused(int direction) {
    const int n = PickCount();
    const int k = int(pickList_.indexOf(currentStar_));
    if (n == 0 || k < 0) return;
    int pos = k;
    for (int step = 1; step <= n; ++step) {
        const int j = ((k + direction * step) % n + n) % n;
        if (!stars_[pickList_[j]].Used) {
            pos = j;
            break;
        }
    }
    Show(pos);
}

void StarPickList::NextUnusedStar() {
    StepUnused(+1);
}

void StarPickList::PrevUnusedStar() {
    StepUnused(-1);
}

void StarPickList::ClickLine(int line) {
    if (line < 0 || line >= PickCount()) return;
    Show(line);
}

void StarPickList::MarkCurrentUsed() {
    if (currentStar_ < 0 || currentStar_ >= stars_.size()) return;
    stars_[currentStar_].Used = true;
    UpDateStarPickList();
}

void StarPickList::ClearUsed() {
    for (Star& s : stars_) s.Used = false;
    UpDateStarPickList();
}

}  // namespace celaris::catalogue
