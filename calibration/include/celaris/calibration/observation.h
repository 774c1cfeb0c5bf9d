// One observation of the calibration store and the list that holds them,
// indexed from 1 as every caller (scripts, the list window, the file)
// numbers them.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>

namespace celaris::calibration {

// Angles are radians.
struct Observation {
    QString Name;
    double RATrue = 0.0;
    double DecTrue = 0.0;
    double RAScope = 0.0;
    double DecScope = 0.0;
    // After the last fit, as the engine gives them (the RA residual is not
    // scaled by cos(dec)); 0 until a fit has run.
    double RAResidual = 0.0;
    double DecResidual = 0.0;
    // -1.0 when taken on the flipped side of the pier, 0.0 otherwise; any
    // non-zero value reads as true.
    double WestOfPier = 0.0;
    double LST = 0.0;
    bool Use = true;

    bool IsWestOfPier() const { return WestOfPier != 0.0; }
    // The residual on the sky (RA error scaled by cos(DecScope)), radians.
    double SkyRAError() const;
    double SkyError() const;

    friend bool operator==(const Observation&, const Observation&) = default;
};

// The list never holds more records than ObservationCount can count.
inline constexpr int kMaxObservations = 32767;

// The value a Boolean WestOfPier is stored as.
inline double WestOfPierValue(bool west) {
    return west ? -1.0 : 0.0;
}

}  // namespace celaris::calibration
