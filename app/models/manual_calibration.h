// The main window's side of the manual calibration: the reference star pick
// list it shows, "Slew" to the chosen star through the model, and "+", which
// records the star's true position against where the mount reports it.
// Start, Stop and the store's own rules are the calibration store's.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

#include "celaris/calibration/calibration_store.h"
#include "celaris/catalogue/star_pick_list.h"
#include "celaris/hub/program.h"
#include "map_model.h"

namespace celaris::models {

// The driver slews one way or the other (CanSlewAsync or CanSlew): what
// "Slew", the nudges and the polar assistant ask before they move.
bool CanSlewSomehow(Driver& d);

class ManualCalibration : public QObject {
    Q_OBJECT
  public:
    // controls: the main window's record the status loop works on.
    ManualCalibration(hub::Program& program, calibration::CalibrationStore& store,
                      hub::MainControls& controls, QObject* parent = nullptr);
    ~ManualCalibration() override;

    catalogue::StarPickList& stars() { return stars_; }

    // At the main window's loading: reads and reduces the catalogue.
    void Load();
    // After each status update: the pick list's distances every 240 updates
    // while connected.
    void StatusUpdated(int statusCount);
    // After the site, the limits or the horizon changed.
    void SiteChanged();

    // "Slew": to the current star where the model expects it.
    void Slew2NearStar();
    // "+": the current observation into the calibration.
    void AddObservation();

    // The name "+" gives an observation at true position (radians): the
    // star's name within 1 degree of the current star, else the UTC time
    // as "2004-03-05 22:13:09Z".
    QString ObservationName(double raTrue, double decTrue) const;

    // The UTC clock of the names; tests set it. Unset: the engine's UTCNow.
    void SetClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

  signals:
    void changed();

  private:
    QDateTime UtcNow() const;

    hub::Program& program_;
    calibration::CalibrationStore& store_;
    hub::MainControls& controls_;
    catalogue::StarPickList stars_;
    std::function<QDateTime()> clock_;
};

// The pick list as the sky map draws it, a click choosing the star's line
// and a double click slewing to it: for the map window and the console's.
MapStars PickListForMap(ManualCalibration& manual);

}  // namespace celaris::models
