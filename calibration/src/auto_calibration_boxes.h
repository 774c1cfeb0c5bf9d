// What the files of the automatic calibration share: the window's title,
// which its errors carry as their source, and its boxes read as numbers.
#pragma once

#include <QString>

#include <cstdint>

namespace celaris::calibration {

inline constexpr char kWindowTitle[] = "Auto Calibration";

// A setting as its box shows it.
inline QString Text(double v) {
    return QString::number(v, 'g', 15);
}

// A box's number; a box that holds none stops the step that needs it.
double BoxNumber(const QString& text, const char* box);
int16_t BoxInt16(const QString& text, const char* box);

}  // namespace celaris::calibration
