// A calibration for the manual's pictures of the residual plot and the sky
// map: bright stars over a fixed June evening, measured by a mount with
// errors of a few arc-minutes, a little seeing, one badly centred star and
// one observation left out of the fit. Everything goes through the store,
// so the fit, the residuals and the statistics are real.
#pragma once

#include <QList>
#include <functional>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"
#include "map_model.h"

namespace celaris::models {

struct MapSample {
    // The stars above the horizon profile, catalogue order, with their
    // used marks: the pick list the map shows.
    QList<MapStar> pickList;
    int currentStar = -1;
};

// UTC seconds of the sample evening (2025-06-15 03:00 UTC).
double MapSampleInstant();

// Sets the hub's clock to the sample evening and the sidereal time with
// it, and adds the sample observations to the store.
MapSample AddMapSample(hub::Program& program, calibration::CalibrationStore& store);

// What the sample changes besides the store, kept to be put back: the
// model terms (in the settings, the engine and the profile) and the
// telescope position.
class MapSampleRestore {
  public:
    explicit MapSampleRestore(hub::Program& program);
    ~MapSampleRestore();
    MapSampleRestore(const MapSampleRestore&) = delete;
    MapSampleRestore& operator=(const MapSampleRestore&) = delete;

  private:
    hub::Program& program_;
    calibration::ModelTerms terms_;
    double correctedRA_, correctedDec_;
};

}  // namespace celaris::models
