// "Eyepiece": the simulated tube's view, drawn from its model, for practising
// a calibration on the built-in simulator.
#pragma once

#include <QWidget>

#include "eyepiece_model.h"

class QLabel;

namespace celaris::windows {

class EyepieceField : public QWidget {
    Q_OBJECT
  public:
    explicit EyepieceField(models::EyepieceModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {360, 360}; }
    void SetNight(bool on) {
        night_ = on;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    models::EyepieceModel& model_;
    bool night_ = false;
};

class EyepieceWindow : public QWidget {
    Q_OBJECT
  public:
    EyepieceWindow(models::EyepieceModel& model, QWidget* parent = nullptr);
    void Sync();
    EyepieceField* fieldView() { return field_; }

  private:
    models::EyepieceModel& model_;
    EyepieceField* field_;
    QLabel* caption_;
};

}  // namespace celaris::windows
