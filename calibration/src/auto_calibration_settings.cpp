// The window's boxes and the settings behind them: loading and saving,
// the boxes read as numbers, and the settings by name for the HTTP
// interface.
#include "celaris/calibration/auto_calibration.h"

#include <cmath>

#include "auto_calibration_boxes.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"

namespace celaris::calibration {

using dispatch::ComError;

namespace {

constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x800A000D);

}  // namespace

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

void AutoCalibration::SetResolutionText(const QString& text) {
    txtResolution = text;
    emit changed();
}

void AutoCalibration::SetCatalogPath(const QString& path) {
    txtCatPath = path;
    program_.settings().CatPath = path;
    emit changed();
}

}  // namespace celaris::calibration
