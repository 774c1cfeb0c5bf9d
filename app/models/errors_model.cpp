#include "errors_model.h"

#include <cmath>

#include "celaris/ascom/sexagesimal.h"
#include "main_model.h"

namespace celaris::models {

ErrorsModel::ErrorsModel(hub::Program& program, QObject* parent)
    : QObject(parent), program_(program) {
    program_.SetModelTermsUpdate([this] { Update(); });
}

ErrorsModel::~ErrorsModel() {
    program_.SetModelTermsUpdate({});
}

void ErrorsModel::SetStore(calibration::CalibrationStore* store) {
    if (store_) disconnect(store_, nullptr, this, nullptr);
    store_ = store;
    if (store_) {
        // A refit changes the figures; so do removals and changed use flags
        // that leave the last fit behind.
        connect(store_, &calibration::CalibrationStore::termsChanged, this, [this] {
            RefreshFigures();
            emit changed();
        });
        connect(store_, &calibration::CalibrationStore::observationsChanged, this, [this] {
            RefreshFigures();
            emit changed();
        });
    }
    RefreshFigures();
    emit changed();
}

QString ErrorsModel::FormatStdError(double radians) {
    if (!std::isfinite(radians)) return QStringLiteral("± ∞");
    return QStringLiteral("± %1\"").arg(radians * calibration::kRadiansToArcsec, 0, 'f', 1);
}

void ErrorsModel::RefreshFigures() {
    for (auto& l : lblStdError) l.clear();
    lblFitUsed.clear();
    lblFitRMS.clear();
    lblFitPSD.clear();
    lblFitEastWest.clear();
    lblFitWarnings.clear();
    if (!store_) return;
    const auto& st = store_->statistics();
    if (!st.valid) {
        lblFitWarnings = QStringLiteral("No fit on the current observations.");
        return;
    }
    // The labels' terms in the engine's order; the mount flexure is the
    // German or the fork term.
    const int terms[8] = {0, 1, 2, 3, 4, 5, 6, program_.settings().IsGerman ? 8 : 7};
    for (int i = 0; i < 8; ++i)
        if (st.terms[terms[i]].fitted)
            lblStdError[i] = FormatStdError(st.terms[terms[i]].standardError);
    const auto arcsec = [](double radians) {
        return QStringLiteral("%1\"").arg(radians * calibration::kRadiansToArcsec, 0, 'f', 1);
    };
    lblFitUsed = QStringLiteral("%1 of %2").arg(st.used).arg(store_->ObservationCount());
    lblFitRMS = arcsec(st.rms);
    lblFitPSD = st.used > st.fittedTerms ? arcsec(st.psd) : QStringLiteral("–");
    const auto side = [&](double rms, int n) {
        return n > 0 ? QStringLiteral("%1 (%2)").arg(arcsec(rms)).arg(n) : QStringLiteral("–");
    };
    lblFitEastWest =
        side(st.rmsEast, st.usedEast) + QStringLiteral(" / ") + side(st.rmsWest, st.usedWest);
    lblFitWarnings = st.warnings.join(QLatin1Char('\n'));
}

QString ErrorsModel::FormatTerm(double radians) {
    return ascom::DegreesToDMS(radians * hub::kRadiansToDegrees, QStringLiteral("º"),
                               QStringLiteral("'"), QStringLiteral("\""), 0);
}

void ErrorsModel::Update() {
    const auto& s = program_.settings();
    lblHourOffset = FormatTerm(s.HourOffsetRad);
    lblDecOffset = FormatTerm(s.DecOffsetRad);
    lblCollimation = FormatTerm(s.CollimationRad);
    lblAxisNonPerp = FormatTerm(s.AxisNonPerpRad);
    lblPolarLR = FormatTerm(s.PolarLRRad);
    lblPolarVert = FormatTerm(s.PolarVertRad);
    lblTubeFlex = FormatTerm(s.TubeFlexRad);
    lblMountFlex = FormatTerm(s.IsGerman ? s.DecFlexRad : s.ForkFlexRad);
    if (main_) {
        main_->controls().cmbInvertedEnabled = s.IsGerman;
        emit main_->changed();
    }
    hub::PutModelTerms(program_.hub().engine(), s);
    RefreshFigures();
    emit changed();
}

}  // namespace celaris::models
