// Error numbers that ASCOM drivers raise (COM form, 0x80040400 + n), and
// helpers that raise them with a driver's own source.
#pragma once

#include <QString>
#include <cstdint>

#include "celaris/dispatch/com_error.h"

namespace celaris {
using dispatch::ComError;
using dispatch::Raise;
}  // namespace celaris

namespace celaris::ascom_error {

constexpr int32_t kNotImplemented = static_cast<int32_t>(0x80040400);
constexpr int32_t kInvalidValue = static_cast<int32_t>(0x80040401);
constexpr int32_t kValueNotSet = static_cast<int32_t>(0x80040402);
constexpr int32_t kNotConnected = static_cast<int32_t>(0x80040407);
constexpr int32_t kInvalidWhileParked = static_cast<int32_t>(0x80040408);
constexpr int32_t kInvalidWhileSlaved = static_cast<int32_t>(0x80040409);
constexpr int32_t kInvalidOperation = static_cast<int32_t>(0x8004040B);
constexpr int32_t kActionNotImplemented = static_cast<int32_t>(0x8004040C);
// Automation's own: an argument or result of the wrong type.
constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x80020005);
constexpr int32_t kUnknownName = static_cast<int32_t>(0x80020006);
constexpr int32_t kBadParamCount = static_cast<int32_t>(0x8002000E);

// "<member> is not implemented by this telescope driver object."-style
// texts belong to the hub; drivers describe their own failures.
[[noreturn]] void NotImplemented(const QString& source, const QString& member);
[[noreturn]] void InvalidValue(const QString& source, const QString& what);
[[noreturn]] void ValueNotSet(const QString& source, const QString& what);
[[noreturn]] void NotConnected(const QString& source);
[[noreturn]] void InvalidWhileParked(const QString& source, const QString& member);
[[noreturn]] void InvalidOperation(const QString& source, const QString& what);

}  // namespace celaris::ascom_error
