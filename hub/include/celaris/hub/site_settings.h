// The settings the hub reads (site, mount, limits, slews).
#pragma once

#include <QString>

namespace celaris::hub {

struct Settings {
    QString Scope;
    bool IsGerman = false;
    double Latitude = 45.0;    // degrees
    double Longitude = -75.0;  // degrees, east positive
    double Pressure = 101.325;
    double Temperature = 15.0;
    int PierSideModel = 2;  // 0 Normal, 1 Inverted, 2 Auto
    double FlipLimitE = 0.0872664626;
    double FlipLimitW = 0.0872664626;
    double DecLimit = 1.570796327;
    double AltLimit = 1.570796327;
    bool EnforceLimits = false;
    bool AntiBacklash = false;
    double Backlash = 2.908882086657216e-4;  // radians
    double SlewPause = 1.0;                  // seconds
    bool FirstSlewPause = false;
    double PollInterval = 1.0;
};

}  // namespace celaris::hub
