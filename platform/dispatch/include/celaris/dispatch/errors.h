// The errors the program raises itself, with their numbers, sources and
// texts. Their help file and help context stay empty.
#pragma once

#include <QString>

#include "celaris/dispatch/com_error.h"

namespace celaris::dispatch {

inline constexpr char kHubSource[] = "ASCOM Telescope Hub for Celaris";
inline constexpr char kScriptingSource[] = "Scripting Interface for Celaris";

inline constexpr HRESULT kErrHubNotImplemented = static_cast<HRESULT>(0x80040400);
inline constexpr HRESULT kErrHubNotConnected = static_cast<HRESULT>(0x80040402);
inline constexpr HRESULT kErrHubNoDriver = static_cast<HRESULT>(0x80040403);
inline constexpr HRESULT kErrRegistryKey = static_cast<HRESULT>(0x80040406);
inline constexpr HRESULT kErrIndexBounds = static_cast<HRESULT>(0x80040500);
inline constexpr HRESULT kErrSlewLimits = 1031;
inline constexpr HRESULT kErrNoCorrection = 1032;
// A client's synchronous motion that ended before it arrived (InvalidOperation).
inline constexpr HRESULT kErrMotionEnded = static_cast<HRESULT>(0x8004040B);

// "<member> is not implemented by this telescope driver object." The member
// is "SideOfPier" for the getter and "Set SideOfPier" for the setter.
ComError ErrHubNotImplemented(const QString& member);
// "Telescope not connected."
ComError ErrHubNotConnected();
// "Telescope driver not selected in Celaris."
ComError ErrHubNoDriver();
// "Index is out of Bounds" (scripting interface).
ComError ErrIndexBounds();
// "User specified slew limits exceeded."
ComError ErrSlewLimits();
// "Cannot calculate corrected position."
ComError ErrNoCorrection();
// "<member> ended early: AbortSlew stopped the mount."
ComError ErrMotionAborted(const QString& member);
// "<member> ended early: the mount stopped before it arrived."
ComError ErrMotionStopped(const QString& member);

// The installed-driver list's errors, all number 0x80040406 with the
// caller's source.
// "Failed to open sub-key <key>."
ComError ErrRegistryKey(const QString& source, const QString& key);
// "Failed to open/create root registry key (<code>)"
ComError ErrRegistryRoot(const QString& source, int systemErrorCode);
// "Non-string found in <key> <value>"
ComError ErrRegistryNonString(const QString& source, const QString& key, const QString& value);

}  // namespace celaris::dispatch
