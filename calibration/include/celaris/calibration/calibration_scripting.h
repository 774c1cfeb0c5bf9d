// The scripting class Calibration: scripts in any language drive the one
// calibration store through it, as COM clients drove the original. An
// object holds no state of its own; every member reads or writes the
// store, the hub's state, the settings or the main window's calibration
// controls, so any number of them see the same calibration.
//
// Units on this interface: right ascension and sidereal time in hours,
// declinations in degrees, residuals and model terms in arc seconds.
// Indexed members take an index from 1 to NumObservations.
//
// Every member passes failures on unchanged (number, source, description,
// help file and context); its own errors carry the source "Scripting
// Interface for Celaris". Main thread only, one call at a time.
//
// The member table (CalibrationMembers) is the interface's one description:
// names, kinds, dispatch ids, parameters, help texts and the binding to the
// typed members below. The HTTP routing and its help page are made from it.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>

#include "celaris/calibration/calibration_controls.h"

namespace celaris::calibration {

class CalibrationStore;

enum class CelarisPierSide { psForkMount = 0, psEast = 1, psWest = 2 };
enum class Epoch { epJNow = 0, epJ2000 = 1 };

inline constexpr char kCalibrationProgId[] = "Celaris.Calibration";
inline constexpr char kCalibrationClassId[] = "{3B4A16FB-73F2-40B7-B8AE-92977EDEC200}";
inline constexpr char kCalibrationInterfaceId[] = "{3E011399-7BD6-4379-B2D5-804F0003AAFF}";
inline constexpr char kCalibrationTypeLibraryHelp[] = "Telescope Pointing Correction";

// Where OpenFile and SaveFile may reach. Any: every path the user can read
// or write (a server this machine only can reach). Documents: only names
// inside the documents folder, for a server open to the network, so that a
// remote client cannot read or overwrite the user's other files.
enum class FileAccess { Any, Documents };

// The path a script's file name stands for: a relative name is taken inside
// documentsFolder (which ends in "/"). With Documents access, absolute
// names, ".." and names that lead outside the folder through a link raise
// InvalidValue with the scripting source.
QString ResolveScriptPath(const QString& name, const QString& documentsFolder, FileAccess access);

// What a value or parameter of the interface holds.
enum class ScriptType {
    Void,
    Bool,
    Long,  // 32-bit integer
    Double,
    String,
    CalibrationMode,
    CelarisPierSide,
    Epoch,
    TruePosition,   // by-reference results RightAscension, Declination
    ScopePosition,  // by-reference results RightAscensionScope, DeclinationScope
};
// "Boolean", "Long", "Double", "String", the enumeration's name, or the
// result names of a position.
QString ScriptTypeName(ScriptType type);
// The enumerations travel as whole numbers.
bool IsWholeNumber(ScriptType type);

// How a member is reached.
enum class MemberKind { Property, ReadOnly, Method };
enum class Access { Get, Put, Call };

class Calibration;

struct ScriptParam {
    QString name;
    ScriptType type;
    // Invalid: the parameter must be given. Otherwise what an omitted
    // optional parameter stands for.
    QVariant defaultValue;
    bool optional() const { return defaultValue.isValid(); }
};

struct ScriptMember {
    QString name;
    MemberKind kind;
    int32_t dispId;
    // A property's value, a method's result (Void when it has none).
    ScriptType type;
    // A method's parameters; an indexed property's Index. A property put
    // takes these and then its value under the property's own name.
    QList<ScriptParam> params;
    // The interface's help text; empty for members that have none.
    QString help;

    using Handler = std::function<QVariant(Calibration&, const QVariantList&)>;
    Handler get;   // properties
    Handler put;   // writable properties: params then the value
    Handler call;  // methods

    bool indexed() const { return kind != MemberKind::Method && !params.isEmpty(); }
};

// Every member in the interface's order.
const QList<ScriptMember>& CalibrationMembers();
// By name in any letter case; nullptr when there is none.
const ScriptMember* FindCalibrationMember(const QString& name);
const ScriptMember* FindCalibrationMember(int32_t dispId);

class Calibration {
  public:
    explicit Calibration(CalibrationStore& store, FileAccess files = FileAccess::Any);

    // Reloads the reference stars after CalStarsEpoch is written; the
    // program sets it once the catalogue exists.
    void SetStarsReload(std::function<void()> reload) { reloadStars_ = std::move(reload); }
    FileAccess fileAccess() const { return files_; }

    bool LockTarget();
    void SetLockTarget(bool lock);
    int32_t NumObservations();
    // Angles in hours and degrees, LST in hours; an empty name becomes
    // today's date in the system's short date format.
    void AddObservation(double raTrue, double decTrue, double raScope, double decScope, double lst,
                        const QString& name = QString(), bool westOfPier = true, bool use = true);
    void RemoveObservation(int32_t index);
    CalibrationMode CalibrationType();
    // 0 Full, 1 Perm, anything else Port.
    void SetCalibrationType(int32_t mode);
    void StartNewCalibration();
    void StopCalibration();
    void OpenFile(const QString& name);
    void SaveFile(const QString& name);
    bool ApplyCorrections();
    void SetApplyCorrections(bool apply);
    void CalculatePointingErrors();

    // Arc seconds; the RA residual is not scaled by cos(dec).
    double RAResidual(int32_t index);
    double DecResidual(int32_t index);
    // The indexed setters only store: CalculatePointingErrors refits.
    double RATrue(int32_t index);  // hours
    void SetRATrue(int32_t index, double hours);
    double DecTrue(int32_t index);  // degrees
    void SetDecTrue(int32_t index, double degrees);
    double RAScope(int32_t index);
    void SetRAScope(int32_t index, double hours);
    double DecScope(int32_t index);
    void SetDecScope(int32_t index, double degrees);
    QString ObservationName(int32_t index);
    void SetObservationName(int32_t index, const QString& name);
    bool UseObservation(int32_t index);
    void SetUseObservation(int32_t index, bool use);
    bool WestOfPier(int32_t index);
    void SetWestOfPier(int32_t index, bool west);

    // The site settings, stored only: the engine takes them where the
    // setup hands settings to it.
    double SiteLongitude();
    void SetSiteLongitude(double degrees);
    double SiteLatitude();
    void SetSiteLatitude(double degrees);
    double Pressure();
    void SetPressure(double kPa);
    double Temperature();
    void SetTemperature(double celsius);

    // The model terms, arc seconds.
    double ErrHABias();
    double ErrDecBias();
    double ErrCollimation();
    double ErrAxisMisalignment();
    double ErrPolarAz();
    double ErrPolarAlt();
    double ErrTubeDroop();
    // DecFlex on a German mount, ForkFlex otherwise.
    double ErrMountFlex();

    CelarisPierSide SideOfPier();
    // Only the hub's PierInverted (value 2); the engine is not told.
    void SetSideOfPier(int32_t side);
    Epoch CalStarsEpoch();
    void SetCalStarsEpoch(int32_t epoch);
    double StdDevError();

    // A scope position (hours, degrees) replaced by the true one; any
    // failure is "Cannot calculate corrected position." (1032).
    void CalcCorrected(double& rightAscension, double& declination);
    // After choosing the pier side for the hub's current target.
    void TrueToScope(double rightAscension, double declination, double& rightAscensionScope,
                     double& declinationScope);
    void ScopeToTrue(double rightAscensionScope, double declinationScope, double& rightAscension,
                     double& declination);

    // Late-bound: the member by its dispatch id, its parameters in order
    // (omitted trailing optional ones take their defaults; a property put
    // ends with the value). Returns the value or result (a position as a
    // map of its result names), invalid for none.
    QVariant Invoke(int32_t dispId, Access access, const QVariantList& args);

  private:
    void CheckIndex(int32_t index) const;
    CalibrationStore& store_;
    FileAccess files_;
    std::function<void()> reloadStars_;
};

}  // namespace celaris::calibration
