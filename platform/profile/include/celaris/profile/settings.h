// Every persistent setting of the program, as typed fields named after the
// values they are stored under, with their defaults, and the reads and
// writes each owner performs.
//
// All values live under the hub's driver id "Celaris.Telescope", at its root
// or in the sub-keys "FormPositions", "Horizon", "Starfix" and "Lumacam".
// Booleans are written "True"/"False" and read in any letter case; numbers
// as locale-independent decimal text. A value that is missing, empty or does
// not convert takes its default: reading never fails.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

#include "celaris/profile/profile.h"
#include "celaris/units/angles.h"

namespace celaris::profile {

inline constexpr char kDeviceType[] = "Telescope";
inline constexpr char kHubDriverId[] = "Celaris.Telescope";
inline constexpr char kHubDescription[] = "Celaris";
inline constexpr char kFormPositionsKey[] = "FormPositions";
inline constexpr char kHorizonKey[] = "Horizon";
inline constexpr char kStarfixKey[] = "Starfix";
inline constexpr char kLumacamKey[] = "Lumacam";

inline constexpr int kHorizonPoints = 16;
// 30 degrees.
inline constexpr double kDefaultHorizonRad = 0.5235987755982984;

struct Settings {
    // Root: site and mount (the setup window's).
    QString Scope;  // ProgID of the real driver; empty = none chosen
    bool IsGerman = false;
    bool J2000 = false;
    bool AntiBacklash = false;
    bool EnforceLimits = false;
    double Latitude = 45;       // degrees, north positive
    double Longitude = -75;     // degrees, east positive
    double Pressure = 101.325;  // kPa
    double Temperature = 15;    // degrees C
    // Angles named ...Rad are radians in memory; each is stored under its
    // name without the suffix.
    double FlipLimitERad = 0.0872664626;  // stored "FlipLimitE", radians (5 degrees)
    double FlipLimitWRad = 0.0872664626;  // stored "FlipLimitW", radians
    double DecLimitRad = 1.570796327;     // stored "DecLimit", radians (90 degrees)
    double AltLimitRad = 1.570796327;     // stored "AltLimit", radians
    double SlewPause = 1;                 // seconds
    // Stored "Backlash" in arc seconds (default 60").
    double BacklashRad = 60.0 * units::kPi / 180.0 / 3600.0;
    bool FirstSlewPause = false;
    double PollInterval = 1.0;  // seconds; see PollTicks
    int16_t PierSideModel = 2;  // 0 Normal, 1 Inverted, 2 Auto

    // Root: the model terms, radians, stored under the names without "Rad"
    // (HourOffset ... DecFlex), and the main window.
    double HourOffsetRad = 0;
    double DecOffsetRad = 0;
    double CollimationRad = 0;
    double AxisNonPerpRad = 0;
    double PolarLRRad = 0;
    double PolarVertRad = 0;
    double TubeFlexRad = 0;
    double ForkFlexRad = 0;
    double DecFlexRad = 0;
    bool OnTop = true;

    // "FormPositions": window places and sizes, twips.
    int16_t PosMainX = 300, PosMainY = 300;
    int16_t PosErrorsX = 300, PosErrorsY = 300;
    int16_t PosObsX = 300, PosObsY = 300;
    int16_t PosPlotX = 300, PosPlotY = 300;
    int16_t PosMapX = 300, PosMapY = 300;
    int16_t PosAlignPolarX = 300, PosAlignPolarY = 300;
    int16_t PosSetupX = 300, PosSetupY = 300;
    int16_t PosHorizX = 300, PosHorizY = 300;
    int16_t PosStarfixCalX = 300, PosStarfixCalY = 300;
    int16_t MapWidth = 4000, MapHeight = 4000;
    int16_t ObsWidth = 8000, ObsHeight = 3500;
    int16_t PlotWidth = 4000, PlotHeight = 4000;

    // "Horizon": Horizon00 ... Horizon15, lowest visible altitude (radians)
    // at azimuth k x 22.5 degrees from north through east.
    std::array<double, kHorizonPoints> HorizonRad = {
        kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad,
        kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad,
        kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad,
        kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad, kDefaultHorizonRad};

    // "Starfix": plate solver. CatPath is the folder of astrometry.net's
    // index files (Debian installs them here).
    QString CatPath = QStringLiteral("/usr/share/astrometry");
    int16_t CatType = 3;     // 0..5
    int16_t Projection = 1;  // 0..6
    double Sigma = 4;
    int16_t MinBright = 200;
    int16_t MinStar = 2;
    double CatMaxMag = 20;
    double Resolution = 2;  // arc seconds per unbinned pixel
    double CatExp = 0.3;
    int32_t MaxStars = 500;
    int16_t Accuracy = 0;  // 0..4
    int16_t MaxTime = 60;  // seconds
    double PixSizeX = 20;  // micrometres
    double PixSizeY = 20;
    double FocalLength = 2000;  // millimetres

    // "Lumacam": camera.
    double Exposure = 1;  // seconds
    int16_t Bin = 1;
    int16_t Filter = 1;
    // Camera id: "Celaris.SimulatedCamera", "indi:HOST:PORT/DEVICE" or
    // "alpaca:HOST:PORT/N"; empty: the simulated camera while the mount is
    // the simulator (see camera_choice.h in drivers/camera).
    QString Camera;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// "Horizon00" ... "Horizon15".
QString HorizonValueName(int index);

// The main window's poll period in 200 ms timer ticks: PollInterval x 5
// rounded to the nearest integer, halves to even (1 s -> 5, 0.1 s -> 0).
// Saturates at 0 (a negative interval polls on every tick, as 0 does) and
// 32767; a value that is not a number gives 5. The status loop's only rule.
int16_t PollTicks(double pollIntervalSeconds);

// Sets the device type and registers the hub ("Celaris.Telescope",
// "Celaris"), as start-up, every new Telescope object and the main window
// do. Raises only when the file cannot be written.
void RegisterHub(Profile& profile);

// Start-up: the model terms, the "FormPositions" places and sizes of the
// main, model terms, observation list, residual plot, sky map and polar
// alignment windows, and OnTop.
void LoadSettings(Profile& profile, Settings& settings);
// Exit: the model terms, OnTop, the horizon and everything LoadSettings
// reads of "FormPositions". Raises when the file cannot be written.
void SaveSettings(Profile& profile, const Settings& settings);

// The nine model terms alone, in one file write: after every fit, so a
// crash never loses a model. Raises when the file cannot be written.
void WriteModelTerms(Profile& profile, const Settings& settings);

// The setup window: every site and mount value of the root, and PosSetupX/Y.
void ReadSetupSettings(Profile& profile, Settings& settings);
// Everything ReadSetupSettings reads except Scope (the chooser writes it at
// once), plus the horizon.
void WriteSetupSettings(Profile& profile, const Settings& settings);
// The chooser's pick, written at once.
void WriteScope(Profile& profile, const QString& progId);

// The horizon editor: "Horizon" and PosHorizX/Y.
void ReadHorizonSettings(Profile& profile, Settings& settings);
void WriteHorizonSettings(Profile& profile, const Settings& settings);

// The automatic calibration window: "Starfix" (without the pixel
// calculator's three), "Lumacam" and PosStarfixCalX/Y. A CatType outside
// 0..5 becomes 3, a Projection outside 0..6 becomes 1, an Accuracy outside
// 0..4 becomes 0.
void ReadAutoCalSettings(Profile& profile, Settings& settings);
void WriteAutoCalSettings(Profile& profile, const Settings& settings);

// The pixel calculator: PixSizeX, PixSizeY, FocalLength.
void ReadPixelCalculatorSettings(Profile& profile, Settings& settings);
void WritePixelCalculatorSettings(Profile& profile, const Settings& settings);

// Every read above, for a program that has no windows to do them.
Settings ReadAllSettings(Profile& profile);
// Every write above, in one file write.
void WriteAllSettings(Profile& profile, const Settings& settings);

}  // namespace celaris::profile
