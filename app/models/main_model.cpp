#include "main_model.h"

#include "celaris/drivers/simulator/simulated_mount.h"

#include <algorithm>
#include <cmath>

#include "celaris/dispatch/errors.h"
#include "celaris/hub/skip_failing_step.h"
#include "celaris/profile/value_text.h"
#include "celaris/units/angles.h"
#include "setup_model.h"

namespace celaris::models {

namespace {

constexpr double kNudgeUnits[] = {units::kDegreesToRadians, calibration::kOneArcMinuteRad,
                                  units::kDegreesToRadians / units::kArcSecondsPerDegree};

}  // namespace

MainModel::MainModel(hub::Program& program, calibration::CalibrationStore& store, QObject* parent)
    : QObject(parent),
      program_(program),
      store_(store),
      clock_([] { return QDateTime::currentDateTimeUtc(); }) {
    loop_ = &program_.status();
    loop_->UseControls(controls_);
    connect(loop_, &QObject::destroyed, this, [this] { loop_ = nullptr; });
    connect(&program_.status(), &hub::StatusLoop::statusChanged, this, [this] {
        if (manual_) manual_->StatusUpdated(program_.status().StatusCount);
        Refresh();
    });
    connect(&store_, &calibration::CalibrationStore::controlsChanged, this, [this] { Refresh(); });
    // Scripts start and stop calibrations too.
    connect(&store_, &calibration::CalibrationStore::calibratingChanged, this,
            [this](bool on) { CalibratingChanged(on); });

    // Loading: the rules' starting values, then the settings' view.
    hub::HubState& s = program_.hub().state();
    s.PierInverted = false;
    controls_.btnCorrectEnabled = false;
    controls_.btnAlignPolarEnabled = false;
    controls_.Calibrating = false;
    controls_.ObservationCount = 0;
    controls_.StarChosen = false;
    program_.hub().engine().get()->put_ApplyCorrections(-1);
    chkOnTop = program_.settings().OnTop;
    NightMode = ReadNightMode(program_.profile());
    ApplySetup();
    manual_ = std::make_unique<ManualCalibration>(program_, store_, controls_);
    connect(manual_.get(), &ManualCalibration::changed, this, [this] { emit changed(); });
    Refresh();
}

MainModel::~MainModel() {
    // The loop, when it is still running, goes on with a copy of its own.
    if (loop_) loop_->ReleaseControls();
}

QStringList MainModel::InvertedItems() {
    return {QStringLiteral("Auto"), QStringLiteral("Normal"), QStringLiteral("Inverted")};
}
int MainModel::InvertedItemData(int index) {
    static constexpr int data[] = {2, 0, 1};
    return index >= 0 && index < 3 ? data[index] : 2;
}
QStringList MainModel::DegMinSecItems() {
    return {QStringLiteral("Deg"), QStringLiteral("ArcMin"), QStringLiteral("ArcSec")};
}

bool MainModel::SimulatorConnected() const {
    return connected() && dynamic_cast<SimulatedMount*>(program_.hub().driver()) != nullptr;
}

bool MainModel::connected() const {
    return program_.hub().state().DriverConnected;
}

void MainModel::UpdatePierSideModelCombo() {
    for (int i = 0; i < 3; ++i)
        if (InvertedItemData(i) == program_.settings().PierSideModel) cmbInverted = i;
}

void MainModel::ApplySetup() {
    const auto& st = program_.settings();
    UpdatePierSideModelCombo();
    controls_.cmbInvertedEnabled = st.IsGerman;
    nudgeExchanged = st.Latitude < 0;
    program_.status().SetPollInterval(st.PollInterval);
    siteChecked_ = false;
    emit changed();
    // The pick list follows a new site, limits or horizon.
    if (manual_) manual_->SiteChanged();
}

void MainModel::ApplyCorr(bool on) {
    store_.controls().chkApplyCorr = on;
    hub::SkipFailingStep([&] { store_.ApplyCorr(on); });
    emit changed();
}

void MainModel::SetLock(bool on) {
    store_.SetLock(on);
    Refresh();
}

void MainModel::SetOnTop(bool on) {
    chkOnTop = on;
    program_.settings().OnTop = on;
    emit onTopChanged(on);
    emit changed();
}

void MainModel::SelectPierSideModel(int index) {
    cmbInverted = index;
    program_.settings().PierSideModel = static_cast<int16_t>(InvertedItemData(index));
    const auto& s = program_.hub().state();
    hub::SkipFailingStep([&] { program_.hub().ApplyPierSide(s.TargetRA, s.TargetDec); });
    emit changed();
}

void MainModel::SetNudgeUnit(int index) {
    cmbDegMinSec = std::clamp(index, 0, 2);
    SetNudgeIncrement(txtNudgeIncr);
}

void MainModel::SetNudgeIncrement(const QString& text) {
    txtNudgeIncr = text;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    NudgeStep = (ok && std::isfinite(v) ? v : 0.0) * kNudgeUnits[cmbDegMinSec];
    emit changed();
}

void MainModel::NudgeScope(Nudge direction) {
    hub::Hub& hub = program_.hub();
    hub::HubState& s = hub.state();
    if (!s.DriverConnected) return;
    dispatch::Ui& ui = hub.ui();
    try {
        Driver& d = hub.ConnectedDriver();
        if (!CanSlewSomehow(d)) {
            ui.ReportUnsupported(QStringLiteral("Slewing"));
            return;
        }
        double ra = s.ScopeRA, dec = s.ScopeDec;
        const double stepDeg = NudgeStep * hub::kRadiansToDegrees;
        const double f = std::abs(s.ScopeDec) > 89.83333333333333
                             ? 60.0
                             : 1.0 / std::cos(s.ScopeDec * hub::kDegreesToRadians);
        const double stepHours = f * NudgeStep * units::kRadiansToHours;
        switch (direction) {
            case Nudge::North:
                dec += stepDeg;
                break;
            case Nudge::South:
                dec -= stepDeg;
                break;
            case Nudge::East:
                ra = std::fmod(std::fmod(ra + stepHours, 24.0) + 24.0, 24.0);
                break;
            case Nudge::West:
                ra = std::fmod(std::fmod(ra - stepHours, 24.0) + 24.0, 24.0);
                break;
        }
        d.Put(QStringLiteral("TargetRightAscension"), ra);
        d.Put(QStringLiteral("TargetDeclination"), dec);
        hub.ApplyPierSide(ra, dec);
        hub.Slew2TargetAB();
    } catch (const dispatch::ComError& e) {
        ui.ShowError(e);
        ui.ReportFailing(QStringLiteral("Slewing"));
    }
    Refresh();
}

void MainModel::StopSlew() {
    hub::SkipFailingStep([&] {
        if (!connected() || !program_.hub().DriverSlewing()) return;
        program_.hub().ConnectedDriver().Call(QStringLiteral("AbortSlew"));
    });
}

void MainModel::SetNightMode(bool on) {
    NightMode = on;
    hub::SkipFailingStep([&] { WriteNightMode(program_.profile(), on); });
    emit nightModeChanged(on);
    emit changed();
}

void MainModel::StartCal(const std::function<void()>& showObservations) {
    dispatch::Ui& ui = program_.ui();
    if (!store_.controls().CalibrationSaved && ui.ConfirmDiscard()) {
        if (showObservations) showObservations();
        return;
    }
    try {
        store_.StartCalibration();
    } catch (...) {
        ui.ShowCurrentError();
    }
}

void MainModel::StopCal() {
    try {
        store_.StopCalibration();
    } catch (...) {
        program_.ui().ShowCurrentError();
    }
}

void MainModel::CalibratingChanged(bool calibrating) {
    // "+" waits for the next slew only once an observation has been taken.
    controls_.btnCorrectEnabled = calibrating;
    controls_.cmdStartCalEnabled = !calibrating;
    emit changed();
}

void MainModel::SelectCalibrationType(int mode) {
    store_.SelectCalibrationType(mode);
}

void MainModel::SetAddToCal(bool on) {
    if (on)
        program_.ui().ShowMessage(
            {QStringLiteral("Use this option with caution.\r\nIf the scope has been powered down "
                            "since the previous observations were taken, results may vary."),
             program_.ui().programTitle(), dispatch::MessageIcon::Warning,
             dispatch::MessageButtons::Ok, std::nullopt});
    store_.SetAddToCal(on);
}

bool MainModel::QueryUnload(const std::function<void()>& showObservations) {
    dispatch::Ui& ui = program_.ui();
    if (!store_.controls().CalibrationSaved && ui.ConfirmDiscard()) {
        if (showObservations) showObservations();
        return false;
    }
    if (connected()) {
        const dispatch::Message question{
            QStringLiteral("Exiting will disconnect the telescope from your control "
                           "application; do you want to proceed?"),
            QStringLiteral("Warning"), dispatch::MessageIcon::None, dispatch::MessageButtons::YesNo,
            std::nullopt};
        if (ui.ShowMessage(question) != dispatch::MessageAnswer::Yes) return false;
    }
    return true;
}

void MainModel::Refresh() {
    const hub::HubState& s = program_.hub().state();
    if (!s.DriverConnected) {
        siteChecked_ = false;
        siteWarning_.clear();
    } else if (!siteChecked_) {
        siteChecked_ = true;
        siteWarning_ = SiteMismatchText(program_.hub());
    }
    if (!s.StatusText.isEmpty())
        txtStatus = siteWarning_.isEmpty() ? s.StatusText
                                           : s.StatusText + QStringLiteral("\r\n") + siteWarning_;
    if (s.DriverConnected) {
        const double lat = program_.settings().Latitude;
        const double lstOwn = LocalSiderealHours(clock_(), program_.settings().Longitude);
        const auto row = [&](double ra, double dec, QString& lRa, QString& lDec, QString& lAlt,
                             QString& lAz) {
            lRa = FormatRA(ra);
            lDec = FormatDec(dec);
            const AltAzDeg aa = RaDecToAltAz(ra, dec, lat, lstOwn);
            lAlt = FormatAltAz(aa.altDeg);
            lAz = FormatAltAz(aa.azDeg);
        };
        row(s.ScopeRA, s.ScopeDec, lblScopeRA, lblScopeDec, lblScopeAlt, lblScopeAz);
        row(s.CorrectedRA, s.CorrectedDec, lblCorrRA, lblCorrDec, lblCorrAlt, lblCorrAz);
        row(controls_.ShownTargetRA, controls_.ShownTargetDec, lblTrueRA, lblTrueDec, lblTrueAlt,
            lblTrueAz);
        lblLST = FormatLST(program_.hub().SiderealAngle() * units::kRadiansToHours);
    }
    emit changed();
}

bool ReadNightMode(profile::Profile& profile) {
    return profile::ParseBool(profile.GetValue(QString::fromLatin1(profile::kHubDriverId),
                                               QStringLiteral("NightMode")))
        .value_or(false);
}

void WriteNightMode(profile::Profile& profile, bool on) {
    profile.WriteValue(QString::fromLatin1(profile::kHubDriverId), QStringLiteral("NightMode"),
                       profile::BoolText(on));
}

}  // namespace celaris::models
