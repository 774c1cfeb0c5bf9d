// frmMain "Celaris": mirrors MainModel and forwards the user's actions; the
// other windows open from here.
#pragma once

#include <QMainWindow>
#include <functional>

#include "main_model.h"

class QLabel;
class QPushButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QGridLayout;
class QAction;
class QRadioButton;

namespace celaris::windows {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(models::MainModel& model, QWidget* parent = nullptr);

    models::MainModel& model() { return model_; }
    // Other windows the buttons open.
    void SetOpenSetup(std::function<void()> fn) { openSetup_ = std::move(fn); }
    void SetToggleErrors(std::function<void()> fn) { toggleErrors_ = std::move(fn); }
    void SetToggleEyepiece(std::function<void()> fn) { toggleEyepiece_ = std::move(fn); }
    void SetOpenAlignPolar(std::function<void()> fn) { openAlignPolar_ = std::move(fn); }
    void SetToggleMap(std::function<void()> fn) { toggleMap_ = std::move(fn); }
    void SetOpenAbout(std::function<void()> fn) { openAbout_ = std::move(fn); }
    // "Auto": shows or hides the automatic calibration window.
    void SetToggleAutoCal(std::function<void()> fn) { toggleAutoCal_ = std::move(fn); }
    void SetOpenManual(std::function<void()> fn) { openManual_ = std::move(fn); }
    // "Observations" hides or shows the list; the cautions of Start and of
    // closing show it.
    void SetToggleObservations(std::function<void()> fn) { toggleObservations_ = std::move(fn); }
    void SetShowObservations(std::function<void()> fn) { showObservations_ = std::move(fn); }

    // Mirrors the model.
    void Sync();
    // Stored places: twips, kept on the screen.
    void PlaceFromSettings();
    void RememberPlace();

  protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    QLabel* AddLabel(const char* name, const QString& text = QString());
    QPushButton* AddButton(const char* name, const QString& text, const QString& tip);
    void PlaceNudgeButtons();

    models::MainModel& model_;
    QPlainTextEdit* txtStatus_;
    QLabel *lblScope_[4], *lblCorr_[4], *lblTrue_[4], *lblLST_, *lblCalStatus_;
    QCheckBox *chkApplyCorr_, *chkLock_, *chkOnTop_;
    QComboBox *cmbInverted_, *cmbDegMinSec_, *cmbNearStars_;
    QStringList shownStars_;
    QLineEdit* txtNudgeIncr_;
    QWidget* updnIncrement_;
    QPushButton *cmdNorth_, *cmdSouth_, *cmdEast_, *cmdWest_;
    QPushButton *cmdSlew_, *cmdStopSlew_, *btnCorrect_, *btnAlignPolar_, *cmdSiteInfo_;
    QRadioButton *optFullCal_, *optReCalPerm_, *optRecalPort_;
    QCheckBox* chkAddToCal_;
    QPushButton *cmdStartCal_, *cmdStopCal_;
    QList<QWidget*> pickList_, calibration_;
    QGridLayout* nudgeGrid_;
    QAction* nightAction_;
    bool placedExchanged_ = false;
    std::function<void()> openSetup_, toggleErrors_, toggleEyepiece_, openAlignPolar_, openAbout_,
        openManual_, toggleMap_, toggleAutoCal_;
    std::function<void()> toggleObservations_, showObservations_;
    QPushButton* cmdEyepiece_ = nullptr;
};

}  // namespace celaris::windows
