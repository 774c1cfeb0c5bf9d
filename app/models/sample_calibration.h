// A calibration to show in the manual's pictures: thirty observations of
// bright stars through a mount with known errors, a few arc seconds of
// centring noise, one observation badly centred and one left out of the
// fit. It goes through the store as a user's calibration would, so the
// observation list and the model terms window show a real fit.
#pragma once

#include <optional>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"

namespace celaris::models {

// The mount's errors the sample is made with, radians, in the engine's
// term order.
calibration::ModelTerms SampleMountErrors();

// Loads the sample into an empty store that is not calibrating, and takes
// it out again when it goes: the list, the model terms (settings, settings
// file and engine), the engine's flags, the mode and the saved flag are then
// as before.
class SampleCalibration {
  public:
    SampleCalibration(hub::Program& program, calibration::CalibrationStore& store);
    ~SampleCalibration();
    SampleCalibration(const SampleCalibration&) = delete;
    SampleCalibration& operator=(const SampleCalibration&) = delete;

    // The sample is in the store.
    bool loaded() const { return loaded_; }

  private:
    struct Saved {
        calibration::ModelTerms terms;
        calibration::CalibrationControls controls;
        LONG applyCorrections = -1, inverted = 0;
    };
    hub::Program& program_;
    calibration::CalibrationStore& store_;
    std::optional<Saved> saved_;
    bool loaded_ = false;
};

}  // namespace celaris::models
