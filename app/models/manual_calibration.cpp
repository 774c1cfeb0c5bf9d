#include "manual_calibration.h"

#include "celaris/calibration/observation_name.h"
#include "celaris/catalogue/sky_geometry.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/hub/skip_failing_step.h"
#include "celaris/units/angles.h"

namespace celaris::models {

bool CanSlewSomehow(Driver& d) {
    return ToBool(d.Get(QStringLiteral("CanSlewAsync")), QStringLiteral("CanSlewAsync")) ||
           ToBool(d.Get(QStringLiteral("CanSlew")), QStringLiteral("CanSlew"));
}

ManualCalibration::ManualCalibration(hub::Program& program, calibration::CalibrationStore& store,
                                     hub::MainControls& controls, QObject* parent)
    : QObject(parent),
      program_(program),
      store_(store),
      controls_(controls),
      stars_(program.hub()) {
    stars_.UseStarChosen(controls_.StarChosen);
    connect(&stars_, &catalogue::StarPickList::changed, this, &ManualCalibration::changed);
    connect(&store_, &calibration::CalibrationStore::pickListChanged, this,
            [this] { stars_.UpDateStarPickList(); });
    connect(&store_, &calibration::CalibrationStore::catalogueUsedCleared, this,
            [this] { stars_.ClearUsed(); });
    connect(&store_, &calibration::CalibrationStore::observationsOpened, this, [this] {
        QList<catalogue::UsedObservation> used;
        for (const auto& o : store_.observations()) used.append({o.Name, o.Use});
        stars_.MatchUsedStars(used);
    });
}

ManualCalibration::~ManualCalibration() = default;

void ManualCalibration::Load() {
    stars_.LoadStars();
}

void ManualCalibration::StatusUpdated(int statusCount) {
    const hub::HubState& s = program_.hub().state();
    // The loop counts the update before it reports it.
    if (!s.DriverConnected || (statusCount - 1) % 240 != 0) return;
    hub::SkipFailingStep([&] {
        stars_.UpdateNearStars();
        stars_.CalcSiteStarArcLengths();
    });
}

void ManualCalibration::SiteChanged() {
    hub::SkipFailingStep([&] {
        if (program_.settings().J2000) stars_.LoadStars();
        stars_.UpdateNearStars();
        stars_.CalcSiteStarArcLengths();
    });
}

void ManualCalibration::Slew2NearStar() {
    hub::Hub& hub = program_.hub();
    dispatch::Ui& ui = hub.ui();
    const catalogue::Star* star = stars_.Current();
    if (star == nullptr || !hub.state().DriverConnected) return;
    try {
        Driver& d = hub.ConnectedDriver();
        if (!CanSlewSomehow(d)) {
            ui.ReportUnsupported(QStringLiteral("Slewing"));
            return;
        }
    } catch (const dispatch::ComError& e) {
        ui.ShowError(e);
        return;
    }
    store_.SetLock(false);
    try {
        hub::HubState& s = hub.state();
        hub.UpdateSiderealTime();
        s.TargetRA = star->RA * units::kRadiansToHours;
        s.TargetDec = star->Dec * units::kRadiansToDegrees;
        hub.ApplyPierSide(s.TargetRA, s.TargetDec);
        const hub::HADec scope =
            hub.engine().GetScopeHADec(hub.SiderealAngle() - star->RA, star->Dec);
        const double scopeRA = hub::NormaliseRadians(hub.SiderealAngle() - scope.ha);
        hub.CheckSlewLimits(scopeRA, scope.dec);
        Driver& d = hub.ConnectedDriver();
        d.Put(QStringLiteral("TargetRightAscension"), scopeRA * units::kRadiansToHours);
        d.Put(QStringLiteral("TargetDeclination"), scope.dec * units::kRadiansToDegrees);
        hub.Slew2TargetAB();
        store_.SetLock(true);
    } catch (const dispatch::ComError& e) {
        ui.ShowError(e);
        ui.ReportFailing(QStringLiteral("Slewing"));
    }
    emit changed();
}

QDateTime ManualCalibration::UtcNow() const {
    return clock_ ? clock_() : calibration::EngineUtcNow(program_.hub().engine());
}

QString ManualCalibration::ObservationName(double raTrue, double decTrue) const {
    const catalogue::Star* star = stars_.Current();
    if (star &&
        catalogue::ArcLength(raTrue, decTrue, star->RA, star->Dec) <= units::kDegreesToRadians)
        return star->Name;
    return calibration::UtcObservationName(UtcNow());
}

void ManualCalibration::AddObservation() {
    hub::Hub& hub = program_.hub();
    hub::HubState& s = hub.state();
    try {
        stars_.MarkCurrentUsed();
        hub.UpdateSiderealTime();
        const double raTrue = controls_.ShownTargetRA * units::kHoursToRadians;
        const double decTrue = controls_.ShownTargetDec * units::kDegreesToRadians;
        const double raScope = s.ScopeRA * units::kHoursToRadians;
        const double decScope = s.ScopeDec * units::kDegreesToRadians;
        store_.Add2Cal(raTrue, decTrue, raScope, decScope, hub.SiderealAngle(),
                       ObservationName(raTrue, decTrue), s.PierInverted, true);
        s.ObservationTaken = true;
        controls_.btnCorrectEnabled = false;
    } catch (const dispatch::ComError& e) {
        hub.ui().ShowError(e);
    }
    emit changed();
}

MapStars PickListForMap(ManualCalibration& manual) {
    catalogue::StarPickList& stars = manual.stars();
    return {[&stars] {
                QList<MapStar> out;
                for (int s : stars.PickList()) {
                    const auto& st = stars.Stars()[s];
                    out.append({st.Name, st.RA, st.Dec, st.Magnitude, st.Used});
                }
                return out;
            },
            [&stars] { return stars.cmbNearStarsIndex; },
            [&stars](int line) { stars.ClickLine(line); },
            [&manual](int) { manual.Slew2NearStar(); }};
}

}  // namespace celaris::models
