// What the simulated tube really sees: the reference stars around the true
// pointing of the built-in simulator (its hidden errors included), north up
// and east left as in an eyepiece without a diagonal. The drawing is a list
// of stars in field coordinates, so the view only paints it.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "celaris/catalogue/star_pick_list.h"
#include "celaris/hub/program.h"

namespace celaris::models {

struct FieldStar {
    QString name;
    double magnitude = 0.0;
    // Degrees from the field's centre: x grows to the west (right), y to
    // the north (up).
    double x = 0.0;
    double y = 0.0;
};

class EyepieceModel : public QObject {
    Q_OBJECT
  public:
    EyepieceModel(hub::Program& program, const catalogue::StarPickList& stars,
                  QObject* parent = nullptr);

    // The field's width and height, degrees.
    double fieldDeg = 1.0;

    // The simulator is the connected driver, so there is a true pointing.
    bool available = false;
    // Where the tube points (true apparent place), radians.
    double centreRA = 0.0, centreDec = 0.0;
    QList<FieldStar> field;
    // "RA 12:30:01.3  Dec +45° 30' 00\"", or why nothing is shown.
    QString caption;

    // Re-reads the true pointing and the stars in the field.
    void Refresh();

    // The simulator's polar axis adjusters: turning one moves the polar
    // axis (its hidden polar terms) by the step, as the real bolts do.
    enum class Knob { Altitude, Azimuth };
    double knobStepArcsec = 60.0;
    // False when the simulator is not the mount.
    bool TurnPolarKnob(Knob knob, int direction);

    // Gnomonic projection about (ra0, dec0); false behind the tangent plane.
    static bool Project(double ra, double dec, double ra0, double dec0, double& xDeg, double& yDeg);

  signals:
    void changed();

  private:
    hub::Program& program_;
    const catalogue::StarPickList& stars_;
};

}  // namespace celaris::models
