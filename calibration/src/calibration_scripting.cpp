#include "celaris/calibration/calibration_scripting.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QVariantMap>

#include "celaris/calibration/calibration_store.h"
#include "celaris/calibration/documents_folder.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/errors.h"
#include "celaris/hub/program.h"
#include "celaris/profile/value_text.h"
#include "celaris/units/angles.h"

namespace celaris::calibration {

using dispatch::ComError;
using units::kDegreesToRadians;
using units::kHoursToRadians;
using units::kRadiansToDegrees;
using units::kRadiansToHours;

namespace {

// Automation's own numbers for a late-bound call that does not fit.
constexpr int32_t kMemberNotFound = static_cast<int32_t>(0x80020003);
constexpr int32_t kParamNotOptional = static_cast<int32_t>(0x8002000F);

QString Source() {
    return QString::fromLatin1(dispatch::kScriptingSource);
}

template <typename Fn>
decltype(auto) Guard(Fn&& fn) {
    return dispatch::PassThrough(Source(), std::forward<Fn>(fn));
}

[[noreturn]] void RefusePath(const QString& name) {
    dispatch::Raise(ascom_error::kInvalidValue, Source(),
                    QStringLiteral("Over the network, OpenFile and SaveFile take only file names "
                                   "inside the Celaris documents folder, such as \"night1.clb\" "
                                   "or \"2024/night1.clb\"; \"%1\" is not one.")
                        .arg(name.left(200)));
}

// One record's member, after the index check.
template <typename Fn>
auto OnRecord(CalibrationStore& store, int32_t index, Fn fn) {
    return Guard([&] {
        if (!store.ValidIndex(index)) throw dispatch::ErrIndexBounds();
        return fn(store.at(index));
    });
}

bool Inside(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

}  // namespace

QString ResolveScriptPath(const QString& name, const QString& documentsFolder, FileAccess access) {
    if (name.trimmed().isEmpty())
        dispatch::Raise(ascom_error::kInvalidValue, Source(),
                        QStringLiteral("No file name given."));
    const QString folder = QDir::cleanPath(documentsFolder);
    if (access == FileAccess::Any)
        return QDir::isAbsolutePath(name) ? name
                                          : QDir::cleanPath(folder + QLatin1Char('/') + name);

    if (QDir::isAbsolutePath(name) || name.contains(QChar(0)) ||
        name.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        RefusePath(name);
    const QString path = QDir::cleanPath(folder + QLatin1Char('/') + name);
    if (!Inside(path, folder) || path == folder) RefusePath(name);
    // A link inside the folder must not lead out of it: the deepest part of
    // the path that exists has to resolve inside.
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    QString existing = path;
    while (!QFileInfo::exists(existing) && Inside(existing, folder) && existing != folder)
        existing = QFileInfo(existing).path();
    if (!realFolder.isEmpty() && !Inside(QFileInfo(existing).canonicalFilePath(), realFolder))
        RefusePath(name);
    return path;
}

QString ScriptTypeName(ScriptType type) {
    switch (type) {
        case ScriptType::Void:
            return QString();
        case ScriptType::Bool:
            return QStringLiteral("Boolean");
        case ScriptType::Long:
            return QStringLiteral("Long");
        case ScriptType::Double:
            return QStringLiteral("Double");
        case ScriptType::String:
            return QStringLiteral("String");
        case ScriptType::CalibrationMode:
            return QStringLiteral("CalibrationMode");
        case ScriptType::CelarisPierSide:
            return QStringLiteral("CelarisPierSide");
        case ScriptType::Epoch:
            return QStringLiteral("Epoch");
        case ScriptType::TruePosition:
            return QStringLiteral("RightAscension, Declination");
        case ScriptType::ScopePosition:
            return QStringLiteral("RightAscensionScope, DeclinationScope");
    }
    return QString();
}

bool IsWholeNumber(ScriptType type) {
    return type == ScriptType::Long || type == ScriptType::CalibrationMode ||
           type == ScriptType::CelarisPierSide || type == ScriptType::Epoch;
}

// ---- The members -----------------------------------------------------------

Calibration::Calibration(CalibrationStore& store, FileAccess files)
    : store_(store), files_(files) {}

void Calibration::CheckIndex(int32_t index) const {
    if (!store_.ValidIndex(index)) throw dispatch::ErrIndexBounds();
}

bool Calibration::LockTarget() {
    return Guard([&] { return store_.Locked(); });
}

void Calibration::SetLockTarget(bool lock) {
    Guard([&] { store_.SetLock(lock); });
}

int32_t Calibration::NumObservations() {
    return store_.ObservationCount();
}

void Calibration::AddObservation(double raTrue, double decTrue, double raScope, double decScope,
                                 double lst, const QString& name, bool westOfPier, bool use) {
    Guard([&] {
        const QString named =
            name.isEmpty() ? QLocale::system().toString(store_.Now().date(), QLocale::ShortFormat)
                           : name;
        store_.Add2Cal(raTrue * kHoursToRadians, decTrue * kDegreesToRadians,
                       raScope * kHoursToRadians, decScope * kDegreesToRadians,
                       lst * kHoursToRadians, named, westOfPier, use);
        store_.UpdateObservationList();
    });
}

void Calibration::RemoveObservation(int32_t index) {
    Guard([&] {
        CheckIndex(index);
        store_.RemoveObservation(index);
    });
}

CalibrationMode Calibration::CalibrationType() {
    return store_.controls().calibrationType;
}

void Calibration::SetCalibrationType(int32_t mode) {
    Guard([&] { store_.SelectCalibrationType(mode); });
}

void Calibration::StartNewCalibration() {
    Guard([&] { store_.StartCalibration(); });
}

void Calibration::StopCalibration() {
    Guard([&] { store_.StopCalibration(); });
}

void Calibration::OpenFile(const QString& name) {
    Guard([&] { store_.OpenObsFile(ResolveScriptPath(name, DocumentsFolder(), files_)); });
}

void Calibration::SaveFile(const QString& name) {
    Guard([&] { store_.SaveObsFile(ResolveScriptPath(name, DocumentsFolder(), files_)); });
}

bool Calibration::ApplyCorrections() {
    return store_.controls().CorrectionsOn;
}

void Calibration::SetApplyCorrections(bool apply) {
    Guard([&] { store_.ApplyCorr(apply); });
}

void Calibration::CalculatePointingErrors() {
    Guard([&] { store_.Recalculate(); });
}

double Calibration::RAResidual(int32_t index) {
    return OnRecord(store_, index,
                    [](const Observation& o) { return o.RAResidual * kRadiansToArcsec; });
}
double Calibration::DecResidual(int32_t index) {
    return OnRecord(store_, index,
                    [](const Observation& o) { return o.DecResidual * kRadiansToArcsec; });
}
double Calibration::RATrue(int32_t index) {
    return OnRecord(store_, index, [](const Observation& o) { return o.RATrue * kRadiansToHours; });
}
void Calibration::SetRATrue(int32_t index, double hours) {
    OnRecord(store_, index, [&](Observation& o) { o.RATrue = hours * kHoursToRadians; });
}
double Calibration::DecTrue(int32_t index) {
    return OnRecord(store_, index,
                    [](const Observation& o) { return o.DecTrue * kRadiansToDegrees; });
}
void Calibration::SetDecTrue(int32_t index, double degrees) {
    OnRecord(store_, index, [&](Observation& o) { o.DecTrue = degrees * kDegreesToRadians; });
}
double Calibration::RAScope(int32_t index) {
    return OnRecord(store_, index,
                    [](const Observation& o) { return o.RAScope * kRadiansToHours; });
}
void Calibration::SetRAScope(int32_t index, double hours) {
    OnRecord(store_, index, [&](Observation& o) { o.RAScope = hours * kHoursToRadians; });
}
double Calibration::DecScope(int32_t index) {
    return OnRecord(store_, index,
                    [](const Observation& o) { return o.DecScope * kRadiansToDegrees; });
}
void Calibration::SetDecScope(int32_t index, double degrees) {
    OnRecord(store_, index, [&](Observation& o) { o.DecScope = degrees * kDegreesToRadians; });
}
QString Calibration::ObservationName(int32_t index) {
    return OnRecord(store_, index, [](const Observation& o) { return o.Name; });
}
void Calibration::SetObservationName(int32_t index, const QString& name) {
    OnRecord(store_, index, [&](Observation& o) { o.Name = name; });
}
bool Calibration::UseObservation(int32_t index) {
    return OnRecord(store_, index, [](const Observation& o) { return o.Use; });
}
void Calibration::SetUseObservation(int32_t index, bool use) {
    OnRecord(store_, index, [&](Observation& o) { o.Use = use; });
}
bool Calibration::WestOfPier(int32_t index) {
    return OnRecord(store_, index, [](const Observation& o) { return o.IsWestOfPier(); });
}
void Calibration::SetWestOfPier(int32_t index, bool west) {
    OnRecord(store_, index, [&](Observation& o) { o.WestOfPier = WestOfPierValue(west); });
}

double Calibration::SiteLongitude() {
    return store_.program().settings().Longitude;
}
void Calibration::SetSiteLongitude(double degrees) {
    store_.program().settings().Longitude = degrees;
}
double Calibration::SiteLatitude() {
    return store_.program().settings().Latitude;
}
void Calibration::SetSiteLatitude(double degrees) {
    store_.program().settings().Latitude = degrees;
}
double Calibration::Pressure() {
    return store_.program().settings().Pressure;
}
void Calibration::SetPressure(double kPa) {
    store_.program().settings().Pressure = kPa;
}
double Calibration::Temperature() {
    return store_.program().settings().Temperature;
}
void Calibration::SetTemperature(double celsius) {
    store_.program().settings().Temperature = celsius;
}

double Calibration::ErrHABias() {
    return store_.Terms()[0] * kRadiansToArcsec;
}
double Calibration::ErrDecBias() {
    return store_.Terms()[1] * kRadiansToArcsec;
}
double Calibration::ErrCollimation() {
    return store_.Terms()[2] * kRadiansToArcsec;
}
double Calibration::ErrAxisMisalignment() {
    return store_.Terms()[3] * kRadiansToArcsec;
}
double Calibration::ErrPolarAz() {
    return store_.Terms()[4] * kRadiansToArcsec;
}
double Calibration::ErrPolarAlt() {
    return store_.Terms()[5] * kRadiansToArcsec;
}
double Calibration::ErrTubeDroop() {
    return store_.Terms()[6] * kRadiansToArcsec;
}
double Calibration::ErrMountFlex() {
    // ForkFlex and DecFlex are the last two terms.
    return store_.Terms()[store_.program().settings().IsGerman ? 8 : 7] * kRadiansToArcsec;
}

CelarisPierSide Calibration::SideOfPier() {
    if (!store_.program().settings().IsGerman) return CelarisPierSide::psForkMount;
    return store_.program().hub().state().PierInverted ? CelarisPierSide::psWest
                                                       : CelarisPierSide::psEast;
}

void Calibration::SetSideOfPier(int32_t side) {
    store_.program().hub().state().PierInverted = side == int32_t(CelarisPierSide::psWest);
}

Epoch Calibration::CalStarsEpoch() {
    return store_.program().settings().J2000 ? Epoch::epJ2000 : Epoch::epJNow;
}

void Calibration::SetCalStarsEpoch(int32_t epoch) {
    Guard([&] {
        hub::Program& program = store_.program();
        program.settings().J2000 = epoch != 0;
        // Kept at once: the setup window, which otherwise writes it, may
        // never be opened in this run.
        try {
            program.profile().WriteValue(QString::fromLatin1(profile::kHubDriverId),
                                         QStringLiteral("J2000"),
                                         profile::BoolText(program.settings().J2000));
        } catch (const ComError& e) {
            // The setting holds for this run; an unwritable store has been
            // reported once already.
            if (program.SettingsKept()) program.ui().Log(e.description());
        }
        if (reloadStars_) reloadStars_();
    });
}

double Calibration::StdDevError() {
    return calibration::StdDevError(store_.observations());
}

void Calibration::CalcCorrected(double& rightAscension, double& declination) {
    try {
        hub::Hub& hub = store_.program().hub();
        hub.UpdateSiderealTime();
        const hub::RaDec t = hub.ScopeToTrueRADec(rightAscension, declination);
        rightAscension = t.ra;
        declination = t.dec;
    } catch (...) {
        throw dispatch::ErrNoCorrection();
    }
}

void Calibration::TrueToScope(double rightAscension, double declination,
                              double& rightAscensionScope, double& declinationScope) {
    Guard([&] {
        hub::Hub& hub = store_.program().hub();
        hub.UpdateSiderealTime();
        // The pier side of the hub's own target, not of the position given.
        hub.ApplyPierSide(hub.state().TargetRA, hub.state().TargetDec);
        const hub::RaDec s = hub.TrueToScopeRADec(rightAscension, declination);
        rightAscensionScope = s.ra;
        declinationScope = s.dec;
    });
}

void Calibration::ScopeToTrue(double rightAscensionScope, double declinationScope,
                              double& rightAscension, double& declination) {
    Guard([&] {
        hub::Hub& hub = store_.program().hub();
        hub.UpdateSiderealTime();
        const hub::RaDec t = hub.ScopeToTrueRADec(rightAscensionScope, declinationScope);
        rightAscension = t.ra;
        declination = t.dec;
    });
}

// ---- Late binding ----------------------------------------------------------

QVariant Calibration::Invoke(int32_t dispId, Access access, const QVariantList& args) {
    return Guard([&] {
        const ScriptMember* m = FindCalibrationMember(dispId);
        const ScriptMember::Handler* handler = nullptr;
        if (m != nullptr) {
            if (access == Access::Get && m->get) handler = &m->get;
            if (access == Access::Put && m->put) handler = &m->put;
            if (access == Access::Call && m->call) handler = &m->call;
        }
        if (handler == nullptr)
            dispatch::Raise(kMemberNotFound, Source(),
                            m == nullptr
                                ? QStringLiteral("Calibration has no member %1.").arg(dispId)
                                : QStringLiteral("%1 cannot be reached that way.").arg(m->name));
        // Omitted optional parameters take their defaults; a put's value
        // always comes last.
        const qsizetype declared = m->params.size() + (access == Access::Put ? 1 : 0);
        if (args.size() > declared)
            dispatch::Raise(ascom_error::kBadParamCount, Source(),
                            QStringLiteral("%1 takes %2 arguments, not %3.")
                                .arg(m->name)
                                .arg(declared)
                                .arg(args.size()));
        QVariantList full = args;
        for (qsizetype i = full.size(); i < m->params.size(); ++i) {
            if (!m->params[i].optional())
                dispatch::Raise(
                    kParamNotOptional, Source(),
                    QStringLiteral("%1 needs the parameter %2.").arg(m->name, m->params[i].name));
            full.append(m->params[i].defaultValue);
        }
        if (full.size() < declared)
            dispatch::Raise(kParamNotOptional, Source(),
                            QStringLiteral("%1 needs the value to write.").arg(m->name));
        return (*handler)(*this, full);
    });
}

namespace {

// The handlers' arguments.
int32_t L(const QVariantList& a, int i) {
    return a.at(i).toInt();
}
double D(const QVariantList& a, int i) {
    return a.at(i).toDouble();
}
bool B(const QVariantList& a, int i) {
    return a.at(i).toBool();
}
QString S(const QVariantList& a, int i) {
    return a.at(i).toString();
}

QVariantMap Pair(const char* first, double a, const char* second, double b) {
    return {{QString::fromLatin1(first), a}, {QString::fromLatin1(second), b}};
}

constexpr int32_t kPropertyBase = 0x68030000;
constexpr int32_t kMethodBase = 0x60030000;

const QList<ScriptParam> kIndex = {{QStringLiteral("Index"), ScriptType::Long, {}}};

struct TableBuilder {
    QList<ScriptMember> members;
    // Properties count down from 27, methods up from 28, in table order.
    int nextProperty = 27;
    int nextMethod = 28;

    ScriptMember& Property(const char* name, ScriptType type, QList<ScriptParam> params,
                           ScriptMember::Handler get, ScriptMember::Handler put = {},
                           const char* help = "") {
        members.append({QString::fromLatin1(name),
                        put ? MemberKind::Property : MemberKind::ReadOnly,
                        kPropertyBase + nextProperty--,
                        type,
                        std::move(params),
                        QString::fromLatin1(help),
                        std::move(get),
                        std::move(put),
                        {}});
        return members.back();
    }
    ScriptMember& Method(const char* name, ScriptType result, QList<ScriptParam> params,
                         ScriptMember::Handler call, const char* help = "") {
        members.append({QString::fromLatin1(name),
                        MemberKind::Method,
                        kMethodBase + nextMethod++,
                        result,
                        std::move(params),
                        QString::fromLatin1(help),
                        {},
                        {},
                        std::move(call)});
        return members.back();
    }
    // A read-write double of one record.
    void Record(const char* name, ScriptType type, double (Calibration::*get)(int32_t),
                void (Calibration::*put)(int32_t, double)) {
        Property(
            name, type, kIndex,
            [get](Calibration& c, const QVariantList& a) { return QVariant((c.*get)(L(a, 0))); },
            [put](Calibration& c, const QVariantList& a) {
                (c.*put)(L(a, 0), D(a, 1));
                return QVariant();
            });
    }
    void Term(const char* name, double (Calibration::*get)()) {
        Property(name, ScriptType::Double, {},
                 [get](Calibration& c, const QVariantList&) { return QVariant((c.*get)()); });
    }
    void Setting(const char* name, double (Calibration::*get)(), void (Calibration::*put)(double)) {
        Property(
            name, ScriptType::Double, {},
            [get](Calibration& c, const QVariantList&) { return QVariant((c.*get)()); },
            [put](Calibration& c, const QVariantList& a) {
                (c.*put)(D(a, 0));
                return QVariant();
            });
    }
};

QList<ScriptMember> BuildTable() {
    using C = Calibration;
    using T = ScriptType;
    using A = QVariantList;
    TableBuilder t;

    t.Property(
        "LockTarget", T::Bool, {}, [](C& c, const A&) { return QVariant(c.LockTarget()); },
        [](C& c, const A& a) {
            c.SetLockTarget(B(a, 0));
            return QVariant();
        },
        "Locks the target RA and Dec");
    t.Property(
        "NumObservations", T::Long, {},
        [](C& c, const A&) { return QVariant(c.NumObservations()); }, {},
        "Read Only.  Returns the total number of observations");
    t.Method(
        "AddObservation", T::Void,
        {{QStringLiteral("RATrue"), T::Double, {}},
         {QStringLiteral("DecTrue"), T::Double, {}},
         {QStringLiteral("RAScope"), T::Double, {}},
         {QStringLiteral("DecScope"), T::Double, {}},
         {QStringLiteral("LST"), T::Double, {}},
         {QStringLiteral("Name"), T::String, QString()},
         {QStringLiteral("WestOfPier"), T::Bool, true},
         {QStringLiteral("Use"), T::Bool, true}},
        [](C& c, const A& a) {
            c.AddObservation(D(a, 0), D(a, 1), D(a, 2), D(a, 3), D(a, 4), S(a, 5), B(a, 6),
                             B(a, 7));
            return QVariant();
        },
        "Add A new Observation to the calibration. RA(Hours), LST(Hours), Dec(Degrees)");
    t.Method(
        "RemoveObservation", T::Void, kIndex,
        [](C& c, const A& a) {
            c.RemoveObservation(L(a, 0));
            return QVariant();
        },
        "Removes observation, generates error if Index out of bounds");
    t.Property(
        "CalibrationType", T::CalibrationMode, {},
        [](C& c, const A&) { return QVariant(int(c.CalibrationType())); },
        [](C& c, const A& a) {
            c.SetCalibrationType(L(a, 0));
            return QVariant();
        },
        "Returns/Sets the calibration type. 0 = Full, 1 = Perm, 2 = Port");
    t.Method(
        "StartNewCalibration", T::Void, {},
        [](C& c, const A&) {
            c.StartNewCalibration();
            return QVariant();
        },
        "Deletes all current observations and resets all correction terms.  Don't use if you "
        "wish to add to current observations");
    t.Method(
        "StopCalibration", T::Void, {},
        [](C& c, const A&) {
            c.StopCalibration();
            return QVariant();
        },
        "Stop the current calibration.  Resets various values on the forms");
    t.Method(
        "OpenFile", T::Void, {{QStringLiteral("Name"), T::String, {}}},
        [](C& c, const A& a) {
            c.OpenFile(S(a, 0));
            return QVariant();
        },
        "Open an existing calibration - a series of observations");
    t.Method(
        "SaveFile", T::Void, {{QStringLiteral("Name"), T::String, {}}},
        [](C& c, const A& a) {
            c.SaveFile(S(a, 0));
            return QVariant();
        },
        "Save the current calibration");
    t.Property(
        "ApplyCorrections", T::Bool, {},
        [](C& c, const A&) { return QVariant(c.ApplyCorrections()); },
        [](C& c, const A& a) {
            c.SetApplyCorrections(B(a, 0));
            return QVariant();
        },
        "Determines whether to apply the current correction model");
    t.Method(
        "CalculatePointingErrors", T::Void, {},
        [](C& c, const A&) {
            c.CalculatePointingErrors();
            return QVariant();
        },
        "Recalculates correction terms based on current observations");
    t.Property("RAResidual", T::Double, kIndex,
               [](C& c, const A& a) { return QVariant(c.RAResidual(L(a, 0))); });
    t.Property("DecResidual", T::Double, kIndex,
               [](C& c, const A& a) { return QVariant(c.DecResidual(L(a, 0))); });
    t.Record("RATrue", T::Double, &C::RATrue, &C::SetRATrue);
    t.Record("DecTrue", T::Double, &C::DecTrue, &C::SetDecTrue);
    t.Record("RAScope", T::Double, &C::RAScope, &C::SetRAScope);
    t.Record("DecScope", T::Double, &C::DecScope, &C::SetDecScope);
    t.Property(
        "ObservationName", T::String, kIndex,
        [](C& c, const A& a) { return QVariant(c.ObservationName(L(a, 0))); },
        [](C& c, const A& a) {
            c.SetObservationName(L(a, 0), S(a, 1));
            return QVariant();
        });
    t.Property(
        "UseObservation", T::Bool, kIndex,
        [](C& c, const A& a) { return QVariant(c.UseObservation(L(a, 0))); },
        [](C& c, const A& a) {
            c.SetUseObservation(L(a, 0), B(a, 1));
            return QVariant();
        });
    t.Property(
        "WestOfPier", T::Bool, kIndex,
        [](C& c, const A& a) { return QVariant(c.WestOfPier(L(a, 0))); },
        [](C& c, const A& a) {
            c.SetWestOfPier(L(a, 0), B(a, 1));
            return QVariant();
        },
        "The side of the pier for observation. Always false for non-german mount.");
    t.Setting("SiteLongitude", &C::SiteLongitude, &C::SetSiteLongitude);
    t.Setting("SiteLatitude", &C::SiteLatitude, &C::SetSiteLatitude);
    t.Setting("Pressure", &C::Pressure, &C::SetPressure);
    t.Setting("Temperature", &C::Temperature, &C::SetTemperature);
    t.Term("ErrHABias", &C::ErrHABias);
    t.Term("ErrDecBias", &C::ErrDecBias);
    t.Term("ErrCollimation", &C::ErrCollimation);
    t.Term("ErrAxisMisalignment", &C::ErrAxisMisalignment);
    t.Term("ErrPolarAz", &C::ErrPolarAz);
    t.Term("ErrPolarAlt", &C::ErrPolarAlt);
    t.Term("ErrTubeDroop", &C::ErrTubeDroop);
    t.Term("ErrMountFlex", &C::ErrMountFlex);
    t.Property(
        "SideOfPier", T::CelarisPierSide, {},
        [](C& c, const A&) { return QVariant(int(c.SideOfPier())); },
        [](C& c, const A& a) {
            c.SetSideOfPier(L(a, 0));
            return QVariant();
        },
        "Current side of Pier for german scope");
    t.Property(
        "CalStarsEpoch", T::Epoch, {},
        [](C& c, const A&) { return QVariant(int(c.CalStarsEpoch())); },
        [](C& c, const A& a) {
            c.SetCalStarsEpoch(L(a, 0));
            return QVariant();
        },
        "Epoch of calibration stars. JNow or J2000");
    t.Property(
        "StdDevError", T::Double, {}, [](C& c, const A&) { return QVariant(c.StdDevError()); }, {},
        "Standard deviation of all residual errors after model application");
    t.Method("CalcCorrected", T::TruePosition,
             {{QStringLiteral("RightAscension"), T::Double, {}},
              {QStringLiteral("Declination"), T::Double, {}}},
             [](C& c, const A& a) {
                 double ra = D(a, 0), dec = D(a, 1);
                 c.CalcCorrected(ra, dec);
                 return QVariant(Pair("RightAscension", ra, "Declination", dec));
             });
    t.Method("TrueToScope", T::ScopePosition,
             {{QStringLiteral("RightAscension"), T::Double, {}},
              {QStringLiteral("Declination"), T::Double, {}}},
             [](C& c, const A& a) {
                 double ra = 0, dec = 0;
                 c.TrueToScope(D(a, 0), D(a, 1), ra, dec);
                 return QVariant(Pair("RightAscensionScope", ra, "DeclinationScope", dec));
             });
    t.Method("ScopeToTrue", T::TruePosition,
             {{QStringLiteral("RightAscensionScope"), T::Double, {}},
              {QStringLiteral("DeclinationScope"), T::Double, {}}},
             [](C& c, const A& a) {
                 double ra = 0, dec = 0;
                 c.ScopeToTrue(D(a, 0), D(a, 1), ra, dec);
                 return QVariant(Pair("RightAscension", ra, "Declination", dec));
             });
    return t.members;
}

}  // namespace

const QList<ScriptMember>& CalibrationMembers() {
    static const QList<ScriptMember> members = BuildTable();
    return members;
}

const ScriptMember* FindCalibrationMember(const QString& name) {
    for (const ScriptMember& m : CalibrationMembers())
        if (m.name.compare(name, Qt::CaseInsensitive) == 0) return &m;
    return nullptr;
}

const ScriptMember* FindCalibrationMember(int32_t dispId) {
    for (const ScriptMember& m : CalibrationMembers())
        if (m.dispId == dispId) return &m;
    return nullptr;
}

}  // namespace celaris::calibration
