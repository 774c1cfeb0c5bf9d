// frmObservations "Calibration Observations" as state and rules: one
// fixed-pitch line per observation of the store with its errors after the
// fit, the use flags, remove and undo, refit, and the calibration files.
// The lines follow the store's observationsChanged; the window mirrors the
// fields below.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"
#include "window_rules.h"

namespace celaris::models {

// The column heading above the list.
inline constexpr char kObservationHeading[] =
    "Use   Name                 True RA        True Dec       Error     ErrRA      ErrDec";
// With fewer observations than this the fit is not worth showing: each
// error field reads "  N/A      ".
inline constexpr int kObservationsForErrors = 5;
// Width of the Name column; longer names are shortened to keep the columns.
inline constexpr int kObservationNameWidth = 21;
// Appended to the line of an observation beyond three standard deviations
// of the fit.
inline constexpr char kOutlierFlag[] = "  3σ";

// One line of lstObservations.
struct ObservationLine {
    QString text;
    QString tip;          // the whole name, and why a line is flagged
    bool checked = true;  // the observation's Use
    int index = 0;        // the observation's index in the store (the item data)
    bool outlier = false;
};

// The line of one observation: name, true RA, true Dec, then total, RA and
// Dec error in arc seconds, or three N/A fields.
QString FormatObservationLine(const calibration::Observation& o, bool showErrors);

// The window's resize rule, twips: the width no less than cmdUndo's right
// edge plus 100; the list 120 narrower and 1125 lower than the window, and
// never lower than 300 (the window then snaps to 1425).
struct ObservationListLayout {
    int width = 0, height = 0, listWidth = 0, listHeight = 0;
    friend bool operator==(const ObservationListLayout&, const ObservationListLayout&) = default;
};
ObservationListLayout ObservationListResize(int widthTwips, int heightTwips, int undoRightTwips);

// The file name a dialog returned, with ".clb" when it has no extension.
QString WithCalibrationExtension(const QString& path);

class ObservationListModel : public QObject {
    Q_OBJECT
  public:
    ObservationListModel(hub::Program& program, calibration::CalibrationStore& store,
                         QObject* parent = nullptr);

    calibration::CalibrationStore& store() { return store_; }

    // What the window shows.
    QString txtHeadings;
    QList<ObservationLine> lstObservations;
    int selected = -1;  // the highlighted line, -1 for none
    bool cmdRemoveEnabled = false, cmdUpdateEnabled = false, cmdSaveEnabled = false,
         cmdShowPlotEnabled = false;
    bool cmdOpenEnabled() const { return store_.controls().obsUpdateOpenEnabled; }
    bool cmdUndoEnabled() const { return store_.controls().cmdUndoEnabled; }

    // Loading the window: the heading, the Update and Undo buttons, and the
    // place and size it had (twips). The lines wait for whoever shows it.
    TwipRect Load();
    // Unloading: the place and size go back to the settings.
    void Unload(const TwipRect& place);

    // Rebuilds the lines from the store, keeping the highlighted position.
    void UpdateObservationList();
    void Select(int line);

    // The check boxes after a mouse or Up/Down key release, one per line:
    // changed flags go to the store, which refits or refreshes.
    void TakeUseFlags(const QList<bool>& checkedByLine);
    // The buttons. Failures show the error box and leave what the failed
    // step left.
    void Remove();
    void Undo();
    void Update();
    void Open();
    void Save();
    void ShowPlot();

  signals:
    void changed();
    // The residual plot shows or hides itself on this.
    void plotToggleRequested();

  private:
    void SetCalibrating(bool calibrating);

    hub::Program& program_;
    calibration::CalibrationStore& store_;
};

}  // namespace celaris::models
