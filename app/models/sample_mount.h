// What the manual's two samples (the calibration of the list and terms
// pictures, and that of the plot and map pictures) share: the mount's
// errors put into the engine, and the user's model terms kept and put back
// in the settings.
#pragma once

#include "celaris/calibration/fit_statistics.h"
#include "celaris/profile/settings.h"
#include "trimcore/isvd.h"

namespace celaris::models {

// The settings' model terms, in the engine's term order.
calibration::ModelTerms SettingsTerms(const profile::Settings& s);
void SetSettingsTerms(profile::Settings& s, const calibration::ModelTerms& t);

// The engine measures through a mount with these errors (radians, engine
// term order); a failing setter ends the step.
void PutMountErrors(ISVD* e, const calibration::ModelTerms& errors);

}  // namespace celaris::models
