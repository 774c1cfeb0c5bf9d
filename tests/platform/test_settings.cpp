// The typed settings: defaults, encodings, units and the owners' reads and
// writes, including across a second process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLocale>
#include <QTemporaryDir>

#include <numbers>

#include "celaris/profile/settings.h"
#include "celaris/profile/value_text.h"

using namespace celaris::profile;

namespace {

const QString kId = QStringLiteral("Celaris.Telescope");
constexpr double kDeg = std::numbers::pi / 180.0;

class SettingsTest : public ::testing::Test {
  protected:
    QString Path() const { return dir_.filePath(QStringLiteral("profile.json")); }
    void Put(const QString& name, const QString& text, const QString& subKey = QString()) {
        Profile(Path()).WriteValue(kId, name, text, subKey);
    }
    QString Get(const QString& name, const QString& subKey = QString()) {
        return Profile(Path()).GetValue(kId, name, subKey);
    }
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(SettingsTest, AnEmptyStoreYieldsEveryDefault) {
    Profile p(Path());
    const Settings s = ReadAllSettings(p);
    EXPECT_EQ(s, Settings{});
    EXPECT_EQ(s.Latitude, 45.0);
    EXPECT_EQ(s.Longitude, -75.0);
    EXPECT_EQ(s.Pressure, 101.325);
    EXPECT_EQ(s.Temperature, 15.0);
    EXPECT_NEAR(s.FlipLimitERad, 5 * kDeg, 1e-10);
    EXPECT_NEAR(s.FlipLimitWRad, 5 * kDeg, 1e-10);
    EXPECT_NEAR(s.DecLimitRad, 90 * kDeg, 1e-9);
    EXPECT_NEAR(s.AltLimitRad, 90 * kDeg, 1e-9);
    EXPECT_EQ(s.SlewPause, 1.0);
    EXPECT_EQ(s.BacklashRad, 2.908882086657216e-4);  // 60"
    EXPECT_EQ(s.PollInterval, 1.0);
    EXPECT_EQ(PollTicks(s.PollInterval), 5);
    EXPECT_EQ(s.PierSideModel, 2);
    for (double term : {s.HourOffsetRad, s.DecOffsetRad, s.CollimationRad, s.AxisNonPerpRad,
                        s.PolarLRRad, s.PolarVertRad, s.TubeFlexRad, s.ForkFlexRad, s.DecFlexRad})
        EXPECT_EQ(term, 0.0);
    EXPECT_TRUE(s.OnTop);
    for (int16_t pos :
         {s.PosMainX, s.PosMainY, s.PosErrorsX, s.PosErrorsY, s.PosObsX, s.PosObsY, s.PosPlotX,
          s.PosPlotY, s.PosMapX, s.PosMapY, s.PosAlignPolarX, s.PosAlignPolarY, s.PosSetupX,
          s.PosSetupY, s.PosHorizX, s.PosHorizY, s.PosStarfixCalX, s.PosStarfixCalY})
        EXPECT_EQ(pos, 300);
    for (double h : s.HorizonRad) EXPECT_EQ(h, 0.5235987755982984);
    EXPECT_EQ(s.CatPath, QStringLiteral("/usr/share/astrometry"));
}

TEST_F(SettingsTest, MissingEmptyOrUnconvertibleValuesTakeTheirDefaults) {
    Put(QStringLiteral("PollInterval"), QStringLiteral("fast"));
    Put(QStringLiteral("Latitude"), QString());
    Put(QStringLiteral("IsGerman"), QStringLiteral("yes"));
    Put(QStringLiteral("Pressure"), QStringLiteral("1,5"));  // no locale decimal comma
    Put(QStringLiteral("Temperature"), QStringLiteral("nan"));
    Put(QStringLiteral("MapWidth"), QStringLiteral("40000"), QStringLiteral("FormPositions"));
    Put(QStringLiteral("CatPath"), QString(), QStringLiteral("Starfix"));
    Profile p(Path());
    const Settings s = ReadAllSettings(p);
    EXPECT_EQ(s.PollInterval, 1.0);
    EXPECT_EQ(PollTicks(s.PollInterval), 5);
    EXPECT_EQ(s.Latitude, 45.0);
    EXPECT_FALSE(s.IsGerman);
    EXPECT_EQ(s.Pressure, 101.325);
    EXPECT_EQ(s.Temperature, 15.0);
    EXPECT_EQ(s.MapWidth, 4000);  // beyond 16 bits
    EXPECT_EQ(s.CatPath, QStringLiteral("/usr/share/astrometry"));
}

TEST_F(SettingsTest, TextEncodingsOfBooleansNumbersAndUnits) {
    // Booleans in any letter case; numbers with blanks, signs, exponents.
    Put(QStringLiteral("IsGerman"), QStringLiteral("tRUE"));
    Put(QStringLiteral("OnTop"), QStringLiteral(" false "));
    Put(QStringLiteral("Longitude"), QStringLiteral(" +1.25e1 "));
    // A flip limit is radians as stored: 5 means 5 radians.
    Put(QStringLiteral("FlipLimitE"), QStringLiteral("5"));
    Put(QStringLiteral("PosObsX"), QStringLiteral("300.5"), QStringLiteral("FormPositions"));
    Put(QStringLiteral("PosObsY"), QStringLiteral("301.5"), QStringLiteral("FormPositions"));
    {
        Profile p(Path());
        const Settings s = ReadAllSettings(p);
        EXPECT_TRUE(s.IsGerman);
        EXPECT_FALSE(s.OnTop);
        EXPECT_EQ(s.Longitude, 12.5);
        EXPECT_EQ(s.FlipLimitERad, 5.0);
        EXPECT_EQ(s.PosObsX, 300);  // halves to even
        EXPECT_EQ(s.PosObsY, 302);
    }

    // Writing: "True"/"False", decimal text with a point whatever the locale,
    // the backlash in arc seconds.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Settings s;
    s.IsGerman = true;
    s.Pressure = 98.5;
    s.Longitude = -0.000025;
    s.HorizonRad[3] = 0.1;
    {
        Profile p(Path());
        WriteAllSettings(p, s);
    }
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(Get(QStringLiteral("IsGerman")), QStringLiteral("True"));
    EXPECT_EQ(Get(QStringLiteral("J2000")), QStringLiteral("False"));
    EXPECT_EQ(Get(QStringLiteral("Pressure")), QStringLiteral("98.5"));
    EXPECT_EQ(Get(QStringLiteral("Longitude")), QStringLiteral("-2.5e-05"));
    EXPECT_EQ(Get(QStringLiteral("Backlash")), QStringLiteral("60"));
    EXPECT_EQ(Get(QStringLiteral("Horizon03"), QStringLiteral("Horizon")), QStringLiteral("0.1"));
    EXPECT_EQ(Get(QStringLiteral("Horizon15"), QStringLiteral("Horizon")),
              QStringLiteral("0.5235987755982984"));
}

TEST_F(SettingsTest, RadianFieldsAreStoredUnderTheirNamesWithoutTheSuffix) {
    Settings s;
    s.FlipLimitERad = 0.5;
    s.FlipLimitWRad = 0.25;
    s.DecLimitRad = 1.25;
    s.AltLimitRad = 1.5;
    s.HourOffsetRad = 0.001;
    s.DecFlexRad = 0.002;
    {
        Profile p(Path());
        WriteAllSettings(p, s);
    }
    EXPECT_EQ(Get(QStringLiteral("FlipLimitE")), QStringLiteral("0.5"));
    EXPECT_EQ(Get(QStringLiteral("FlipLimitW")), QStringLiteral("0.25"));
    EXPECT_EQ(Get(QStringLiteral("DecLimit")), QStringLiteral("1.25"));
    EXPECT_EQ(Get(QStringLiteral("AltLimit")), QStringLiteral("1.5"));
    EXPECT_EQ(Get(QStringLiteral("HourOffset")), QStringLiteral("0.001"));
    EXPECT_EQ(Get(QStringLiteral("DecFlex")), QStringLiteral("0.002"));
    EXPECT_TRUE(Get(QStringLiteral("FlipLimitERad")).isEmpty());
}

TEST_F(SettingsTest, BacklashIsHeldInRadiansAndStoredInArcSeconds) {
    Put(QStringLiteral("Backlash"), QStringLiteral("60"));
    Profile p(Path());
    Settings s;
    ReadSetupSettings(p, s);
    EXPECT_EQ(s.BacklashRad, 2.908882086657216e-4);
    WriteSetupSettings(p, s);
    EXPECT_EQ(p.GetValue(kId, QStringLiteral("Backlash")), QStringLiteral("60"));
    // Typical values come back as typed.
    for (const char* text : {"0", "12.5", "37.3", "0.001", "3600", "123.456"}) {
        p.WriteValue(kId, QStringLiteral("Backlash"), QString::fromLatin1(text));
        ReadSetupSettings(p, s);
        WriteSetupSettings(p, s);
        EXPECT_EQ(p.GetValue(kId, QStringLiteral("Backlash")), QString::fromLatin1(text));
    }
}

TEST(PollTicks, FiveTicksASecondRoundedHalvesToEven) {
    EXPECT_EQ(PollTicks(1.0), 5);
    EXPECT_EQ(PollTicks(0.1), 0);  // 0.5 -> 0: poll on every tick
    EXPECT_EQ(PollTicks(0.3), 2);  // 1.5 -> 2
    EXPECT_EQ(PollTicks(0.5), 2);  // 2.5 -> 2
    EXPECT_EQ(PollTicks(0.7), 4);  // 3.5 -> 4
    EXPECT_EQ(PollTicks(10.0), 50);
    EXPECT_EQ(PollTicks(-3.0), 0);
    EXPECT_EQ(PollTicks(1e12), 32767);
    EXPECT_EQ(PollTicks(std::numeric_limits<double>::quiet_NaN()), 5);
}

TEST_F(SettingsTest, EachOwnerReadsAndWritesItsOwnValues) {
    Settings changed;
    changed.Latitude = -33.5;
    changed.HourOffsetRad = 1e-4;
    changed.PosMainX = 10;
    changed.PosSetupX = 20;
    changed.PosHorizX = 30;
    changed.PosStarfixCalX = 40;
    changed.HorizonRad[0] = 0.2;
    changed.Sigma = 7;
    changed.PixSizeX = 9;
    changed.Scope = QStringLiteral("Celaris.Simulator");
    Profile p(Path());

    // The exit save: model terms, OnTop, horizon, main window's places only.
    SaveSettings(p, changed);
    Settings s = ReadAllSettings(p);
    EXPECT_EQ(s.HourOffsetRad, 1e-4);
    EXPECT_EQ(s.PosMainX, 10);
    EXPECT_EQ(s.HorizonRad[0], 0.2);
    EXPECT_EQ(s.Latitude, 45.0);
    EXPECT_EQ(s.PosSetupX, 300);
    EXPECT_EQ(s.Sigma, 4.0);

    // The setup window writes the site, not the driver choice.
    WriteSetupSettings(p, changed);
    s = ReadAllSettings(p);
    EXPECT_EQ(s.Latitude, -33.5);
    EXPECT_EQ(s.PosSetupX, 20);
    EXPECT_EQ(s.Scope, QString());
    WriteScope(p, changed.Scope);
    EXPECT_EQ(ReadAllSettings(p).Scope, changed.Scope);

    WriteHorizonSettings(p, changed);
    WriteAutoCalSettings(p, changed);
    s = ReadAllSettings(p);
    EXPECT_EQ(s.PosHorizX, 30);
    EXPECT_EQ(s.PosStarfixCalX, 40);
    EXPECT_EQ(s.Sigma, 7.0);
    EXPECT_EQ(s.PixSizeX, 20.0);  // the pixel calculator's own
    WritePixelCalculatorSettings(p, changed);
    EXPECT_EQ(ReadAllSettings(p), changed);
}

TEST_F(SettingsTest, OutOfRangeSolverChoicesFallBack) {
    Put(QStringLiteral("CatType"), QStringLiteral("7"), QStringLiteral("Starfix"));
    Put(QStringLiteral("Projection"), QStringLiteral("-1"), QStringLiteral("Starfix"));
    Put(QStringLiteral("Accuracy"), QStringLiteral("9"), QStringLiteral("Starfix"));
    Profile p(Path());
    Settings s;
    ReadAutoCalSettings(p, s);
    EXPECT_EQ(s.CatType, 3);
    EXPECT_EQ(s.Projection, 1);
    EXPECT_EQ(s.Accuracy, 0);
}

TEST_F(SettingsTest, EveryValueSurvivesASecondProcess) {
    // Distinct values everywhere, so that a swapped or dropped name shows.
    Settings s;
    s.Scope = QStringLiteral("alpaca:192.168.1.5:11111/0");
    s.IsGerman = s.J2000 = s.AntiBacklash = s.EnforceLimits = s.FirstSlewPause = true;
    s.OnTop = false;
    double d = 0.125;
    for (double* f :
         {&s.Latitude,      &s.Longitude,    &s.Pressure,       &s.Temperature,    &s.FlipLimitERad,
          &s.FlipLimitWRad, &s.DecLimitRad,  &s.AltLimitRad,    &s.SlewPause,      &s.PollInterval,
          &s.HourOffsetRad, &s.DecOffsetRad, &s.CollimationRad, &s.AxisNonPerpRad, &s.PolarLRRad,
          &s.PolarVertRad,  &s.TubeFlexRad,  &s.ForkFlexRad,    &s.DecFlexRad,     &s.Sigma,
          &s.CatMaxMag,     &s.Resolution,   &s.CatExp,         &s.PixSizeX,       &s.PixSizeY,
          &s.FocalLength,   &s.Exposure})
        *f = (d += 1.0 / 3.0);
    s.BacklashRad = 12.5 * std::numbers::pi / 180.0 / 3600.0;
    int16_t n = 1;
    for (int16_t* f : {&s.PierSideModel,  &s.PosMainX,   &s.PosMainY,
                       &s.PosErrorsX,     &s.PosErrorsY, &s.PosObsX,
                       &s.PosObsY,        &s.PosPlotX,   &s.PosPlotY,
                       &s.PosMapX,        &s.PosMapY,    &s.PosAlignPolarX,
                       &s.PosAlignPolarY, &s.PosSetupX,  &s.PosSetupY,
                       &s.PosHorizX,      &s.PosHorizY,  &s.PosStarfixCalX,
                       &s.PosStarfixCalY, &s.MapWidth,   &s.MapHeight,
                       &s.ObsWidth,       &s.ObsHeight,  &s.PlotWidth,
                       &s.PlotHeight,     &s.MinBright,  &s.MinStar,
                       &s.MaxTime,        &s.Bin,        &s.Filter})
        *f = n++;
    s.CatType = 5;
    s.Projection = 2;
    s.Accuracy = 4;
    s.MaxStars = 100000;
    s.CatPath = QStringLiteral("/data/star catalogs/");
    for (size_t k = 0; k < s.HorizonRad.size(); ++k) s.HorizonRad[k] = 0.01 * double(k);

    const QString first = dir_.filePath(QStringLiteral("first.json"));
    const QString second = dir_.filePath(QStringLiteral("second.json"));
    {
        Profile p(first);
        WriteAllSettings(p, s);
    }
    // Another process reads them all and writes them all to a second store.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(PROFILE_HELPER, PROFILE_HELPER, "copy", first.toLocal8Bit().constData(),
                second.toLocal8Bit().constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    Profile back(second);
    const Settings r = ReadAllSettings(back);
    EXPECT_EQ(r.BacklashRad, s.BacklashRad);
    EXPECT_EQ(r, s);
}
