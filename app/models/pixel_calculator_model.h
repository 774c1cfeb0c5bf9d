// "Pixel Size Calculator": the camera's pixel sizes and the focal length
// give the plate scale in arc seconds, whose mean becomes the automatic
// run's resolution. Closing keeps the three numbers; unloading the run's
// window keeps the focal length that matches the (perhaps refined)
// resolution.
#pragma once

#include <QObject>
#include <QString>

#include "celaris/calibration/auto_calibration.h"
#include "celaris/hub/program.h"

namespace celaris::models {

class PixelCalculatorModel : public QObject {
    Q_OBJECT
  public:
    PixelCalculatorModel(hub::Program& program, calibration::AutoCalibration& run,
                         QObject* parent = nullptr);

    // The boxes (as typed) and the scales shown.
    QString txtSizeX, txtSizeY, txtFocalLength;
    QString lblAPPX, lblAPPY;

    // The stored sizes and focal length, then Calculate.
    void Load();
    // A box without a number (or a zero focal length) shows "Type mismatch"
    // and leaves the scales and the run's resolution as they were.
    void Calculate();
    // The linked camera's pixel sizes.
    void GetSizes();
    // "Close": the three numbers are written, or nothing when one is not a
    // number.
    void CloseAndKeep();
    // The focal length follows the run's resolution and the X size.
    void Unload();

  signals:
    void changed();

  private:
    hub::Program& program_;
    calibration::AutoCalibration& run_;
};

}  // namespace celaris::models
