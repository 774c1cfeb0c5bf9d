// The texts of the ASCOM Alpaca wire that both ends of Celaris speak: the
// server in alpaca/ and the driver that calls remote telescopes. Booleans,
// numbers and dates as parameters and JSON values, the error numbers, and
// the discovery protocol's constants.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "celaris/dispatch/ascom_errors.h"

namespace celaris::alpaca_wire {

// Alpaca error numbers: the low half of the COM-style driver errors, so both
// tables have one source.
inline constexpr int kNotImplemented = ascom_error::kNotImplemented & 0xFFFF;
inline constexpr int kInvalidValue = ascom_error::kInvalidValue & 0xFFFF;
inline constexpr int kValueNotSet = ascom_error::kValueNotSet & 0xFFFF;
inline constexpr int kNotConnected = ascom_error::kNotConnected & 0xFFFF;
inline constexpr int kInvalidWhileParked = ascom_error::kInvalidWhileParked & 0xFFFF;
inline constexpr int kInvalidOperation = ascom_error::kInvalidOperation & 0xFFFF;
inline constexpr int kActionNotImplemented = ascom_error::kActionNotImplemented & 0xFFFF;
static_assert(kInvalidValue == 0x401 && kNotConnected == 0x407);
// The first driver-specific number; Celaris's own failures without a more
// precise meaning go out as this.
inline constexpr int kDriverError = 0x500;
inline constexpr int kFirstError = 0x400;
inline constexpr int kLastError = 0xFFF;

// COM-style number of an Alpaca error: 0x80040000 + n.
constexpr int32_t ComNumber(int alpacaNumber) {
    return static_cast<int32_t>(0x80040000u + static_cast<uint32_t>(alpacaNumber));
}
// The Alpaca number of a COM-style 0x80040400 ... 0x80040FFF, by the generic
// rule (0x80040000 + n -> n); nothing for other numbers.
std::optional<int> GenericAlpacaNumber(int32_t comNumber);

// Discovery: UDP port, request text, IPv6 multicast group.
inline constexpr int kDiscoveryPort = 32227;
inline constexpr char kDiscoveryRequest[] = "alpacadiscovery1";
inline constexpr char kDiscoveryGroupV6[] = "ff12::a1:9aca";

// Parameter values. Surrounding blanks are ignored; anything else that does
// not fit gives nothing.
// "true" / "false" in any letter case.
std::optional<bool> ParseBool(std::string_view text);
// A finite decimal number with "." as decimal separator, optional sign and
// exponent, no thousands separators.
std::optional<double> ParseDouble(std::string_view text);
// A whole number in the 32-bit signed range.
std::optional<int32_t> ParseInt(std::string_view text);
// A whole number in [0, 4294967295], as ClientID and ClientTransactionID.
std::optional<uint32_t> ParseUInt32(std::string_view text);
// ISO 8601 date and time in UTC: "2024-03-01T21:05:09Z", with or without
// fractional seconds (any number of digits, rounded to milliseconds), with
// "Z", "+00:00" or another offset (converted to UTC), or with no zone at
// all (taken as UTC).
std::optional<QDateTime> ParseUtcDate(std::string_view text);

// The shortest text that reads back as the same double ("12.5", "1e-07").
std::string FormatDouble(double value);
// ISO 8601 in UTC with milliseconds and "Z": "2024-03-01T21:05:09.250Z".
QString FormatUtcDate(const QDateTime& value);

// ASCII letters compared without regard to case, as query keys are.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Percent-decoding of one query or form field ("+" is a blank).
std::string DecodeFormField(std::string_view text);
// Percent-encoding of one form value (unreserved characters stay).
std::string EncodeFormField(std::string_view text);

}  // namespace celaris::alpaca_wire
