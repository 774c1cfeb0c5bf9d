#include "celaris/profile/settings.h"

#include <cmath>
#include <initializer_list>
#include <variant>

#include "celaris/profile/value_text.h"
#include "celaris/units/angles.h"

namespace celaris::profile {

namespace {

// How a field is kept in memory against how it is stored.
enum class Unit {
    AsStored,
    // Stored in arc seconds, held in radians.
    ArcSeconds,
};

using Member = std::variant<QString Settings::*, bool Settings::*, double Settings::*,
                            int16_t Settings::*, int32_t Settings::*>;

// One stored value: its name, its sub-key and the field that holds it. The
// default is the field's initial value in Settings.
struct Value {
    const char* name;
    const char* subKey;  // nullptr = the root
    Member member;
    Unit unit = Unit::AsStored;
};

const Settings& Defaults() {
    static const Settings defaults;
    return defaults;
}

QString SubKeyOf(const Value& v) {
    return v.subKey == nullptr ? QString() : QString::fromLatin1(v.subKey);
}

QString Read(const Profile& p, const QString& name, const QString& subKey) {
    return p.GetValue(QString::fromLatin1(kHubDriverId), name, subKey);
}

void Write(Profile& p, const QString& name, const QString& text, const QString& subKey) {
    p.WriteValue(QString::fromLatin1(kHubDriverId), name, text, subKey);
}

// Arc seconds <-> radians with the exact constant, so that 60" is held as
// 2.908882086657216e-4 and written back as "60". Twelve significant digits
// are kept on writing: the round trip through radians would otherwise add
// noise in the last digit.
double ArcSecondsToRadians(double arcSeconds) {
    return arcSeconds * units::kPi / 180.0 / 3600.0;
}
QString RadiansAsArcSecondsText(double radians) {
    const double arcSeconds = radians * 180.0 / units::kPi * 3600.0;
    const auto tidy = ParseDouble(QString::number(arcSeconds, 'g', 12));
    return DoubleText(tidy ? *tidy : arcSeconds);
}

void ReadValue(const Profile& p, const Value& v, Settings& s) {
    const QString text = Read(p, QString::fromLatin1(v.name), SubKeyOf(v));
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(s.*member)>;
            const T& fallback = Defaults().*member;
            if constexpr (std::is_same_v<T, QString>) {
                s.*member = text.isEmpty() ? fallback : text;
            } else if constexpr (std::is_same_v<T, bool>) {
                s.*member = ParseBool(text).value_or(fallback);
            } else if constexpr (std::is_same_v<T, double>) {
                const auto d = ParseDouble(text);
                if (!d)
                    s.*member = fallback;
                else
                    s.*member = v.unit == Unit::ArcSeconds ? ArcSecondsToRadians(*d) : *d;
            } else if constexpr (std::is_same_v<T, int16_t>) {
                s.*member = ParseInt16(text).value_or(fallback);
            } else {
                s.*member = ParseInt32(text).value_or(fallback);
            }
        },
        v.member);
}

void WriteValue(Profile& p, const Value& v, const Settings& s) {
    QString text = std::visit(
        [&](auto member) -> QString {
            using T = std::remove_cvref_t<decltype(s.*member)>;
            if constexpr (std::is_same_v<T, QString>) {
                return s.*member;
            } else if constexpr (std::is_same_v<T, bool>) {
                return BoolText(s.*member);
            } else if constexpr (std::is_same_v<T, double>) {
                return v.unit == Unit::ArcSeconds ? RadiansAsArcSecondsText(s.*member)
                                                  : DoubleText(s.*member);
            } else {
                return IntText(s.*member);
            }
        },
        v.member);
    Write(p, QString::fromLatin1(v.name), text, SubKeyOf(v));
}

// Every stored value, once.
#define CELARIS_ROOT(field)               \
    Value {                               \
#field, nullptr, &Settings::field \
    }
#define CELARIS_IN(key, field)        \
    Value {                           \
#field, key, &Settings::field \
    }
// A field in radians, stored under its name without the "Rad" suffix.
#define CELARIS_ROOT_RAD(name)               \
    Value {                                  \
#name, nullptr, &Settings::name##Rad \
    }

const Value kScope = CELARIS_ROOT(Scope);
const Value kIsGerman = CELARIS_ROOT(IsGerman);
const Value kJ2000 = CELARIS_ROOT(J2000);
const Value kAntiBacklash = CELARIS_ROOT(AntiBacklash);
const Value kEnforceLimits = CELARIS_ROOT(EnforceLimits);
const Value kLatitude = CELARIS_ROOT(Latitude);
const Value kLongitude = CELARIS_ROOT(Longitude);
const Value kPressure = CELARIS_ROOT(Pressure);
const Value kTemperature = CELARIS_ROOT(Temperature);
const Value kFlipLimitE = CELARIS_ROOT_RAD(FlipLimitE);
const Value kFlipLimitW = CELARIS_ROOT_RAD(FlipLimitW);
const Value kDecLimit = CELARIS_ROOT_RAD(DecLimit);
const Value kAltLimit = CELARIS_ROOT_RAD(AltLimit);
const Value kSlewPause = CELARIS_ROOT(SlewPause);
const Value kBacklash{"Backlash", nullptr, &Settings::BacklashRad, Unit::ArcSeconds};
const Value kFirstSlewPause = CELARIS_ROOT(FirstSlewPause);
const Value kPollInterval = CELARIS_ROOT(PollInterval);
const Value kPierSideModel = CELARIS_ROOT(PierSideModel);

const Value kModelTerms[] = {
    CELARIS_ROOT_RAD(HourOffset),  CELARIS_ROOT_RAD(DecOffset), CELARIS_ROOT_RAD(Collimation),
    CELARIS_ROOT_RAD(AxisNonPerp), CELARIS_ROOT_RAD(PolarLR),   CELARIS_ROOT_RAD(PolarVert),
    CELARIS_ROOT_RAD(TubeFlex),    CELARIS_ROOT_RAD(ForkFlex),  CELARIS_ROOT_RAD(DecFlex),
};
const Value kOnTop = CELARIS_ROOT(OnTop);

// The places and sizes that LoadSettings reads and SaveSettings writes.
const Value kMainWindowForms[] = {
    CELARIS_IN(kFormPositionsKey, PosMainX),       CELARIS_IN(kFormPositionsKey, PosMainY),
    CELARIS_IN(kFormPositionsKey, PosErrorsX),     CELARIS_IN(kFormPositionsKey, PosErrorsY),
    CELARIS_IN(kFormPositionsKey, PosObsX),        CELARIS_IN(kFormPositionsKey, PosObsY),
    CELARIS_IN(kFormPositionsKey, PosPlotX),       CELARIS_IN(kFormPositionsKey, PosPlotY),
    CELARIS_IN(kFormPositionsKey, PosMapX),        CELARIS_IN(kFormPositionsKey, PosMapY),
    CELARIS_IN(kFormPositionsKey, PosAlignPolarX), CELARIS_IN(kFormPositionsKey, PosAlignPolarY),
    CELARIS_IN(kFormPositionsKey, MapWidth),       CELARIS_IN(kFormPositionsKey, MapHeight),
    CELARIS_IN(kFormPositionsKey, ObsWidth),       CELARIS_IN(kFormPositionsKey, ObsHeight),
    CELARIS_IN(kFormPositionsKey, PlotWidth),      CELARIS_IN(kFormPositionsKey, PlotHeight),
};
const Value kPosSetup[] = {CELARIS_IN(kFormPositionsKey, PosSetupX),
                           CELARIS_IN(kFormPositionsKey, PosSetupY)};
const Value kPosHoriz[] = {CELARIS_IN(kFormPositionsKey, PosHorizX),
                           CELARIS_IN(kFormPositionsKey, PosHorizY)};
const Value kPosStarfixCal[] = {CELARIS_IN(kFormPositionsKey, PosStarfixCalX),
                                CELARIS_IN(kFormPositionsKey, PosStarfixCalY)};

const Value kCatPath = CELARIS_IN(kStarfixKey, CatPath);
const Value kCatType = CELARIS_IN(kStarfixKey, CatType);
const Value kProjection = CELARIS_IN(kStarfixKey, Projection);
const Value kSigma = CELARIS_IN(kStarfixKey, Sigma);
const Value kMinBright = CELARIS_IN(kStarfixKey, MinBright);
const Value kMinStar = CELARIS_IN(kStarfixKey, MinStar);
const Value kCatMaxMag = CELARIS_IN(kStarfixKey, CatMaxMag);
const Value kResolution = CELARIS_IN(kStarfixKey, Resolution);
const Value kCatExp = CELARIS_IN(kStarfixKey, CatExp);
const Value kMaxStars = CELARIS_IN(kStarfixKey, MaxStars);
const Value kAccuracy = CELARIS_IN(kStarfixKey, Accuracy);
const Value kMaxTime = CELARIS_IN(kStarfixKey, MaxTime);
const Value kPixelCalculator[] = {CELARIS_IN(kStarfixKey, PixSizeX),
                                  CELARIS_IN(kStarfixKey, PixSizeY),
                                  CELARIS_IN(kStarfixKey, FocalLength)};
const Value kExposure = CELARIS_IN(kLumacamKey, Exposure);
const Value kBin = CELARIS_IN(kLumacamKey, Bin);
const Value kFilter = CELARIS_IN(kLumacamKey, Filter);
const Value kCamera = CELARIS_IN(kLumacamKey, Camera);

#undef CELARIS_ROOT
#undef CELARIS_IN
#undef CELARIS_ROOT_RAD

template <typename Values>
void ReadAll(const Profile& p, const Values& values, Settings& s) {
    for (const Value& v : values) ReadValue(p, v, s);
}
template <typename Values>
void WriteAll(Profile& p, const Values& values, const Settings& s) {
    for (const Value& v : values) WriteValue(p, v, s);
}
using List = std::initializer_list<Value>;

void ReadHorizon(const Profile& p, Settings& s) {
    for (int k = 0; k < kHorizonPoints; ++k) {
        const auto d = ParseDouble(Read(p, HorizonValueName(k), QString::fromLatin1(kHorizonKey)));
        s.HorizonRad[size_t(k)] = d.value_or(Defaults().HorizonRad[size_t(k)]);
    }
}
void WriteHorizon(Profile& p, const Settings& s) {
    for (int k = 0; k < kHorizonPoints; ++k)
        Write(p, HorizonValueName(k), DoubleText(s.HorizonRad[size_t(k)]),
              QString::fromLatin1(kHorizonKey));
}

// Creating a sub-key before reading it writes the file; reading must not
// fail when that write does, and the sub-key exists in memory regardless.
void CreateSubKeyForReading(Profile& p, const char* subKey) {
    try {
        p.CreateSubKey(QString::fromLatin1(kHubDriverId), QString::fromLatin1(subKey));
    } catch (const std::exception&) {
    }
}

template <typename Int>
void KeepInRange(Int& value, int low, int high, Int fallback) {
    if (value < low || value > high) value = fallback;
}

}  // namespace

QString HorizonValueName(int index) {
    return QStringLiteral("Horizon%1").arg(index, 2, 10, QLatin1Char('0'));
}

int16_t PollTicks(double pollIntervalSeconds) {
    if (std::isnan(pollIntervalSeconds)) return 5;
    const double ticks = RoundHalfEven(pollIntervalSeconds * 5.0);
    if (ticks <= 0.0) return 0;
    if (ticks >= 32767.0) return 32767;
    return static_cast<int16_t>(ticks);
}

void RegisterHub(Profile& profile) {
    profile.SetDeviceType(QString::fromLatin1(kDeviceType));
    profile.Register(QString::fromLatin1(kHubDriverId), QString::fromLatin1(kHubDescription));
}

void LoadSettings(Profile& profile, Settings& settings) {
    ReadAll(profile, kModelTerms, settings);
    CreateSubKeyForReading(profile, kFormPositionsKey);
    ReadAll(profile, kMainWindowForms, settings);
    ReadValue(profile, kOnTop, settings);
}

void SaveSettings(Profile& profile, const Settings& settings) {
    profile.Batch([&] {
        WriteAll(profile, kModelTerms, settings);
        WriteValue(profile, kOnTop, settings);
        WriteHorizon(profile, settings);
        WriteAll(profile, kMainWindowForms, settings);
    });
}

void WriteModelTerms(Profile& profile, const Settings& settings) {
    profile.Batch([&] { WriteAll(profile, kModelTerms, settings); });
}

void ReadSetupSettings(Profile& profile, Settings& settings) {
    ReadAll(profile,
            List{kScope, kIsGerman, kJ2000, kAntiBacklash, kEnforceLimits, kLatitude, kLongitude,
                 kPressure, kTemperature, kFlipLimitE, kFlipLimitW, kDecLimit, kAltLimit,
                 kSlewPause, kBacklash, kFirstSlewPause, kPollInterval, kPierSideModel},
            settings);
    ReadAll(profile, kPosSetup, settings);
}

void WriteSetupSettings(Profile& profile, const Settings& settings) {
    profile.Batch([&] {
        WriteAll(profile,
                 List{kIsGerman, kPierSideModel, kJ2000, kAntiBacklash, kEnforceLimits, kBacklash,
                      kPollInterval, kSlewPause, kFirstSlewPause},
                 settings);
        WriteHorizon(profile, settings);
        WriteAll(profile,
                 List{kLatitude, kLongitude, kPressure, kTemperature, kFlipLimitE, kFlipLimitW,
                      kDecLimit, kAltLimit},
                 settings);
        WriteAll(profile, kPosSetup, settings);
    });
}

void WriteScope(Profile& profile, const QString& progId) {
    Write(profile, QString::fromLatin1(kScope.name), progId, QString());
}

void ReadHorizonSettings(Profile& profile, Settings& settings) {
    CreateSubKeyForReading(profile, kFormPositionsKey);
    ReadAll(profile, kPosHoriz, settings);
    CreateSubKeyForReading(profile, kHorizonKey);
    ReadHorizon(profile, settings);
}

void WriteHorizonSettings(Profile& profile, const Settings& settings) {
    profile.Batch([&] {
        WriteHorizon(profile, settings);
        WriteAll(profile, kPosHoriz, settings);
    });
}

void ReadAutoCalSettings(Profile& profile, Settings& settings) {
    ReadAll(
        profile,
        List{kCatPath, kCatType, kProjection, kSigma, kMinBright, kMinStar, kCatMaxMag, kResolution,
             kCatExp, kMaxStars, kAccuracy, kMaxTime, kExposure, kBin, kFilter, kCamera},
        settings);
    ReadAll(profile, kPosStarfixCal, settings);
    // The option groups and the accuracy list have no entry beyond these.
    KeepInRange(settings.CatType, 0, 5, int16_t(3));
    KeepInRange(settings.Projection, 0, 6, int16_t(1));
    KeepInRange(settings.Accuracy, 0, 4, Defaults().Accuracy);
}

void WriteAutoCalSettings(Profile& profile, const Settings& settings) {
    profile.Batch([&] {
        WriteAll(profile,
                 List{kCatPath, kCatType, kProjection, kSigma, kMinBright, kMinStar, kCatMaxMag,
                      kResolution, kCatExp, kMaxStars, kAccuracy, kMaxTime, kExposure, kFilter,
                      kBin, kCamera},
                 settings);
        WriteAll(profile, kPosStarfixCal, settings);
    });
}

void ReadPixelCalculatorSettings(Profile& profile, Settings& settings) {
    ReadAll(profile, kPixelCalculator, settings);
}

void WritePixelCalculatorSettings(Profile& profile, const Settings& settings) {
    profile.Batch([&] { WriteAll(profile, kPixelCalculator, settings); });
}

Settings ReadAllSettings(Profile& profile) {
    Settings s;
    ReadSetupSettings(profile, s);
    ReadHorizonSettings(profile, s);
    LoadSettings(profile, s);
    ReadAutoCalSettings(profile, s);
    ReadPixelCalculatorSettings(profile, s);
    return s;
}

void WriteAllSettings(Profile& profile, const Settings& settings) {
    profile.Batch([&] {
        WriteScope(profile, settings.Scope);
        WriteSetupSettings(profile, settings);
        WriteHorizonSettings(profile, settings);
        SaveSettings(profile, settings);
        WriteAutoCalSettings(profile, settings);
        WritePixelCalculatorSettings(profile, settings);
    });
}

}  // namespace celaris::profile
