// The angle constants and conversion factors of the program, once. The
// factors are the exact decimal values every part uses, so that a position
// converted in the hub, a driver or the server comes out bit for bit the
// same.
#pragma once

namespace celaris::units {

inline constexpr double kPi = 3.141592653589793;  // 4 atan(1)
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kHalfPi = 0.5 * kPi;

inline constexpr double kHoursToRadians = 0.2617993877991492;
inline constexpr double kRadiansToHours = 3.8197186342054916;
inline constexpr double kDegreesToRadians = 0.017453292519943278;
inline constexpr double kRadiansToDegrees = 57.29577951308238;
inline constexpr double kArcSecondsPerDegree = 3600.0;

// 2 pi cut after 14 decimals: NormaliseRadians folds by whole turns of this
// value, not of kTwoPi, and its results depend on the difference.
inline constexpr double kTwoPiTruncated = 6.28318530717958;

}  // namespace celaris::units
