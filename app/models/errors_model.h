// frmErrors "Telescope Pointing Errors": the eight model quantities as
// degrees, minutes and seconds, and the update that hands the saved model
// terms to the engine.
#pragma once

#include <QObject>
#include <QString>

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

    QString lblHourOffset = QStringLiteral("0.0"), lblDecOffset = QStringLiteral("0.0"),
            lblCollimation = QStringLiteral("0.0"), lblAxisNonPerp = QStringLiteral("0.0"),
            lblPolarLR = QStringLiteral("0.0"), lblPolarVert = QStringLiteral("0.0"),
            lblTubeFlex = QStringLiteral("0.0"), lblMountFlex = QStringLiteral("0.0");

    // Labels from the saved terms, the pier-model box, then the nine terms
    // into the engine. Never reports; a failing step is skipped.
    void Update();

    // "1º 02' 03\"" from radians.
    static QString FormatTerm(double radians);

  signals:
    void changed();

  private:
    hub::Program& program_;
    MainModel* main_ = nullptr;
};

}  // namespace celaris::models
