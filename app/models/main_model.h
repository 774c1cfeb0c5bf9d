// The main window frmMain as state and rules: every control's value and
// enabled state, named after the control, and the actions its controls
// forward. The status loop's controls (MainControls) live here, the one
// copy; after each status update the labels are rebuilt and changed() tells
// the window to mirror them.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"
#include "celaris/units/angles.h"
#include "manual_calibration.h"
#include "window_rules.h"

namespace celaris::models {

class MainModel : public QObject {
    Q_OBJECT
  public:
    MainModel(hub::Program& program, calibration::CalibrationStore& store,
              QObject* parent = nullptr);
    ~MainModel() override;

    hub::Program& program() { return program_; }
    calibration::CalibrationStore& store() { return store_; }
    // The pick list, "Slew" and "+".
    ManualCalibration& manual() { return *manual_; }
    // The calibration controls (chkApplyCorr, the mode options, chkAddToCal,
    // CalibrationSaved) live in the store, so the program without windows
    // has them too.
    calibration::CalibrationControls& calibration() { return store_.controls(); }
    const calibration::CalibrationControls& calibration() const { return store_.controls(); }
    hub::MainControls& controls() { return controls_; }
    const hub::MainControls& controls() const { return controls_; }

    // The clock of the Alt/Az columns (UTC); tests set it.
    void SetClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    // What the window shows.
    QString txtStatus = QStringLiteral("Not Connected\r\n");
    QString lblScopeRA, lblScopeDec, lblScopeAlt, lblScopeAz;
    QString lblCorrRA, lblCorrDec, lblCorrAlt, lblCorrAz;
    QString lblTrueRA, lblTrueDec, lblTrueAlt, lblTrueAz;
    QString lblLST;
    bool chkOnTop = true;
    int cmbInverted = 0;   // index into "Auto", "Normal", "Inverted"
    int cmbDegMinSec = 0;  // "Deg", "ArcMin", "ArcSec"
    QString txtNudgeIncr = QStringLiteral("1");
    bool btnCorrectEnabled() const { return controls_.btnCorrectEnabled; }
    // The calibration frame: Stop only while calibrating; the mode options
    // and "Add to current cal" not while calibrating, the two recalibration
    // options also not while "Add to current cal" is ticked.
    bool cmdStopCalEnabled() const { return controls_.Calibrating; }
    bool optFullCalEnabled() const { return calibration().calOptionsEnabled; }
    bool optRecalEnabled() const {
        return calibration().calOptionsEnabled && !calibration().chkAddToCal;
    }
    // The southern hemisphere exchanges N with S and E with W.
    bool nudgeExchanged = false;
    // Program-wide state owned by the window.
    double NudgeStep = units::kDegreesToRadians;  // radians, one degree
    bool NightMode = false;

    static QStringList InvertedItems();
    static int InvertedItemData(int index);  // 2, 0, 1
    static QStringList DegMinSecItems();

    // Actions of the controls.
    void ApplyCorr(bool on);
    void SetLock(bool on);
    void SetOnTop(bool on);
    void SelectPierSideModel(int index);
    void SetNudgeUnit(int index);
    void SetNudgeIncrement(const QString& text);
    enum class Nudge { North, South, East, West };
    // Nudge by the window's button (after the southern exchange, the button
    // pressed names the direction it moves).
    void NudgeScope(Nudge direction);
    // STOP and Esc: aborts a slew in progress.
    void StopSlew();
    void SetNightMode(bool on);
    // Re-reads the settings the setup window changes (pier model box, nudge
    // places, poll interval).
    void ApplySetup();
    // "Start": with unsaved observations the caution first; on Cancel
    // showObservations runs and nothing starts. Failures show the error box.
    void StartCal(const std::function<void()>& showObservations = {});
    // "Stop".
    void StopCal();
    // The option group (0 "Full Calibration", 1 "Recal Permanent", 2
    // "Recal Portable").
    void SelectCalibrationType(int mode);
    // "Add to current cal": ticking it warns first.
    void SetAddToCal(bool on);

    // The closing questions; false when the user cancelled closing.
    // showObservations is called when the user chose to keep unsaved
    // observations.
    bool QueryUnload(const std::function<void()>& showObservations = {});

    // Rebuilds every label and control state from the hub and the loop;
    // runs after each status update.
    void Refresh();

    bool connected() const;
    // The built-in simulator is the connected mount: there is a true
    // pointing to show in the eyepiece.
    bool SimulatorConnected() const;

  signals:
    void changed();
    void onTopChanged(bool on);
    void nightModeChanged(bool on);

  private:
    void UpdatePierSideModelCombo();
    void CalibratingChanged(bool calibrating);

    hub::Program& program_;
    calibration::CalibrationStore& store_;
    hub::StatusLoop* loop_ = nullptr;
    hub::MainControls controls_;
    std::unique_ptr<ManualCalibration> manual_;
    std::function<QDateTime()> clock_;
    // The mount's site is compared once per connection and after setup.
    bool siteChecked_ = false;
    QString siteWarning_;
};

// The night mode setting, stored at the root of the hub's values.
bool ReadNightMode(profile::Profile& profile);
void WriteNightMode(profile::Profile& profile, bool on);

}  // namespace celaris::models
