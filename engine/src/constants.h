// The engine's angle constants, once: pi = 4 atan(1) and what follows from
// it. The engine is its own deliverable on the standard library only, so it
// keeps these apart from the program's.
#pragma once

namespace trimcore {

inline constexpr double kPi = 3.141592653589793;  // 4 * atan(1)
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kDegToRad = kPi / 180.0;
inline constexpr double kArcsecToRad = kPi / (180.0 * 3600.0);

}  // namespace trimcore
