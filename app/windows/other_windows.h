// The windows besides the main one: setup, horizon editor, model terms,
// slewing and about. Each mirrors its model and forwards the user's actions.
#pragma once

#include <QDialog>
#include <QWidget>
#include <array>
#include <functional>

#include "celaris/hub/hub.h"
#include "errors_model.h"
#include "horizon_model.h"
#include "setup_model.h"

class QLineEdit;
class QCheckBox;
class QPushButton;
class QLabel;
class QSlider;

namespace celaris::windows {

class HorizonWindow;

class SetupWindow : public QDialog {
    Q_OBJECT
  public:
    SetupWindow(models::SetupModel& model, hub::Program& program, HorizonWindow* horizon,
                QWidget* parent = nullptr);
    models::SetupModel& model() { return model_; }
    void Sync();

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void Collect();
    models::SetupModel& model_;
    hub::Program& program_;
    std::array<QLineEdit*, 4> site_{};
    QCheckBox *german_, *enforce_, *antiBacklash_, *firstPause_, *j2000_;
    QLineEdit *flipE_, *flipW_, *decLimit_, *altLimit_, *backlash_, *slewPause_, *poll_;
    QPushButton* choose_;
};

class HorizonWindow : public QDialog {
    Q_OBJECT
  public:
    HorizonWindow(models::HorizonModel& model, hub::Program& program, QWidget* parent = nullptr);
    models::HorizonModel& model() { return model_; }
    void Sync();

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    models::HorizonModel& model_;
    hub::Program& program_;
    std::array<QSlider*, models::HorizonModel::kPoints> sliders_{};
    std::array<QLineEdit*, models::HorizonModel::kPoints> texts_{};
};

class ErrorsWindow : public QWidget {
    Q_OBJECT
  public:
    ErrorsWindow(models::ErrorsModel& model, hub::Program& program, QWidget* parent = nullptr);
    void Sync();

  protected:
    void changeEvent(QEvent* e) override;

  private:
    models::ErrorsModel& model_;
    hub::Program& program_;
    std::array<QLabel*, 8> values_{};
    std::array<QLabel*, 8> stdErrors_{};
    QLabel *fitUsed_, *fitRms_, *fitPsd_, *fitEastWest_, *fitWarnings_;
};

// The synchronous slew the main window starts: the window shows while the
// driver's blocking SlewToTarget runs, and takes the user's input away
// from the other windows meanwhile.
class SlewingWindow : public QDialog, public hub::SlewingWindow {
    Q_OBJECT
  public:
    SlewingWindow(hub::Hub& hub, QWidget* mainWindow);
    ~SlewingWindow() override;
    void RunSynchronousSlew() override;

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    hub::Hub& hub_;
    QWidget* main_;
    int frame_ = 0;
};

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    AboutBox(hub::Program& program, QWidget* parent = nullptr);
    // The text "System Info" shows.
    static QString SystemInfo(hub::Program& program);
};

// The manual's index page, installed or in the build tree.
QString ManualPath();

}  // namespace celaris::windows
