// frmErrors "Telescope Pointing Errors": the eight model quantities as
// degrees, minutes and seconds with the standard error of each fitted one,
// the figures of the last fit, and the update that hands the saved model
// terms to the engine.
#pragma once

#include <QObject>
#include <QString>
#include <array>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"

namespace celaris::models {

class MainModel;

class ErrorsModel : public QObject {
    Q_OBJECT
  public:
    // Takes over the program's model terms update.
    explicit ErrorsModel(hub::Program& program, QObject* parent = nullptr);
    ~ErrorsModel() override;

    // The main window whose pier-model box the update enables.
    void SetMainModel(MainModel* main) { main_ = main; }
    // The store whose fit figures the window shows; they follow its fits.
    void SetStore(calibration::CalibrationStore* store);

    QString lblHourOffset = QStringLiteral("0.0"), lblDecOffset = QStringLiteral("0.0"),
            lblCollimation = QStringLiteral("0.0"), lblAxisNonPerp = QStringLiteral("0.0"),
            lblPolarLR = QStringLiteral("0.0"), lblPolarVert = QStringLiteral("0.0"),
            lblTubeFlex = QStringLiteral("0.0"), lblMountFlex = QStringLiteral("0.0");
    // Beside each label, in the same order: "± 1.2\"" for a fitted term,
    // empty when the term was not fitted or no fit has run.
    std::array<QString, 8> lblStdError;
    // The last fit: observations used, RMS, PSD, RMS east and west of the
    // pier, and the warnings of a poorly constrained fit.
    QString lblFitUsed, lblFitRMS, lblFitPSD, lblFitEastWest, lblFitWarnings;

    // Labels from the saved terms, the pier-model box, then the nine terms
    // into the engine. Never reports; a failing step is skipped.
    void Update();

    // "1º 02' 03\"" from radians.
    static QString FormatTerm(double radians);
    // "± 1.2\"" from radians; "± ∞" when the observations do not fix it.
    static QString FormatStdError(double radians);

  signals:
    void changed();

  private:
    void RefreshFigures();

    hub::Program& program_;
    MainModel* main_ = nullptr;
    calibration::CalibrationStore* store_ = nullptr;
};

}  // namespace celaris::models
