// The process-wide calibration store: the observations of the current
// calibration, the fit that turns them into model terms, and the operations
// that change them. The manual and automatic calibrations, the observation
// list window, the calibration file and the scripting interface all work on
// this one store; there is exactly one per program.
//
// Everything runs on the main thread, one call at a time. The views follow
// through the signals; a view that does not exist simply is not connected.
// Failures (an engine call that fails) raise a ComError to the caller and
// leave the store as far as the operation got.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "celaris/calibration/calibration_controls.h"
#include "celaris/calibration/fit_statistics.h"
#include "celaris/calibration/observation.h"

namespace celaris::hub {
class Program;
}

namespace celaris::calibration {

class CalibrationStore : public QObject {
    Q_OBJECT
  public:
    explicit CalibrationStore(hub::Program& program, QObject* parent = nullptr);
    ~CalibrationStore() override;

    hub::Program& program() { return program_; }

    // The list, indexed from 1 (1 ... ObservationCount()).
    int16_t ObservationCount() const { return static_cast<int16_t>(list_.size()); }
    const QList<Observation>& observations() const { return list_; }
    const Observation& at(int index) const { return list_.at(index - 1); }
    // For the scripting setters and the list window's use flags: they only
    // store (no refit, no signal).
    Observation& at(int index) { return list_[index - 1]; }
    bool ValidIndex(int64_t index) const { return index >= 1 && index <= list_.size(); }

    CalibrationControls& controls() { return controls_; }
    const CalibrationControls& controls() const { return controls_; }

    // The program's copy of the nine model terms (the settings' HourOffset
    // ... DecFlex), radians, in the engine's order.
    ModelTerms Terms() const;
    // The figures of the last fit on the current list.
    const FitStatistics& statistics() const { return statistics_; }

    // Appends one observation (radians) and, with corrections on, refits.
    void Add2Cal(double raTrue, double decTrue, double raScope, double decScope, double lst,
                 const QString& name, bool westOfPier, bool use);
    // Rebuilds the engine's list from the used observations and refits.
    void Recalculate();
    // Removes observation index (1-based; nothing happens outside the
    // list) and keeps it for Undo.
    void RemoveObservation(int32_t index);
    // Puts the last removed observation back, at the end of the list.
    void Undo();
    // The observation list window's rebuild.
    void UpdateObservationList();
    // The list window's use flags taken over: flags[i] for record i + 1.
    // Refits (corrections ticked) or refreshes when any changed; true then.
    bool TakeUseFlags(const QList<bool>& flags);

    // The calibration file: opening replaces the list (a failed read leaves
    // the list untouched) and refits when corrections are ticked; saving
    // writes every record. Failures raise.
    void OpenObsFile(const QString& path);
    void SaveObsFile(const QString& path);
    // The path of the last opened file: the save dialog's proposal.
    const QString& rememberedPath() const { return rememberedPath_; }

    // Empties the list and restarts the engine's fit for the selected
    // calibration type, as starting a calibration does.
    void DiscardObservations();
    // The automatic run's restart: discards unless "Add to current cal" is
    // ticked, then the terms, the list and the views follow the engine.
    void RestartObservations();

    // Starting and stopping a calibration (the store's and the controls'
    // share; the windows follow through calibratingChanged).
    void StartCalibration();
    void StopCalibration();
    bool Calibrating() const;

    // The main window's ApplyCorr: the engine's ApplyCorrections and
    // CorrectionsOn (chkApplyCorr is the caller's); switched off with
    // observations present, the engine recomputes the residuals.
    void ApplyCorr(bool on);
    // The "Apply Correction Model" check box: ticks it and applies.
    void SetApplyCorrChecked(bool on);
    // The option group; values other than 0 and 1 select "Recal Portable".
    void SelectCalibrationType(int mode);
    void SetAddToCal(bool on);
    void SetCalibrationSaved(bool saved);
    // "Lock Target": checking it freezes the target the main window shows.
    void SetLock(bool on);
    bool Locked() const;

    // The model terms into the settings store now (atomically), so no model
    // is lost to a crash; a store that cannot be written is logged once.
    void PersistModelTerms();

    // The clock of the names "+" and AddObservation give (local time);
    // tests set it.
    void SetClock(std::function<QDateTime()> clock);
    QDateTime Now() const;

  signals:
    // The observation list window rebuilds its lines.
    void observationsChanged();
    // The model terms changed (after a fit, at the start of a calibration):
    // the model terms window updates.
    void termsChanged();
    // The residual plot and the sky map redraw when they are visible.
    void viewsChanged();
    // The star pick list is refreshed (after an add).
    void pickListChanged();
    // A file was opened: the catalogue marks the stars its observations use.
    void observationsOpened();
    // Starting a calibration clears the catalogue's Used marks.
    void catalogueUsedCleared();
    // Calibrating started or stopped; also the controls changed.
    void calibratingChanged(bool calibrating);
    void controlsChanged();

  private:
    void ReadTermsFromEngine();
    void RefreshStatistics();
    void RefreshAfterFit();
    void SyncObservationCount();
    void ClearLock();

    hub::Program& program_;
    QList<Observation> list_;
    std::optional<Observation> undo_;
    CalibrationControls controls_;
    FitStatistics statistics_;
    QString rememberedPath_;
    std::function<QDateTime()> clock_;
    bool termsWriteFailed_ = false;
};

}  // namespace celaris::calibration
