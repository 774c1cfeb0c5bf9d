// frmAlignPolar: the polar alignment assistant's window over its model.
#pragma once

#include <QDialog>

#include "polar_align_model.h"

class QLabel;
class QPushButton;

namespace celaris::windows {

class PolarAlignWindow : public QDialog {
    Q_OBJECT
  public:
    PolarAlignWindow(models::PolarAlignModel& model, hub::Program& program,
                     QWidget* parent = nullptr);
    void Sync();

  protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void reject() override;

  private:
    models::PolarAlignModel& model_;
    hub::Program& program_;
    QLabel* lblStep_;
    QPushButton *ok_, *cancel_;
};

}  // namespace celaris::windows
