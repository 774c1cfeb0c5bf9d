// frmAlignPolar "Adjust Polar Alignment": one star, centred with the full
// model; the model's two polar terms are set to zero and the mount is sent
// to where the star would be without them, so the user re-centres it with
// the polar axis adjusters. Cancel puts the model back as it was.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"

namespace celaris::models {

class PolarAlignModel : public QObject {
    Q_OBJECT
  public:
    PolarAlignModel(hub::Program& program, calibration::CalibrationStore& store,
                    QObject* parent = nullptr);

    // 0 not connected, 1 centre a star, 2 adjust the axis, 3 done, 4 closed
    // through OK.
    int16_t AlignStep = 0;
    double SavedPolarLeftRight = 0.0;  // radians
    double SavedPolarVertical = 0.0;
    bool SavedCorrectionsOn = true;
    double StarRA = 0.0;   // hours
    double StarDec = 0.0;  // degrees

    QString lblStep;
    QString OKButtonCaption = QStringLiteral("Next");
    bool OKButtonEnabled = false;
    bool visible = false;

    static QString StepText(int step);

    // Every time the window is shown.
    void Activate();
    // "Next" / "OK".
    void Next();
    // "Cancel", at any step.
    void Cancel();

  signals:
    void changed();
    // The window hides itself.
    void closeRequested();

  private:
    void ShowStep();
    // The two polar terms into the engine and the program's copy, and the
    // model terms window refreshed.
    void SetPolarTerms(double leftRight, double vertical);

    hub::Program& program_;
    calibration::CalibrationStore& store_;
    // The saved terms belong to this showing of the window.
    bool saved_ = false;
};

}  // namespace celaris::models
