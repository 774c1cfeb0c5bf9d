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

QStringList FileDialogFilters(const QString& filter) {
    if (!filter.contains(QLatin1Char('|')))
        return filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts);
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        // The text's own bracketed patterns give way to the pattern field.
        if (const qsizetype open = text.lastIndexOf(QLatin1Char('('));
            open > 0 && text.endsWith(QLatin1Char(')')))
            text = text.left(open).trimmed();
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << (p.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : p.trimmed());
        out << QStringLiteral("%1 (%2)").arg(text, patterns.join(QLatin1Char(' ')));
    }
    return out;
}

QString FileDialogSuffix(const QString& filter) {
    const QStringList filters = FileDialogFilters(filter);
    if (filters.isEmpty()) return {};
    const QString& f = filters.first();
    const qsizetype open = f.lastIndexOf(QLatin1Char('('));
    if (open < 0) return {};
    const QString first =
        f.mid(open + 1).chopped(1).split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0);
    if (!first.startsWith(QLatin1String("*.")) || first.size() < 3) return {};
    const QString ext = first.mid(2);
    return ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?')) ? QString() : ext;
}

QString CatalogFolderPath(const QString& chosen) {
    return chosen.endsWith(QLatin1Char('/')) ? chosen : chosen + QLatin1Char('/');
}

}  // namespace celaris::models
