#include "errors_model.h"

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
    emit changed();
}

}  // namespace celaris::models
