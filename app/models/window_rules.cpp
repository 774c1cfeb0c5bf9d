#include "window_rules.h"

#include <cmath>

#include "celaris/ascom/sexagesimal.h"
#include "celaris/units/angles.h"

namespace celaris::models {

TwipRect KeepOnScreen(TwipRect w, int screenWidthPx, int screenHeightPx) {
    const int screenH = screenHeightPx * kTwipsPerPixel;
    const int screenW = screenWidthPx * kTwipsPerPixel;
    if (w.top < 0) w.top = 0;
    if (w.left < 0) w.left = 0;
    if (w.top > screenH - w.height) w.top = screenH - w.height;
    if (w.left > screenW - w.width) w.left = screenW - w.width;
    return w;
}

Rgb NightColour(int r, int g, int b, bool nightMode) {
    if (nightMode) return {(r + g + b) / 3, 0, 0};
    return {r, g, b};
}

namespace {

double Fraction(double x) {
    return x - std::floor(x);
}

// Julian day at 0h UT of a Gregorian (from 1582-10-15) or Julian date.
double JulianDay(int year, int month, double day) {
    if (month < 3) {
        year -= 1;
        month += 12;
    }
    double b = 0;
    if (year > 1582 || (year == 1582 && (month > 10 || (month == 10 && day >= 15)))) {
        const int a = year / 100;
        b = 2 - a + a / 4;
    }
    return std::floor(365.25 * year) + std::floor(30.6001 * (month + 1)) + day + 1720994.5 + b;
}

}  // namespace

double LocalSiderealHours(const QDateTime& utcIn, double longitudeDeg) {
    const QDateTime utc = utcIn.toUTC();
    const QDate d = utc.date();
    const double dayFraction = utc.time().msecsSinceStartOfDay() / 86400000.0;
    const double jd = JulianDay(d.year(), d.month(), d.day());
    const double t = (jd - 2451545.0) / 36525.0;
    const double gmst = 24.0 * Fraction(Fraction(dayFraction * 1.00273790935) +
                                        Fraction((100.46061837 + 36000.770053608 * t +
                                                  0.000387933 * t * t - t * t * t / 38710000.0) /
                                                 360.0));
    return std::fmod(std::fmod(gmst + longitudeDeg / 15.0, 24.0) + 24.0, 24.0);
}

AltAzDeg RaDecToAltAz(double raHours, double decDeg, double latitudeDeg, double lstHours) {
    constexpr double pi = units::kPi;
    const double h = (lstHours - raHours) * pi / 12.0;
    const double phi = latitudeDeg * pi / 180.0;
    const double delta = decDeg * pi / 180.0;
    const double alt =
        std::asin(std::cos(h) * std::cos(delta) * std::cos(phi) + std::sin(delta) * std::sin(phi));
    double az =
        std::atan2(std::sin(h), std::cos(h) * std::sin(phi) - std::tan(delta) * std::cos(phi));
    if (az < 0) az += 2 * pi;
    double azDeg = az * 180.0 / pi + 180.0;
    if (azDeg > 360.0) azDeg -= 360.0;
    return {alt * 180.0 / pi, azDeg};
}

QString FormatRA(double hours) {
    return ascom::HoursToHMS(hours, QStringLiteral(":"), QStringLiteral(":"), QString(), 1);
}
QString FormatDec(double deg) {
    return ascom::DegreesToDMS(deg, QStringLiteral("° "), QStringLiteral("' "),
                               QStringLiteral("\""), 0);
}
QString FormatAltAz(double deg) {
    return ascom::DegreesToDM(deg, QStringLiteral("° "), QStringLiteral("'"), 0);
}
QString FormatLST(double hours) {
    return ascom::HoursToHMS(hours, QStringLiteral(":"), QStringLiteral(":"), QString(), 0);
}

QString FormatFixed(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

}  // namespace celaris::models
