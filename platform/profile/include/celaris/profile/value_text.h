// How typed settings are written as text and read back. Every conversion is
// independent of the system's locale: "." is the decimal separator.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace celaris::profile {

// "True" / "False".
QString BoolText(bool value);
// "true", "FALSE", " True " ...; anything else gives nothing.
std::optional<bool> ParseBool(const QString& text);

// The shortest decimal text that reads back as the same double ("101.325",
// "-75", "2.5e-05").
QString DoubleText(double value);
// Decimal or exponent form, optional sign, blanks around it allowed; only
// finite numbers.
std::optional<double> ParseDouble(const QString& text);

QString IntText(int64_t value);
// A number rounded to the nearest integer, halves to even ("300.5" -> 300),
// that fits the type; anything else gives nothing.
std::optional<int16_t> ParseInt16(const QString& text);
std::optional<int32_t> ParseInt32(const QString& text);

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2), whatever the floating-point rounding mode.
double RoundHalfEven(double value);

}  // namespace celaris::profile
