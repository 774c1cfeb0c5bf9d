// The main window's calibration controls that the store and the scripting
// interface read and set. They live here, not in a window, so the program
// without windows has them too; the main window's model mirrors them.
#pragma once

namespace celaris::calibration {

// The option group optFullCal / optReCalPerm / optRecalPort; the values are
// the scripting interface's CalibrationMode.
enum class CalibrationMode { calFull = 0, calPerm = 1, calPort = 2 };

struct CalibrationControls {
    // "Apply Correction Model" is ticked.
    bool chkApplyCorr = true;
    // The engine applies the model (the scripting put changes this and not
    // the check box).
    bool CorrectionsOn = true;
    CalibrationMode calibrationType = CalibrationMode::calFull;
    // "Add to current cal".
    bool chkAddToCal = false;
    // The three mode options and "Add to current cal" accept input (off
    // while calibrating); the two recalibration options also need
    // "Add to current cal" cleared.
    bool calOptionsEnabled = true;
    // The observations have been saved (or there is nothing to lose).
    bool CalibrationSaved = true;
    // The observation list window's Update and Open buttons (off while
    // calibrating).
    bool obsUpdateOpenEnabled = true;
    // The list window's Undo: a removed observation can be put back.
    bool cmdUndoEnabled = false;

    bool FullCalibration() const { return calibrationType == CalibrationMode::calFull; }
};

}  // namespace celaris::calibration
