// Sexagesimal text: hours and degrees to text with the caller's delimiters
// and decimals, and text back to a number.
//
// One convention for every text: a "-" in front for negative values (none
// for positive ones or for values that round to zero), the leading field at
// least two digits ("05", "123"), minutes and seconds always two digits
// before any decimal point. Rounding happens once, on the smallest field
// shown, and carries upwards: 59.96 seconds with no decimals becomes the next
// minute. Hours are not wrapped: 23:59:59.96 prints as 24:00:00.
#pragma once

#include <QString>

#include <optional>

namespace celaris::ascom {

// Largest number of decimals of the last field; more are cut to this.
inline constexpr int kMaxDecimals = 6;

// hours, delimiter, minutes, delimiter, seconds (with `decimals` decimals),
// then `trailing`. HoursToHMS(12.5) is "12:30:00".
QString HoursToHMS(double hours, const QString& hoursDelimiter = QStringLiteral(":"),
                   const QString& minutesDelimiter = QStringLiteral(":"),
                   const QString& trailing = QString(), int decimals = 0);

// degrees, delimiter, minutes, delimiter, seconds (with `decimals`
// decimals), delimiter. DegreesToDMS(-45.5) is "-45° 30' 00\"".
QString DegreesToDMS(double degrees, const QString& degreesDelimiter = QStringLiteral("° "),
                     const QString& minutesDelimiter = QStringLiteral("' "),
                     const QString& secondsDelimiter = QStringLiteral("\""), int decimals = 0);

// degrees, delimiter, minutes (with `decimals` decimals), delimiter.
// DegreesToDM(275.5) is "275° 30'".
QString DegreesToDM(double degrees, const QString& degreesDelimiter = QStringLiteral("° "),
                    const QString& minutesDelimiter = QStringLiteral("'"), int decimals = 0);

// Reads one, two or three fields (degrees, minutes, seconds; or hours,
// minutes, seconds) separated by blanks or by the delimiter symbols
// ° º ' " : ′ ″, or a plain decimal number. An optional sign in front
// applies to the whole value ("-0 30" is -0.5). Only the last field may
// have decimals; minutes and seconds must be below 60. Anything else, and
// text that is empty or not finite, gives nothing.
std::optional<double> ParseSexagesimal(const QString& text);

// ParseSexagesimal under the names the windows use.
inline std::optional<double> DMSToDegrees(const QString& text) {
    return ParseSexagesimal(text);
}
inline std::optional<double> HMSToHours(const QString& text) {
    return ParseSexagesimal(text);
}

}  // namespace celaris::ascom
