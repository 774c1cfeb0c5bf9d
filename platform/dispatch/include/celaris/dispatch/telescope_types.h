// The value types of the ASCOM Telescope interface that cross the late-bound
// driver boundary inside a QVariant.
#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace celaris {

enum class AlignmentModes : int { algUnknown = -1, algAltAz = 0, algPolar = 1, algGermanPolar = 2 };
enum class GuideDirections : int { guideNorth = 0, guideSouth = 1, guideEast = 2, guideWest = 3 };
enum class EquatorialCoordinateType : int {
    equOther = 0,
    equLocalTopocentric = 1,
    equJ2000 = 2,
    equJ2050 = 3,
    equB1950 = 4
};
enum class DriveRates : int { driveSidereal = 0, driveLunar = 1, driveSolar = 2, driveKing = 3 };
enum class TelescopeAxes : int { axisPrimary = 0, axisSecondary = 1, axisTertiary = 2 };
// pierUnknown is what Alpaca and newer drivers answer when they cannot tell.
enum class PierSide : int { pierUnknown = -1, pierEast = 0, pierWest = 1 };

// One entry of an AxisRates collection, degrees per second.
struct AxisRate {
    double minimum = 0.0;
    double maximum = 0.0;
    bool operator==(const AxisRate&) const = default;
};

// The collection objects of TrackingRates and AxisRates.
using AxisRates = QList<AxisRate>;
using TrackingRates = QList<int>;  // DriveRates values

// One operational property of DeviceState: its ASCOM name and value (bool,
// int, double, or a QDateTime for UTCDate and TimeStamp).
struct StateValue {
    QString name;
    QVariant value;
    bool operator==(const StateValue&) const = default;
};
using StateValues = QList<StateValue>;

}  // namespace celaris

Q_DECLARE_METATYPE(celaris::AxisRate)
Q_DECLARE_METATYPE(celaris::AxisRates)
Q_DECLARE_METATYPE(celaris::StateValue)
Q_DECLARE_METATYPE(celaris::StateValues)
