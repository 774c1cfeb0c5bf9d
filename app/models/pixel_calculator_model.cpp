#include "pixel_calculator_model.h"

#include <cmath>

#include "celaris/profile/settings.h"

namespace celaris::models {

namespace {

using calibration::AutoCalibration;

dispatch::ComError NotANumber(const QString& what) {
    return dispatch::ComError(static_cast<int32_t>(0x800A000D), QStringLiteral("Auto Calibration"),
                              QStringLiteral("Type mismatch: \"%1\" is not a number.").arg(what));
}

double Number(const QString& box) {
    bool ok = false;
    const double v = box.trimmed().toDouble(&ok);
    if (!ok) throw NotANumber(box);
    return v;
}

QString Text(double v) {
    return QString::number(v, 'g', 15);
}

}  // namespace

PixelCalculatorModel::PixelCalculatorModel(hub::Program& program, AutoCalibration& run,
                                           QObject* parent)
    : QObject(parent), program_(program), run_(run) {}

void PixelCalculatorModel::Load() {
    profile::Settings& s = program_.settings();
    profile::ReadPixelCalculatorSettings(program_.profile(), s);
    txtSizeX = Text(s.PixSizeX);
    txtSizeY = Text(s.PixSizeY);
    txtFocalLength = Text(s.FocalLength);
    Calculate();
    emit changed();
}

void PixelCalculatorModel::Calculate() {
    try {
        const double f = Number(txtFocalLength);
        if (f == 0) throw NotANumber(txtFocalLength);
        const double x = AutoCalibration::PixelScale(Number(txtSizeX), f);
        const double y = AutoCalibration::PixelScale(Number(txtSizeY), f);
        lblAPPX = AutoCalibration::ScaleText(x);
        lblAPPY = AutoCalibration::ScaleText(y);
        emit changed();
        run_.SetResolutionText(Text((x + y) / 2));
    } catch (const dispatch::ComError& e) {
        program_.ui().ShowError(e);
    }
}

void PixelCalculatorModel::GetSizes() {
    try {
        if (!run_.camera())
            throw dispatch::ComError(static_cast<int32_t>(0x80040402), QStringLiteral("LumacamCCD"),
                                     QStringLiteral("Failed to Link to Camera"));
        txtSizeX = Text(run_.camera()->PixelSizeX());
        txtSizeY = Text(run_.camera()->PixelSizeY());
        emit changed();
    } catch (const dispatch::ComError& e) {
        program_.ui().ShowError(e);
    }
}

void PixelCalculatorModel::CloseAndKeep() {
    profile::Settings& s = program_.settings();
    try {
        // All three parsed before any is kept: a bad box changes nothing.
        const double x = Number(txtSizeX);
        const double y = Number(txtSizeY);
        const double f = Number(txtFocalLength);
        s.PixSizeX = x;
        s.PixSizeY = y;
        s.FocalLength = f;
        profile::WritePixelCalculatorSettings(program_.profile(), s);
    } catch (const std::exception&) {
    }
}

void PixelCalculatorModel::Unload() {
    profile::Settings& s = program_.settings();
    try {
        const double x = Number(txtSizeX);
        const double y = Number(txtSizeY);
        s.PixSizeX = x;
        s.PixSizeY = y;
        // A resolution of 0 (or not a number) gives no focal length: the
        // stored one stays rather than become infinite.
        const double focal = s.PixSizeX * 206.25 / run_.resolution();
        if (std::isfinite(focal) && focal > 0) s.FocalLength = focal;
        profile::WritePixelCalculatorSettings(program_.profile(), s);
    } catch (const std::exception&) {
    }
}

}  // namespace celaris::models
