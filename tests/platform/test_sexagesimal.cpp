// Sexagesimal text in the forms the windows show, and the parser the setup
// window reads the site with.
#include <gtest/gtest.h>

#include <random>

#include "celaris/ascom/sexagesimal.h"

using namespace celaris::ascom;

namespace {
const QString kDeg = QStringLiteral("° ");
const QString kMin = QStringLiteral("' ");
const QString kSec = QStringLiteral("\"");
const QString kOrd = QStringLiteral("º");  // U+00BA
const QString kColon = QStringLiteral(":");

double Seconds(double h, double m, double s) {
    return h + m / 60.0 + s / 3600.0;
}
}  // namespace

TEST(Sexagesimal, TheFormsTheWindowsShow) {
    const double ra = Seconds(5, 3, 2.14);
    // Main window and observation list: RA with one decimal of seconds.
    EXPECT_EQ(HoursToHMS(ra, kColon, kColon, QString(), 1), QStringLiteral("05:03:02.1"));
    // Sidereal time and pick list: whole seconds.
    EXPECT_EQ(HoursToHMS(ra, kColon, kColon, QString(), 0), QStringLiteral("05:03:02"));
    // Trailing text after the seconds.
    EXPECT_EQ(HoursToHMS(ra, QStringLiteral("h "), QStringLiteral("m "), QStringLiteral("s"), 2),
              QStringLiteral("05h 03m 02.14s"));
    // Main window and setup window declination / site.
    EXPECT_EQ(DegreesToDMS(Seconds(45, 30, 15.4), kDeg, kMin, kSec, 0),
              QStringLiteral("45° 30' 15\""));
    // Observation list, pick list and model terms: "º", "'", '"'.
    EXPECT_EQ(DegreesToDMS(Seconds(7, 0, 9), kOrd, QStringLiteral("'"), kSec, 0),
              QStringLiteral("07º00'09\""));
    // Altitude and azimuth in degrees and whole minutes.
    EXPECT_EQ(DegreesToDM(275.5, kDeg, QStringLiteral("'"), 0), QStringLiteral("275° 30'"));
    EXPECT_EQ(DegreesToDM(Seconds(12, 7, 30), kDeg, QStringLiteral("'"), 2),
              QStringLiteral("12° 07.50'"));
}

TEST(Sexagesimal, NegativeValuesCarryOneSignInFront) {
    EXPECT_EQ(DegreesToDMS(-Seconds(45, 30, 15)), QStringLiteral("-45° 30' 15\""));
    // Below one degree the sign still shows.
    EXPECT_EQ(DegreesToDMS(-0.5), QStringLiteral("-00° 30' 00\""));
    EXPECT_EQ(DegreesToDM(-0.25, kDeg, QStringLiteral("'"), 1), QStringLiteral("-00° 15.0'"));
    EXPECT_EQ(HoursToHMS(-Seconds(1, 2, 3)), QStringLiteral("-01:02:03"));
    // A value that rounds to zero has no sign.
    EXPECT_EQ(DegreesToDMS(-0.0001), QStringLiteral("00° 00' 00\""));
    EXPECT_EQ(HoursToHMS(-0.0), QStringLiteral("00:00:00"));
}

TEST(Sexagesimal, RoundingCarriesIntoTheHigherFields) {
    // 59.96" never prints as 60".
    EXPECT_EQ(DegreesToDMS(Seconds(10, 0, 59.96), kDeg, kMin, kSec, 0),
              QStringLiteral("10° 01' 00\""));
    EXPECT_EQ(DegreesToDMS(Seconds(10, 0, 59.96), kDeg, kMin, kSec, 1),
              QStringLiteral("10° 01' 00.0\""));
    EXPECT_EQ(DegreesToDMS(Seconds(10, 0, 59.96), kDeg, kMin, kSec, 2),
              QStringLiteral("10° 00' 59.96\""));
    EXPECT_EQ(DegreesToDMS(Seconds(10, 59, 59.6)), QStringLiteral("11° 00' 00\""));
    EXPECT_EQ(DegreesToDMS(-Seconds(10, 59, 59.6)), QStringLiteral("-11° 00' 00\""));
    EXPECT_EQ(DegreesToDM(Seconds(45, 59, 45), kDeg, QStringLiteral("'"), 0),
              QStringLiteral("46° 00'"));
    // Hours are not wrapped at 24.
    EXPECT_EQ(HoursToHMS(Seconds(23, 59, 59.96), kColon, kColon, QString(), 1),
              QStringLiteral("24:00:00.0"));
    EXPECT_EQ(HoursToHMS(Seconds(23, 59, 59.94), kColon, kColon, QString(), 1),
              QStringLiteral("23:59:59.9"));
}

TEST(Sexagesimal, NonFiniteValuesHaveNoText) {
    EXPECT_TRUE(HoursToHMS(std::numeric_limits<double>::quiet_NaN()).isEmpty());
    EXPECT_TRUE(DegreesToDMS(std::numeric_limits<double>::infinity()).isEmpty());
    EXPECT_TRUE(DegreesToDM(1e300).isEmpty());
}

TEST(Sexagesimal, ParsesFieldsWithBlanksOrDelimiterSymbols) {
    const double v = Seconds(45, 30, 15);
    for (const char* text : {"45 30 15", "45° 30' 15\"", "45º30'15\"", "45:30:15", "  45 30 15  ",
                             "45°30′15″", "45 30 15\"", "+45 30 15"}) {
        SCOPED_TRACE(text);
        const auto parsed = ParseSexagesimal(QString::fromUtf8(text));
        ASSERT_TRUE(parsed.has_value());
        EXPECT_NEAR(*parsed, v, 1e-12);
    }
    EXPECT_NEAR(*ParseSexagesimal(QStringLiteral("-45:30:15.5")), -Seconds(45, 30, 15.5), 1e-12);
    EXPECT_NEAR(*ParseSexagesimal(QStringLiteral("45 30.5")), 45 + 30.5 / 60, 1e-12);
    // The sign belongs to the whole value, also when the degrees are zero.
    EXPECT_NEAR(*ParseSexagesimal(QStringLiteral("-0 30")), -0.5, 1e-15);
    EXPECT_NEAR(*ParseSexagesimal(QStringLiteral("- 00° 30' 00\"")), -0.5, 1e-15);
    // Plain decimal degrees.
    EXPECT_DOUBLE_EQ(*ParseSexagesimal(QStringLiteral("-75.25")), -75.25);
    EXPECT_DOUBLE_EQ(*ParseSexagesimal(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(*ParseSexagesimal(QStringLiteral("1.5e1")), 15.0);
    EXPECT_DOUBLE_EQ(*ParseSexagesimal(QStringLiteral("45°")), 45.0);
}

TEST(Sexagesimal, TextThatIsNotAnAngleFailsClearly) {
    for (const char* text :
         {"",         "   ",     "abc",          "N45",         "45x",    "45 60",
          "45 30 60", "45.5 30", "45 30.5 10",   "45 30 15 10", "45 -30", "45--3",
          "--45",     "45°°30",  "45 :: 30",     "12e",         "1e1 30", "nan",
          "inf",      "1,5",     "45 30 15 abc", "٤٥"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseSexagesimal(QString::fromUtf8(text)).has_value());
    }
}

TEST(Sexagesimal, FormattedTextReadsBackToTheValue) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> deg(-360.0, 360.0);
    for (int i = 0; i < 2000; ++i) {
        const double v = deg(rng);
        const int decimals = i % (kMaxDecimals + 1);
        const double step = std::pow(10.0, -decimals);
        // Three fields: within half the last digit of a second.
        const auto dms = ParseSexagesimal(DegreesToDMS(v, kDeg, kMin, kSec, decimals));
        ASSERT_TRUE(dms.has_value()) << v;
        EXPECT_NEAR(*dms, v, 0.5 * step / 3600.0 + 1e-12) << v;
        const auto hms = HMSToHours(HoursToHMS(v / 15.0, kColon, kColon, QString(), decimals));
        ASSERT_TRUE(hms.has_value());
        EXPECT_NEAR(*hms, v / 15.0, 0.5 * step / 3600.0 + 1e-12);
        // Two fields: within half the last digit of a minute.
        const auto dm = ParseSexagesimal(DegreesToDM(v, kDeg, QStringLiteral("'"), decimals));
        ASSERT_TRUE(dm.has_value());
        EXPECT_NEAR(*dm, v, 0.5 * step / 60.0 + 1e-12);
    }
}
