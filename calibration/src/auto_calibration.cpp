#include "celaris/calibration/auto_calibration.h"

#include <QDateTime>
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/calibration/documents_folder.h"
#include "celaris/calibration/observation_name.h"
#include "celaris/catalogue/sky_geometry.h"
#include "celaris/dispatch/driver.h"
#include "celaris/dispatch/errors.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"

namespace celaris::calibration {

using dispatch::ComError;
using units::kDegreesToRadians;
using units::kHoursToRadians;
using units::kRadiansToDegrees;
using units::kRadiansToHours;

namespace {

constexpr char kWindowTitle[] = "Auto Calibration";
constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x800A000D);
// A mount parked at the pole takes the run's first image there. Its hour
// angle means nothing and the model's terms grow as 1/cos(dec), so such an
// observation would pull the whole fit; it is solved (the plate scale is
// refined from it) but not added. Polaris, 0.74 degrees off, stays usable.
constexpr double kPoleExclusionRad = 0.5 * units::kDegreesToRadians;

QString Text(double v) {
    return QString::number(v, 'g', 15);
}

// A box's number; a box that holds none stops the step that needs it.
double BoxNumber(const QString& text, const char* box) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        throw ComError(kTypeMismatch, QString::fromLatin1(kWindowTitle),
                       QStringLiteral("Type mismatch: %1 \"%2\" is not a number.")
                           .arg(QString::fromLatin1(box), text));
    return v;
}

int16_t BoxInt16(const QString& text, const char* box) {
    const double v = BoxNumber(text, box);
    if (v < -32768.5 || v > 32767.5)
        throw ComError(static_cast<int32_t>(0x800A0006), QString::fromLatin1(kWindowTitle),
                       QStringLiteral("Overflow: %1 \"%2\".").arg(QString::fromLatin1(box), text));
    return RoundHalfEven(v);
}

}  // namespace

AutoCalibration::AutoCalibration(hub::Program& program, CalibrationStore& store, QObject* parent)
    : QObject(parent), program_(program), store_(store) {
    monotonic_.start();
    timerAlign_.setInterval(500);
    connect(&timerAlign_, &QTimer::timeout, this, &AutoCalibration::Tick);
    // Stopping the calibration ends the run and lets the devices go.
    connect(&store_, &CalibrationStore::calibratingChanged, this, [this](bool calibrating) {
        if (calibrating) return;
        if (timerOn_) Stop();
        Release();
        emit hideRequested();
    });
}

AutoCalibration::~AutoCalibration() = default;

QStringList AutoCalibration::AccuracyItems() {
    return {QStringLiteral("~100 Stars"), QStringLiteral("~50 Stars"), QStringLiteral("~25 Stars"),
            QStringLiteral("~12 Stars"), QStringLiteral("~6 Stars")};
}

const QStringList& AutoCalibration::SettingNames() {
    static const QStringList names = {
        QStringLiteral("CatPath"),   QStringLiteral("CatType"),    QStringLiteral("Projection"),
        QStringLiteral("Sigma"),     QStringLiteral("MinBright"),  QStringLiteral("MinStar"),
        QStringLiteral("CatMaxMag"), QStringLiteral("Resolution"), QStringLiteral("CatExp"),
        QStringLiteral("MaxStars"),  QStringLiteral("Accuracy"),   QStringLiteral("MaxTime"),
        QStringLiteral("PixSizeX"),  QStringLiteral("PixSizeY"),   QStringLiteral("FocalLength"),
        QStringLiteral("Exposure"),  QStringLiteral("Bin"),        QStringLiteral("Filter"),
        QStringLiteral("Camera")};
    return names;
}

namespace {

struct BoxRef {
    const char* name;
    QString AutoCalibration::*box;
    bool whole;
};
constexpr BoxRef kBoxes[] = {
    {"Sigma", &AutoCalibration::txtSigma, false},
    {"MinBright", &AutoCalibration::txtMinBright, true},
    {"MinStar", &AutoCalibration::txtMinStar, true},
    {"CatMaxMag", &AutoCalibration::txtCatMaxMag, false},
    {"Resolution", &AutoCalibration::txtResolution, false},
    {"CatExp", &AutoCalibration::txtCatExp, false},
    {"MaxStars", &AutoCalibration::txtMaxStars, true},
    {"MaxTime", &AutoCalibration::txtMaxTime, true},
    {"Exposure", &AutoCalibration::txtExposure, false},
    {"Bin", &AutoCalibration::txtBin, true},
};

[[noreturn]] void InvalidSetting(const QString& name, const QVariant& value) {
    throw ComError(static_cast<int32_t>(0x80040401), QString::fromLatin1(kWindowTitle),
                   QStringLiteral("%1 cannot be set to \"%2\".").arg(name, value.toString()));
}

}  // namespace

QVariant AutoCalibration::SettingValue(const QString& name) const {
    const profile::Settings& s = program_.settings();
    for (const BoxRef& b : kBoxes)
        if (name.compare(QLatin1String(b.name), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const double v = (this->*b.box).trimmed().toDouble(&ok);
            if (!ok) return this->*b.box;  // what the box holds, as it stands
            return b.whole ? QVariant(qint64(std::llround(v))) : QVariant(v);
        }
    auto is = [&](const char* n) {
        return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0;
    };
    if (is("CatPath")) return txtCatPath;
    if (is("CatType")) return optCatalog;
    if (is("Projection")) return optProjection;
    if (is("Accuracy")) return cmbAccuracy;
    if (is("Filter")) return lstFiltersIndex >= 0 ? lstFiltersIndex : s.Filter;
    if (is("PixSizeX")) return s.PixSizeX;
    if (is("PixSizeY")) return s.PixSizeY;
    if (is("FocalLength")) return s.FocalLength;
    if (is("Camera")) return s.Camera;
    return {};
}

void AutoCalibration::SetSettingValue(const QString& name, const QVariant& value) {
    profile::Settings& s = program_.settings();
    auto is = [&](const char* n) {
        return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0;
    };
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    auto wholeIn = [&](double lo, double hi) {
        if (!ok || number != std::floor(number) || number < lo || number > hi)
            InvalidSetting(name, value);
        return int(number);
    };
    bool found = false;
    for (const BoxRef& b : kBoxes)
        if (is(b.name)) {
            if (b.whole)
                wholeIn(is("MaxStars") ? -2147483648.0 : -32768.0,
                        is("MaxStars") ? 2147483647.0 : 32767.0);
            else if (!ok || !std::isfinite(number))
                InvalidSetting(name, value);
            this->*b.box = QString::number(number, 'g', 15);
            if (is("Resolution")) s.Resolution = number;
            found = true;
        }
    if (found) {
    } else if (is("CatPath")) {
        txtCatPath = value.toString();
    } else if (is("CatType")) {
        optCatalog = wholeIn(0, 5);
    } else if (is("Projection")) {
        optProjection = wholeIn(0, 6);
    } else if (is("Accuracy")) {
        SelectAccuracy(wholeIn(0, 4));
    } else if (is("Filter")) {
        const int f = wholeIn(0, lstFilters.isEmpty() ? 32767 : double(lstFilters.size() - 1));
        SelectFilter(f);
        s.Filter = static_cast<int16_t>(f);
    } else if (is("PixSizeX") || is("PixSizeY") || is("FocalLength")) {
        if (!ok || !std::isfinite(number) || number <= 0) InvalidSetting(name, value);
        (is("PixSizeX") ? s.PixSizeX : is("PixSizeY") ? s.PixSizeY : s.FocalLength) = number;
    } else if (is("Camera")) {
        if (timerOn_)
            throw ComError(static_cast<int32_t>(0x8004040B), QString::fromLatin1(kWindowTitle),
                           QStringLiteral("The camera cannot change while the run is going on."));
        s.Camera = value.toString();
        // The next activation makes the camera of the new id.
        if (camera_) {
            try {
                camera_->SetLinked(false);
            } catch (const ComError&) {
            }
            camera_.reset();
        }
    } else {
        InvalidSetting(name, value);
    }
    TakeBoxesIntoSettings();
    try {
        profile::WriteAutoCalSettings(program_.profile(), s);
        profile::WritePixelCalculatorSettings(program_.profile(), s);
    } catch (const std::exception& e) {
        program_.ui().Log(QStringLiteral("The automatic calibration settings were not saved: %1")
                              .arg(QString::fromUtf8(e.what())));
    }
    emit changed();
}

bool AutoCalibration::calibrating() const {
    return store_.Calibrating();
}

double AutoCalibration::Now() const {
    return clock_ ? clock_() : monotonic_.nsecsElapsed() * 1e-9;
}

double AutoCalibration::resolution() const {
    bool ok = false;
    const double v = txtResolution.toDouble(&ok);
    return ok ? v : program_.settings().Resolution;
}

void AutoCalibration::Load() {
    profile::Settings& s = program_.settings();
    solving_ = false;
    paused_ = false;
    ButtonsAtRest();
    cmdResumeEnabled = false;
    grid_ = {};
    profile::ReadAutoCalSettings(program_.profile(), s);
    txtCatPath = s.CatPath;
    optCatalog = s.CatType;
    optProjection = s.Projection;
    cmbAccuracy = s.Accuracy;
    step_ = 1 << s.Accuracy;
    progbarCal = 0;
    txtSigma = Text(s.Sigma);
    txtMinBright = Text(s.MinBright);
    txtMinStar = Text(s.MinStar);
    txtCatMaxMag = Text(s.CatMaxMag);
    txtResolution = Text(s.Resolution);
    txtCatExp = Text(s.CatExp);
    txtMaxStars = Text(s.MaxStars);
    txtMaxTime = Text(s.MaxTime);
    txtExposure = Text(s.Exposure);
    txtBin = Text(s.Bin);
    emit changed();
}

void AutoCalibration::TakeBoxesIntoSettings() {
    profile::Settings& s = program_.settings();
    // A box without a number keeps the value it had, so the next start
    // still finds a usable setting.
    auto number = [](const QString& text, auto& into, const char* box) {
        try {
            if constexpr (std::is_same_v<std::decay_t<decltype(into)>, double>)
                into = BoxNumber(text, box);
            else if constexpr (std::is_same_v<std::decay_t<decltype(into)>, int16_t>)
                into = BoxInt16(text, box);
            else {
                const double v = BoxNumber(text, box);
                if (std::abs(v) < 2147483647.0) into = static_cast<int32_t>(std::nearbyint(v));
            }
        } catch (const ComError&) {
        }
    };
    s.CatPath = txtCatPath;
    s.CatType = static_cast<int16_t>(optCatalog);
    s.Projection = static_cast<int16_t>(optProjection);
    number(txtSigma, s.Sigma, "Sigma");
    number(txtCatMaxMag, s.CatMaxMag, "Cat Max Mag");
    number(txtResolution, s.Resolution, "Resolution");
    number(txtCatExp, s.CatExp, "Cat Expand");
    number(txtExposure, s.Exposure, "Exposure");
    number(txtMinBright, s.MinBright, "Min Bright");
    number(txtMinStar, s.MinStar, "Min Star Dia");
    number(txtBin, s.Bin, "Bin");
    number(txtMaxTime, s.MaxTime, "Max time");
    number(txtMaxStars, s.MaxStars, "Max Stars");
    s.Filter = static_cast<int16_t>(lstFiltersIndex >= 1 ? lstFiltersIndex : 0);
    s.Accuracy = static_cast<int16_t>(cmbAccuracy);
}

void AutoCalibration::Unload() {
    TakeBoxesIntoSettings();
    grid_ = {};
    try {
        profile::WriteAutoCalSettings(program_.profile(), program_.settings());
    } catch (const std::exception& e) {
        program_.ui().Log(QStringLiteral("The automatic calibration settings were not saved: %1")
                              .arg(QString::fromUtf8(e.what())));
    }
}

bool AutoCalibration::Activate() {
    try {
        if (!camera_) {
            if (!makeCamera_)
                throw ComError(static_cast<int32_t>(0x80040402), QStringLiteral("LumacamCCD"),
                               QStringLiteral("Failed to Link to Camera"));
            camera_ = makeCamera_();
        }
        // Linking returns once the device answered, so it is read back at
        // once rather than after a pause.
        camera_->SetLinked(true);
        if (!camera_->Linked())
            throw ComError(static_cast<int32_t>(0x80040402), QStringLiteral("LumacamCCD"),
                           QStringLiteral("Failed to Link to Camera"));
        lblBin =
            QStringLiteral("Bin (Max %1)").arg(std::max(camera_->MaxBinX(), camera_->MaxBinY()));
        if (camera_->HasFilterWheel()) {
            lstFilters = camera_->FilterNames();
            int16_t& f = program_.settings().Filter;
            if (f < 0 || f >= lstFilters.size()) f = 0;
            lstFiltersIndex = f;
        }
        if (!solver_) {
            if (makeSolver_) solver_ = makeSolver_();
            if (!solver_)
                throw ComError(static_cast<int32_t>(0x80040154), QString::fromLatin1(kWindowTitle),
                               QStringLiteral("No plate solver is available."));
            connect(solver_.get(), &solver::PlateSolver::stepEnded, this,
                    &AutoCalibration::OnStepEnded);
        }
        if (imagePath_.isEmpty()) imagePath_ = DocumentsFolder() + QStringLiteral("temp.fit");
    } catch (const ComError& e) {
        emit hideRequested();
        ShowError(e);
        emit changed();
        return false;
    }
    if (solver_->AcceptsMaxSolveStars())
        solver_->MaxSolveStars =
            static_cast<int16_t>(std::clamp<int32_t>(program_.settings().MaxStars, -32768, 32767));
    else
        txtMaxStarsEnabled = false;
    emit changed();
    return true;
}

void AutoCalibration::Release() {
    if (solver_) {
        disconnect(solver_.get(), nullptr, this, nullptr);
        solver_.reset();
    }
    solving_ = false;
    stage_ = SolveStage::None;
    if (camera_) {
        try {
            camera_->SetLinked(false);
        } catch (const ComError&) {
        }
        camera_.reset();
    }
    emit changed();
}

void AutoCalibration::ButtonsRunning() {
    cmdStartEnabled = txtCatPathEnabled = cmdResumeEnabled = false;
    cmdStopEnabled = progbarCalEnabled = true;
}

void AutoCalibration::ButtonsAtRest() {
    cmdStartEnabled = txtCatPathEnabled = cmdResumeEnabled = true;
    cmdStopEnabled = progbarCalEnabled = false;
}

void AutoCalibration::StartTimer() {
    timerOn_ = true;
    if (!manualTicks_) timerAlign_.start();
}

void AutoCalibration::StopTimer() {
    timerOn_ = false;
    timerAlign_.stop();
}

void AutoCalibration::ShowError(const ComError& e) {
    lastError_ = e.description();
    program_.ui().Log(QStringLiteral("Automatic calibration: %1").arg(e.description()));
    program_.ui().ShowError(e);
}

void AutoCalibration::Start() {
    if (!activated() && !Activate()) return;
    if (paused_) {
        try {
            store_.RestartObservations();
        } catch (const ComError& e) {
            ShowError(e);
            return;
        }
        lblStarfixStatus = QStringLiteral("Restarting automatic calibration.");
    } else {
        lblStarfixStatus = QStringLiteral("Starting automatic calibration.");
    }
    buildGrid_ = true;
    refineScale_ = true;
    pointIndex_ = 0;  // the first image is taken where the mount stands
    state_ = kExpose;
    retryQueue_.clear();
    retried_.clear();
    patternDone_ = false;
    timings_.clear();
    lblTimeLeft.clear();
    ButtonsRunning();
    StartTimer();
    paused_ = false;
    progbarCal = 0;
    emit changed();
}

void AutoCalibration::Stop() {
    ButtonsAtRest();
    StopTimer();
    hub::Hub& hub = program_.hub();
    try {
        if (hub.state().DriverConnected && hub.DriverSlewing()) {
            hub.ConnectedDriver().Call(QStringLiteral("AbortSlew"));
            // No second leg after an abort: the mount stays where it stopped.
            hub.state().SecondLegDone = true;
            hub.CountAbort();
        }
        if (state_ == kWaitImage) {
            if (camera_) camera_->AbortExposure();
            state_ = kExpose;
        }
    } catch (const ComError& e) {
        ShowError(e);
    }
    settleStarted_ = -1;
    paused_ = true;
    lblStarfixStatus = QStringLiteral(
        "Automatic calibration paused by user. Press RESUME to continue where you left off.  "
        "Press START to start afresh.");
    emit changed();
}

void AutoCalibration::Resume() {
    if (state_ == kIdle) return;  // nothing was started
    ButtonsRunning();
    StartTimer();
    emit changed();
}

void AutoCalibration::SelectFilter(int index) {
    try {
        if (camera_ && camera_->Linked()) {
            camera_->SetFilter(index);
            program_.settings().Filter = static_cast<int16_t>(camera_->Filter());
        }
        lstFiltersIndex = index;
    } catch (const ComError& e) {
        ShowError(e);
    }
    emit changed();
}

void AutoCalibration::SelectAccuracy(int index) {
    if (index < 0 || index > 4) return;
    cmbAccuracy = index;
    program_.settings().Accuracy = static_cast<int16_t>(index);
    step_ = 1 << index;
    emit changed();
}

bool AutoCalibration::ConfirmClose() {
    if (!timerOn_) return true;
    dispatch::Message m;
    m.title = QStringLiteral("Auto Calibration in Progress");
    m.text = QStringLiteral(
        "Exiting this form will stop the auto calibration.\r\nDo you still wish to exit?");
    m.icon = dispatch::MessageIcon::Warning;
    m.buttons = dispatch::MessageButtons::YesNo;
    if (program_.ui().ShowMessage(m) != dispatch::MessageAnswer::Yes) return false;
    StopTimer();
    emit changed();
    return true;
}

void AutoCalibration::SetResolutionText(const QString& text) {
    txtResolution = text;
    emit changed();
}

void AutoCalibration::SetCatalogPath(const QString& path) {
    txtCatPath = path;
    program_.settings().CatPath = path;
    emit changed();
}

void AutoCalibration::Halt() {
    StopTimer();
    ButtonsAtRest();
    lblStarfixStatus = QStringLiteral("Auto calibration run halted due to error");
    lblCalStatus = QStringLiteral("Slewing aborted");
    emit changed();
}

void AutoCalibration::Complete() {
    lblStarfixStatus =
        QStringLiteral("Calibration run complete\r\nRecommend saving calibration file");
    lblCalStatus = QStringLiteral("Run Complete");
    lblTimeLeft.clear();
    StopTimer();
    ButtonsAtRest();
    paused_ = true;
    int n = 0;
    PointTiming sum;
    for (const PointTiming& t : timings_) {
        ++n;
        sum.slew += t.slew;
        sum.exposure += t.exposure;
        sum.download += t.download;
        sum.solve1 += t.solve1;
        sum.solve2 += t.solve2;
    }
    if (n > 0)
        program_.ui().Log(QStringLiteral("Automatic calibration: %1 points; on average slew %2 s, "
                                         "exposure %3 s, download %4 s, solve %5 s + %6 s")
                              .arg(n)
                              .arg(sum.slew / n, 0, 'f', 1)
                              .arg(sum.exposure / n, 0, 'f', 1)
                              .arg(sum.download / n, 0, 'f', 2)
                              .arg(sum.solve1 / n, 0, 'f', 1)
                              .arg(sum.solve2 / n, 0, 'f', 1));
    emit changed();
}

PointTiming* AutoCalibration::TimingOf(int point) {
    for (qsizetype i = timings_.size() - 1; i >= 0; --i)
        if (timings_[i].point == point) return &timings_[i];
    return nullptr;
}

void AutoCalibration::Tick() {
    // A tick queued before the timer stopped does nothing.
    if (state_ == kIdle || !timerOn_) return;
    hub::Hub& hub = program_.hub();
    try {
        switch (state_) {
            case kExpose:
                lblCalStatus = QStringLiteral("Exposing image");
                Expose();
                state_ = kWaitImage;
                break;
            case kWaitImage:
                if (FetchImage())
                    state_ = kMoveAndSolve;
                else if (imageFailed_)
                    Halt();
                break;
            case kMoveAndSolve: {
                state_ = kWaitSlewSolveSettle;
                lblCalStatus = QStringLiteral(
                    "Slewing Scope to next Observation point\r\nSolving Current Image Using "
                    "Starfix");
                double ra = 0, dec = 0;
                bool move = true;
                if (buildGrid_) {
                    BuildGridFromMount();
                    buildGrid_ = false;
                    pointIndex_ = 1;
                    // The first target is the mount's own row and column,
                    // close to where it stands, so it is taken untested.
                    const GridPoint& p = grid_[0];
                    const int a0 = std::clamp(OriginOf(startAlt_, startAz_).a0, 0, 9);
                    const GridPoint first{a0 * 0.17453292519943278, p.azRad};
                    const ascom::HaDec h =
                        ascom::aa_hadec(program_.settings().Latitude * kDegreesToRadians,
                                        first.altRad, first.azRad);
                    ra = hub::NormaliseRadians(hub.SiderealAngle() - h.haRad);
                    dec = h.decRad;
                } else {
                    move = ChooseNextPoint(ra, dec);
                }
                progbarCal = std::min(pointIndex_, kGridPoints);
                if (move) MoveTo(ra, dec);
                BeginSolve();
                break;
            }
            case kWaitSlewSolveSettle: {
                const bool still = !hub.DriverSlewing() && !(program_.settings().AntiBacklash &&
                                                             !hub.state().SecondLegDone);
                if (still && !slewTimed_) {
                    slewTimed_ = true;
                    if (PointTiming* t = TimingOf(pointIndex_)) t->slew = Now() - moveStarted_;
                }
                if (!still || solving_) {
                    settleStarted_ = -1;
                    break;
                }
                if (settleStarted_ < 0) settleStarted_ = Now();
                if (Now() - settleStarted_ >= program_.settings().SlewPause) {
                    settleStarted_ = -1;
                    state_ = kExpose;
                }
                break;
            }
            default:
                // The last image is solved and added before the run ends;
                // points whose solve failed get their second try first.
                if (solving_) break;
                if (!retryQueue_.isEmpty()) {
                    double ra = 0, dec = 0;
                    if (ChooseNextPoint(ra, dec)) {
                        progbarCal = std::min(pointIndex_, kGridPoints);
                        MoveTo(ra, dec);
                        state_ = kWaitSlewSolveSettle;
                        break;
                    }
                }
                Complete();
                break;
        }
    } catch (const ComError& e) {
        Halt();
        ShowError(e);
    } catch (const std::exception& e) {
        Halt();
        ShowError(ComError(static_cast<int32_t>(0x80004005), QString::fromLatin1(kWindowTitle),
                           QString::fromUtf8(e.what())));
    }
    emit changed();
}

void AutoCalibration::BuildGridFromMount() {
    hub::Hub& hub = program_.hub();
    Driver& d = hub.ConnectedDriver();
    const double ra =
        ToDouble(d.Get(QStringLiteral("RightAscension")), QStringLiteral("RightAscension"));
    const double dec =
        ToDouble(d.Get(QStringLiteral("Declination")), QStringLiteral("Declination"));
    hub.UpdateSiderealTime();
    const double ha = hub.SiderealAngle() - ra * 0.2617993877991492;
    const ascom::AltAz aa = ascom::hadec_aa(program_.settings().Latitude * kDegreesToRadians, ha,
                                            dec * kDegreesToRadians);
    startAlt_ = aa.altRad;
    startAz_ = aa.azRad;
    BuildGrid(OriginOf(aa.altRad, aa.azRad), grid_);
}

bool AutoCalibration::Accepted(const GridPoint& p, double& raRad, double& decRad) {
    hub::Hub& hub = program_.hub();
    const ascom::HaDec h =
        ascom::aa_hadec(program_.settings().Latitude * kDegreesToRadians, p.altRad, p.azRad);
    raRad = hub::NormaliseRadians(hub.SiderealAngle() - h.haRad);
    decRad = h.decRad;
    return catalogue::AboveHorizon(hub, raRad, decRad) &&
           std::abs(decRad) < std::abs(program_.settings().DecLimitRad) &&
           hub.BelowAltLimit(raRad, decRad);
}

bool AutoCalibration::ChooseNextPoint(double& raRad, double& decRad) {
    program_.hub().UpdateSiderealTime();
    while (!patternDone_) {
        pointIndex_ += step_;
        if (pointIndex_ > kGridPoints) {
            patternDone_ = true;
            break;
        }
        if (Accepted(grid_[size_t(pointIndex_ - 1)], raRad, decRad)) return true;
    }
    while (!retryQueue_.isEmpty()) {
        const int p = retryQueue_.takeFirst();
        retried_.append(p);
        if (Accepted(grid_[size_t(p - 1)], raRad, decRad)) {
            pointIndex_ = p;
            return true;
        }
    }
    state_ = kComplete;
    return false;
}

void AutoCalibration::MoveTo(double raRad, double decRad) {
    hub::Hub& hub = program_.hub();
    Driver& d = hub.ConnectedDriver();
    d.Put(QStringLiteral("TargetRightAscension"), raRad * 3.8197186342054916);
    d.Put(QStringLiteral("TargetDeclination"), decRad * 57.29577951308238);
    hub.UpdateSiderealTime();
    const hub::HADec c = hub.engine().GetCorrectedHADec(hub.SiderealAngle() - raRad, decRad);
    hub::HubState& s = hub.state();
    double ra = (hub.SiderealAngle() - c.ha) * 3.8197186342054916;
    if (ra >= 24) ra -= 24;
    if (ra < 0) ra += 24;
    s.TargetRA = ra;
    s.TargetDec = c.dec * 57.29577951308238;
    hub.ApplyPierSide(s.TargetRA, s.TargetDec);
    hub.Slew2TargetAB();
    moveStarted_ = Now();
    slewTimed_ = false;
    settleStarted_ = -1;
    PointTiming t;
    t.point = pointIndex_;
    timings_.append(t);
}

void AutoCalibration::Expose() {
    hub::Hub& hub = program_.hub();
    Driver& d = hub.ConnectedDriver();
    const double raHours =
        ToDouble(d.Get(QStringLiteral("RightAscension")), QStringLiteral("RightAscension"));
    const double decDeg =
        ToDouble(d.Get(QStringLiteral("Declination")), QStringLiteral("Declination"));
    // The side, the sidereal time and the corrected position of this scope
    // position, not of the last status poll: by the time the solve ends the
    // mount is on its way to the next point.
    hub.UpdateSiderealTime();
    exposureLst_ = hub.SiderealAngle();
    const hub::RaDec corrected = hub.ScopeToTrueRADec(raHours, decDeg);
    exposureScopeRA_ = raHours * kHoursToRadians;
    exposureScopeDec_ = decDeg * kDegreesToRadians;
    exposureCorrRA_ = corrected.ra * kHoursToRadians;
    exposureCorrDec_ = corrected.dec * kDegreesToRadians;
    exposureInverted_ = hub.state().PierInverted;
    exposurePoint_ = pointIndex_;

    const double duration = BoxNumber(txtExposure, "Exposure (sec)");
    const int filter = lstFiltersIndex < 0 ? 0 : lstFiltersIndex;
    const int16_t bin = BoxInt16(txtBin, "Bin (X and Y)");
    camera_->SetBinX(bin);
    camera_->SetBinY(bin);
    txtBin = QString::number(std::max(camera_->BinX(), camera_->BinY()));
    if (camera_->StartExposure(duration, true, filter)) {
        lblCameraStatus = QStringLiteral("Camera exposing");
        exposureStarted_ = Now();
    } else {
        dispatch::Message m;
        m.title = QString::fromLatin1(kWindowTitle);
        m.text = QStringLiteral(
            "Lumacam was unable to expose an image \r\nCheck the camera settings and restart the "
            "automatic calibration.");
        lastError_ = m.text;
        program_.ui().Log(QStringLiteral("Automatic calibration: %1").arg(m.text));
        program_.ui().ShowMessage(m);
    }
}

bool AutoCalibration::FetchImage() {
    imageFailed_ = false;
    try {
        if (!camera_->ImageReady()) return false;
    } catch (const ComError& e) {
        imageFailed_ = true;
        ShowError(e);
        return false;
    }
    const double exposureEnded = Now();
    QElapsedTimer download;
    download.start();
    lblCameraStatus = QStringLiteral("Calibrating image with Lumacam settings");
    try {
        camera_->PrepareImage();
    } catch (const ComError&) {
    }
    lblCalStatus = QStringLiteral("Saving latest image");
    try {
        camera_->SaveImage(imagePath_);
    } catch (const ComError& e) {
        imageFailed_ = true;
        ShowError(e);
        return false;
    }
    if (PointTiming* t = TimingOf(exposurePoint_)) {
        t->exposure = exposureEnded - exposureStarted_;
        t->download = download.nsecsElapsed() * 1e-9;
    } else {
        // The first image is taken where the mount stood at Start.
        PointTiming first;
        first.point = exposurePoint_;
        first.exposure = exposureEnded - exposureStarted_;
        first.download = download.nsecsElapsed() * 1e-9;
        timings_.append(first);
    }
    lblCameraStatus = QStringLiteral("Camera idle");
    return true;
}

void AutoCalibration::AppendStatus(const QString& line) {
    lblStarfixStatus += QStringLiteral("\r\n") + line;
    emit changed();
}

void AutoCalibration::SetSolverScale() {
    const double r = BoxNumber(txtResolution, "Unbinned Pixel Size (Arc Sec)");
    solver_->ArcsecPerPixelHoriz = r * camera_->BinX();
    solver_->ArcsecPerPixelVert = r * camera_->BinY();
}

void AutoCalibration::BeginSolve() {
    solving_ = true;
    stage_ = SolveStage::None;
    solvePoint_ = exposurePoint_;
    solveScopeRA_ = exposureScopeRA_;
    solveScopeDec_ = exposureScopeDec_;
    solveLst_ = exposureLst_;
    solveInverted_ = exposureInverted_;
    solveTimer_.start();
    try {
        solver_->AttachFITS(imagePath_);
    } catch (const ComError& e) {
        EndSolve(e);
        throw;
    }
    try {
        solver::PlateSolver& s = *solver_;
        s.Catalog = static_cast<int16_t>(optCatalog);
        SetSolverScale();
        s.ExclusionBorder = 4;
        s.MaxSolveTime = BoxInt16(txtMaxTime, "Max time");
        s.SigmaAboveMean = BoxNumber(txtSigma, "Sigma");
        s.MinimumBrightness = BoxInt16(txtMinBright, "Min Bright");
        s.CatalogMaximumMagnitude = BoxNumber(txtCatMaxMag, "Cat Max Mag");
        s.CatalogExpansion = BoxNumber(txtCatExp, "Cat Expand");
        s.MinimumStarSize = BoxInt16(txtMinStar, "Min Star Dia");
        s.CatalogPath = txtCatPath;
        if (txtMaxStarsEnabled) s.MaxSolveStars = BoxInt16(txtMaxStars, "Max Stars");
        s.ProjectionType = static_cast<int16_t>(optProjection);
        double ra2k = 0, dec2k = 0;
        hub::Check(program_.hub().engine()->ApparentToJ2k(exposureCorrRA_, exposureCorrDec_, &ra2k,
                                                          &dec2k),
                   "ApparentToJ2k");
        s.RightAscension = ra2k * 3.8197186342054916;
        s.Declination = dec2k * 57.29577951308238;
        stage_ = SolveStage::Find1;
        s.FindImageStars();
    } catch (const ComError& e) {
        try {
            solver_->DetachFITS();
        } catch (const ComError&) {
        }
        EndSolve(e);
        throw;
    }
}

void AutoCalibration::EndSolve(const ComError& e) {
    solving_ = false;
    stage_ = SolveStage::None;
    lblStarfixStatus = e.description();
}

void AutoCalibration::HaltSolve(const ComError& e) {
    EndSolve(e);
    Halt();
    ShowError(e);
}

void AutoCalibration::SolveFailed(const ComError& e, bool halt) {
    try {
        if (solver_) solver_->DetachFITS();
    } catch (const ComError&) {
    }
    EndSolve(e);
    if (PointTiming* t = TimingOf(solvePoint_)) t->solve1 = solveTimer_.nsecsElapsed() * 1e-9;
    if (halt) {
        Halt();
        ShowError(e);
        return;
    }
    // A cloud or an empty field: the point gets one more try at the end.
    if (!retried_.contains(solvePoint_) && !retryQueue_.contains(solvePoint_) && solvePoint_ >= 1 &&
        solvePoint_ <= kGridPoints)
        retryQueue_.append(solvePoint_);
    emit changed();
}

void AutoCalibration::OnStepEnded(solver::SolverStep step, bool succeeded) {
    if (!solving_ || stage_ == SolveStage::None || !solver_) return;
    solver::PlateSolver& s = *solver_;
    if (!succeeded) {
        const ComError e = s.lastError().value_or(
            ComError(solver::kSolverFailure, QString::fromLatin1(solver::kSolverSource),
                     QStringLiteral("The plate solve failed.")));
        SolveFailed(e, step == solver::SolverStep::FindCatalogStars);
        return;
    }
    try {
        switch (stage_) {
            case SolveStage::Find1:
                lblStarfixStatus =
                    QStringLiteral("Step 1: Found %1 objects in image").arg(s.ImageStars().Count);
                stage_ = SolveStage::Catalog1;
                s.FindCatalogStars();
                break;
            case SolveStage::Catalog1:
                AppendStatus(QStringLiteral("Step 2: Found %1 catalog stars in search area")
                                 .arg(s.CatalogStars().Count));
                stage_ = SolveStage::Solve1;
                s.Solve();
                break;
            case SolveStage::Solve1: {
                AppendStatus(QStringLiteral("Step 3: Found %1 matching stars in image")
                                 .arg(s.MatchedStars().Count));
                solvedRA_ = s.RightAscension * kHoursToRadians;
                solvedDec_ = s.Declination * kDegreesToRadians;
                if (refineScale_) {
                    const double sc =
                        ((std::abs(s.ArcsecPerPixelVert) + std::abs(s.ArcsecPerPixelHoriz)) / 2) /
                        camera_->BinX();
                    const double r = program_.settings().Resolution;
                    if (sc > 0 && r / sc >= 0.5 && r / sc <= 2) {
                        program_.settings().Resolution = sc;
                        txtResolution = Text(std::abs(sc));
                        refineScale_ = false;
                    }
                }
                if (PointTiming* t = TimingOf(solvePoint_))
                    t->solve1 = solveTimer_.nsecsElapsed() * 1e-9;
                solveTimer_.start();
                try {
                    s.DetachFITS();
                    s.AttachFITS(imagePath_);
                } catch (const ComError& e) {
                    HaltSolve(e);
                    return;
                }
                s.RightAscension = solvedRA_ * kRadiansToHours;
                s.Declination = solvedDec_ * kRadiansToDegrees;
                s.ProjectionType = static_cast<int16_t>(optProjection);
                SetSolverScale();
                s.CatalogExpansion = 0.1;
                stage_ = SolveStage::Find2;
                s.FindImageStars();
                break;
            }
            case SolveStage::Find2:
                AppendStatus(
                    QStringLiteral("Step 1a: Found %1 objects in image").arg(s.ImageStars().Count));
                stage_ = SolveStage::Catalog2;
                s.FindCatalogStars();
                break;
            case SolveStage::Catalog2:
                AppendStatus(QStringLiteral("Step 2a: Found %1 catalog stars in area")
                                 .arg(s.CatalogStars().Count));
                stage_ = SolveStage::Solve2;
                s.Solve();
                break;
            case SolveStage::Solve2:
                AppendStatus(QStringLiteral("Step 3a: Found %1 matching stars in image")
                                 .arg(s.MatchedStars().Count));
                s.UpdateFITS();
                try {
                    s.DetachFITS();
                } catch (const ComError& e) {
                    HaltSolve(e);
                    return;
                }
                solvedRA_ = s.RightAscension * kHoursToRadians;
                solvedDec_ = s.Declination * kDegreesToRadians;
                FinishSolve();
                break;
            case SolveStage::None:
                break;
        }
    } catch (const ComError& e) {
        SolveFailed(e, true);
    }
}

void AutoCalibration::FinishSolve() {
    hub::Hub& hub = program_.hub();
    hub.UpdateSiderealTime();
    const QString name = UtcObservationName(EngineUtcNow(hub.engine()));
    double ra = 0, dec = 0;
    hub::Check(hub.engine()->J2kToApparent(solvedRA_, solvedDec_, &ra, &dec), "J2kToApparent");
    if (std::abs(solveScopeDec_) > units::kHalfPi - kPoleExclusionRad) {
        AppendStatus(QStringLiteral("Too close to the pole: observation not added"));
        program_.ui().Log(
            QStringLiteral("Automatic calibration: the image at the pole is not "
                           "added to the calibration."));
    } else {
        store_.Add2Cal(ra, dec, solveScopeRA_, solveScopeDec_, solveLst_, name, solveInverted_,
                       true);
        AppendStatus(QStringLiteral("Observation Added"));
    }
    solving_ = false;
    stage_ = SolveStage::None;
    if (PointTiming* t = TimingOf(solvePoint_)) {
        t->solve2 = solveTimer_.nsecsElapsed() * 1e-9;
        t->solved = true;
    }
    UpdateTimeLeft();
    emit changed();
}

void AutoCalibration::UpdateTimeLeft() {
    if (timings_.size() < 2 || patternDone_) {
        if (patternDone_) lblTimeLeft.clear();
        return;
    }
    // Points still to come that pass the tests now, at the pace so far.
    int left = 0;
    double ra = 0, dec = 0;
    for (int p = pointIndex_ + step_; p <= kGridPoints; p += step_)
        if (Accepted(grid_[size_t(p - 1)], ra, dec)) ++left;
    left += int(retryQueue_.size());
    double perPoint = 0;
    for (const PointTiming& t : timings_)
        perPoint += std::max(t.slew, t.solve1 + t.solve2) + t.exposure + t.download +
                    program_.settings().SlewPause;
    perPoint /= double(timings_.size());
    const int seconds = int(std::lround(left * perPoint));
    lblTimeLeft = seconds >= 120 ? QStringLiteral("About %1 min left").arg((seconds + 30) / 60)
                                 : QStringLiteral("About %1 s left").arg(seconds);
}

}  // namespace celaris::calibration
