#include "celaris/calibration/calibration_store.h"

#include "celaris/calibration/calibration_file.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/errors.h"
#include "celaris/hub/engine_ref.h"
#include "celaris/hub/program.h"
#include "celaris/hub/skip_failing_step.h"
#include "engine_fit.h"

namespace celaris::calibration {

namespace {

// Restores the engine's ApplyCorrections and Inverted when a refit fails
// half-way, so a failed refit never leaves client slews uncorrected or on
// the wrong side of the pier model.
class EngineFlagsGuard {
  public:
    EngineFlagsGuard(ISVD* engine, LONG applyCorrections, LONG inverted)
        : engine_(engine), apply_(applyCorrections), inverted_(inverted) {}
    ~EngineFlagsGuard() {
        if (!armed_) return;
        engine_->put_ApplyCorrections(apply_);
        engine_->put_Inverted(inverted_);
    }
    void Release() { armed_ = false; }

  private:
    ISVD* engine_;
    LONG apply_;
    LONG inverted_;
    bool armed_ = true;
};

}  // namespace

CalibrationStore::CalibrationStore(hub::Program& program, QObject* parent)
    : QObject(parent), program_(program) {}

CalibrationStore::~CalibrationStore() = default;

ModelTerms CalibrationStore::Terms() const {
    const auto& s = program_.settings();
    return {s.HourOffsetRad, s.DecOffsetRad, s.CollimationRad, s.AxisNonPerpRad, s.PolarLRRad,
            s.PolarVertRad,  s.TubeFlexRad,  s.ForkFlexRad,    s.DecFlexRad};
}

void CalibrationStore::SetClock(std::function<QDateTime()> clock) {
    clock_ = std::move(clock);
}

QDateTime CalibrationStore::Now() const {
    return clock_ ? clock_() : QDateTime::currentDateTime();
}

bool CalibrationStore::Calibrating() const {
    return program_.status().controls().Calibrating;
}

void CalibrationStore::SyncObservationCount() {
    program_.status().controls().ObservationCount = ObservationCount();
}

void CalibrationStore::ClearLock() {
    program_.status().controls().chkLock = false;
}

void CalibrationStore::ReadTermsFromEngine() {
    ISVD* e = program_.hub().engine().get();
    auto& s = program_.settings();
    // Read in the engine's order; a failing getter ends the step.
    hub::Check(e->get_HOffset(&s.HourOffsetRad), "HOffset");
    hub::Check(e->get_DecOffset(&s.DecOffsetRad), "DecOffset");
    hub::Check(e->get_Collimation(&s.CollimationRad), "Collimation");
    hub::Check(e->get_AxisNonPerp(&s.AxisNonPerpRad), "AxisNonPerp");
    hub::Check(e->get_PolarLeftRight(&s.PolarLRRad), "PolarLeftRight");
    hub::Check(e->get_PolarVertical(&s.PolarVertRad), "PolarVertical");
    hub::Check(e->get_TubeFlex(&s.TubeFlexRad), "TubeFlex");
    hub::Check(e->get_ForkFlex(&s.ForkFlexRad), "ForkFlex");
    hub::Check(e->get_DecFlex(&s.DecFlexRad), "DecFlex");
}

void CalibrationStore::PersistModelTerms() {
    try {
        profile::WriteModelTerms(program_.profile(), program_.settings());
        termsWriteFailed_ = false;
    } catch (const dispatch::ComError& e) {
        // Said once per run of failures, not after every fit.
        if (!termsWriteFailed_)
            program_.ui().Log(
                QStringLiteral("The model terms could not be saved: %1").arg(e.description()));
        termsWriteFailed_ = true;
    }
}

void CalibrationStore::RefreshStatistics() {
    statistics_ = ComputeFitStatistics(list_, Terms(), ReadEngineFit(program_.hub().engine()));
}

void CalibrationStore::RefreshAfterFit() {
    ReadTermsFromEngine();
    PersistModelTerms();
    RefreshStatistics();
    program_.UpdateEngineTerms();
    emit termsChanged();
}

void CalibrationStore::Add2Cal(double raTrue, double decTrue, double raScope, double decScope,
                               double lst, const QString& name, bool westOfPier, bool use) {
    if (list_.size() >= kMaxObservations)
        throw dispatch::ComError(
            dispatch::kErrIndexBounds, QString::fromLatin1(dispatch::kScriptingSource),
            QStringLiteral("The calibration already holds %1 observations, the most it can.")
                .arg(kMaxObservations));
    ISVD* e = program_.hub().engine().get();
    // An observation the user excluded must not move the fit; it joins the
    // engine's list at the refit that includes it. Keeping the engine's list
    // equal to the used records also keeps the residual numbering right.
    // The engine files an observation under its current pier side, which
    // follows the mount's next target; the caller's side is the one the
    // observation was taken on (the automatic run solves while the mount
    // is already on its way to the next point, perhaps across the meridian).
    if (use) {
        LONG inverted = 0;
        hub::Check(e->get_Inverted(&inverted), "Inverted");
        LONG applying = 0;
        hub::Check(e->get_ApplyCorrections(&applying), "ApplyCorrections");
        EngineFlagsGuard guard(e, applying, inverted);
        hub::Check(e->put_Inverted(westOfPier ? -1 : 0), "Inverted");
        hub::Check(e->AddObservation(lst - raTrue, decTrue, lst - raScope, decScope),
                   "AddObservation");
        hub::Check(e->put_Inverted(inverted), "Inverted");
        guard.Release();
    }

    Observation o;
    o.Name = name;
    o.RATrue = raTrue;
    o.DecTrue = decTrue;
    o.RAScope = raScope;
    o.DecScope = decScope;
    o.WestOfPier = WestOfPierValue(westOfPier);
    o.LST = lst;
    o.Use = use;
    list_.append(o);
    SyncObservationCount();
    statistics_.valid = false;

    if (controls_.CorrectionsOn) {
        hub::Check(e->CalculateErrors(), "CalculateErrors");
        int n = 0;
        for (auto& r : list_) {
            if (!r.Use) continue;
            ++n;
            hub::Check(e->GetObservationError(n, &r.RAResidual, &r.DecResidual),
                       "GetObservationError");
        }
        RefreshAfterFit();
    }

    emit pickListChanged();
    UpdateObservationList();
    emit viewsChanged();

    ClearLock();
    if (controls_.FullCalibration()) SetCalibrationSaved(false);
}

void CalibrationStore::Recalculate() {
    ISVD* e = program_.hub().engine().get();
    LONG inverted = 0;
    hub::Check(e->get_Inverted(&inverted), "Inverted");
    LONG applying = 0;
    hub::Check(e->get_ApplyCorrections(&applying), "ApplyCorrections");
    EngineFlagsGuard guard(e, applying, inverted);

    if (controls_.FullCalibration())
        hub::Check(e->Calibrate(), "Calibrate");
    else
        hub::Check(e->Recalibrate(controls_.calibrationType == CalibrationMode::calPerm ? -1 : 0),
                   "Recalibrate");
    hub::Check(e->put_ApplyCorrections(0), "ApplyCorrections");
    for (const auto& r : list_) {
        if (!r.Use) continue;
        hub::Check(e->put_Inverted(r.IsWestOfPier() ? -1 : 0), "Inverted");
        hub::Check(e->AddObservation(r.LST - r.RATrue, r.DecTrue, r.LST - r.RAScope, r.DecScope),
                   "AddObservation");
    }
    hub::Check(e->CalculateErrors(), "CalculateErrors");
    int n = 0;
    for (auto& r : list_) {
        r.RAResidual = 0.0;
        r.DecResidual = 0.0;
        if (!r.Use) continue;
        ++n;
        hub::Check(e->GetObservationError(n, &r.RAResidual, &r.DecResidual), "GetObservationError");
    }
    hub::Check(e->put_ApplyCorrections(controls_.chkApplyCorr ? -1 : 0), "ApplyCorrections");
    hub::Check(e->put_Inverted(inverted), "Inverted");
    guard.Release();

    RefreshAfterFit();
    UpdateObservationList();
    emit viewsChanged();
}

void CalibrationStore::RemoveObservation(int32_t index) {
    if (!ValidIndex(index)) return;
    undo_ = list_.at(index - 1);
    list_.removeAt(index - 1);
    if (list_.isEmpty()) list_.squeeze();
    SyncObservationCount();
    statistics_.valid = false;
    controls_.cmdUndoEnabled = true;
    if (controls_.FullCalibration()) controls_.CalibrationSaved = false;
    emit controlsChanged();
    if (controls_.chkApplyCorr)
        Recalculate();
    else
        UpdateObservationList();
}

void CalibrationStore::Undo() {
    if (!undo_) return;
    if (list_.size() >= kMaxObservations) return;
    list_.append(*undo_);
    undo_.reset();
    SyncObservationCount();
    statistics_.valid = false;
    controls_.cmdUndoEnabled = false;
    emit controlsChanged();
    if (controls_.chkApplyCorr)
        Recalculate();
    else
        UpdateObservationList();
}

void CalibrationStore::UpdateObservationList() {
    emit observationsChanged();
}

bool CalibrationStore::TakeUseFlags(const QList<bool>& flags) {
    bool changed = false;
    // From the last line to the first, as the list window walks them.
    for (qsizetype i = std::min(flags.size(), list_.size()) - 1; i >= 0; --i) {
        if (list_[i].Use != flags[i]) {
            list_[i].Use = flags[i];
            changed = true;
        }
    }
    if (!changed) return false;
    statistics_.valid = false;
    if (controls_.chkApplyCorr)
        Recalculate();
    else
        UpdateObservationList();
    SetCalibrationSaved(false);
    return true;
}

void CalibrationStore::OpenObsFile(const QString& path) {
    // Read whole first: a file that fails leaves the current list as it is.
    QList<Observation> read = ReadCalibrationFile(path);
    list_ = std::move(read);
    SyncObservationCount();
    statistics_ = {};
    if (controls_.chkApplyCorr) {
        controls_.calibrationType = CalibrationMode::calFull;
        emit controlsChanged();
        Recalculate();  // refreshes the terms window itself
    } else {
        UpdateObservationList();
        program_.UpdateEngineTerms();
        emit termsChanged();
    }
    rememberedPath_ = path;
    SetCalibrationSaved(true);
    emit observationsOpened();
    emit viewsChanged();
}

void CalibrationStore::SaveObsFile(const QString& path) {
    WriteCalibrationFile(path, list_);
    SetCalibrationSaved(true);
}

void CalibrationStore::DiscardObservations() {
    ISVD* e = program_.hub().engine().get();
    list_.clear();
    list_.squeeze();
    SyncObservationCount();
    statistics_ = {};
    if (controls_.FullCalibration())
        hub::Check(e->Calibrate(), "Calibrate");
    else
        hub::Check(e->Recalibrate(controls_.calibrationType == CalibrationMode::calPerm ? -1 : 0),
                   "Recalibrate");
}

void CalibrationStore::RestartObservations() {
    if (!controls_.chkAddToCal) DiscardObservations();
    ReadTermsFromEngine();
    UpdateObservationList();
    emit viewsChanged();
    emit termsChanged();
}

void CalibrationStore::StartCalibration() {
    if (!controls_.chkAddToCal) DiscardObservations();
    program_.status().controls().Calibrating = true;
    controls_.calOptionsEnabled = false;
    controls_.obsUpdateOpenEnabled = false;
    // The saved terms follow the engine; they reach the settings file with
    // the next fit (or at exit), so starting alone never erases a model.
    ReadTermsFromEngine();
    emit catalogueUsedCleared();
    emit controlsChanged();
    emit calibratingChanged(true);
    UpdateObservationList();
    emit viewsChanged();
    program_.UpdateEngineTerms();
    emit termsChanged();
}

void CalibrationStore::StopCalibration() {
    program_.status().controls().Calibrating = false;
    controls_.calOptionsEnabled = true;
    controls_.obsUpdateOpenEnabled = true;
    emit controlsChanged();
    emit calibratingChanged(false);
}

void CalibrationStore::ApplyCorr(bool on) {
    ISVD* e = program_.hub().engine().get();
    hub::Check(e->put_ApplyCorrections(on ? -1 : 0), "ApplyCorrections");
    controls_.CorrectionsOn = on;
    // Off: the residuals are shown without the model.
    if (!on && !list_.isEmpty()) hub::Check(e->CalculateErrors(), "CalculateErrors");
    emit controlsChanged();
}

void CalibrationStore::SetApplyCorrChecked(bool on) {
    controls_.chkApplyCorr = on;
    ApplyCorr(on);
}

void CalibrationStore::SelectCalibrationType(int mode) {
    controls_.calibrationType = mode == 0   ? CalibrationMode::calFull
                                : mode == 1 ? CalibrationMode::calPerm
                                            : CalibrationMode::calPort;
    emit controlsChanged();
}

void CalibrationStore::SetAddToCal(bool on) {
    controls_.chkAddToCal = on;
    if (on) controls_.calibrationType = CalibrationMode::calFull;
    emit controlsChanged();
}

void CalibrationStore::SetLock(bool on) {
    auto& c = program_.status().controls();
    c.chkLock = on;
    if (on) {
        c.ShownTargetRA = program_.hub().state().TargetRA;
        c.ShownTargetDec = program_.hub().state().TargetDec;
    }
    emit controlsChanged();
}

bool CalibrationStore::Locked() const {
    return program_.status().controls().chkLock;
}

void CalibrationStore::SetCalibrationSaved(bool saved) {
    if (controls_.CalibrationSaved == saved) return;
    controls_.CalibrationSaved = saved;
    emit controlsChanged();
}

}  // namespace celaris::calibration
