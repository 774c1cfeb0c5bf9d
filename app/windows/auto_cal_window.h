// "Auto Calibration": a view over the automatic run's model, with the
// pixel-size calculator and the catalogue path chooser it opens.
#pragma once

#include <QDialog>
#include <QWidget>

#include "celaris/calibration/auto_calibration.h"
#include "celaris/hub/program.h"
#include "pixel_calculator_model.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace celaris::windows {

// "Pixel Size Calculator", a view over its model.
class PixelCalculator : public QDialog {
    Q_OBJECT
  public:
    PixelCalculator(hub::Program& program, calibration::AutoCalibration& run, QWidget* parent);
    models::PixelCalculatorModel& model() { return model_; }
    void Refresh();

  private:
    models::PixelCalculatorModel model_;
    QLineEdit *txtSizeX_, *txtSizeY_, *txtFocalLength_;
    QLabel *lblAPPX_, *lblAPPY_;
};

class AutoCalWindow : public QWidget {
    Q_OBJECT
  public:
    AutoCalWindow(hub::Program& program, calibration::AutoCalibration& run,
                  QWidget* parent = nullptr);
    void Refresh();
    PixelCalculator& calculator() { return *calculator_; }
    calibration::AutoCalibration& run() { return run_; }

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void TakeBoxes();
    void Browse();

    hub::Program& program_;
    calibration::AutoCalibration& run_;
    PixelCalculator* calculator_;
    QLabel *lblCalStatus_, *lblStarfixStatus_, *lblCameraStatus_, *lblBin_, *lblTimeLeft_;
    QPushButton *cmdStart_, *cmdStop_, *cmdResume_;
    QProgressBar* progbarCal_;
    QListWidget* lstFilters_;
    QComboBox* cmbAccuracy_;
    QButtonGroup *optCatalog_, *optProjection_;
    QLineEdit *txtExposure_, *txtBin_, *txtCatPath_, *txtSigma_, *txtMinBright_, *txtMinStar_,
        *txtCatMaxMag_, *txtResolution_, *txtCatExp_, *txtMaxStars_, *txtMaxTime_;
    bool loaded_ = true;
};

}  // namespace celaris::windows
