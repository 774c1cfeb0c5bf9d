// The windowed program's windows over one running Program: their models,
// the views, the night palette, and the screenshots the manual uses.
#pragma once

#include <QStringList>
#include <memory>

#include "auto_cal_window.h"
#include "errors_model.h"
#include "eyepiece_window.h"
#include "horizon_model.h"
#include "main_model.h"
#include "main_window.h"
#include "map_model.h"
#include "observation_list_model.h"
#include "observation_list_window.h"
#include "observation_selection.h"
#include "other_windows.h"
#include "plot_model.h"
#include "polar_align_window.h"
#include "qt_ui.h"
#include "setup_model.h"
#include "view_windows.h"

namespace celaris::windows {

class Desktop {
  public:
    Desktop(hub::Program& program, calibration::CalibrationStore& store, QtUi* ui);
    ~Desktop();

    models::MainModel& mainModel() { return *mainModel_; }
    models::SetupModel& setupModel() { return *setupModel_; }
    models::HorizonModel& horizonModel() { return *horizonModel_; }
    models::ErrorsModel& errorsModel() { return *errorsModel_; }
    models::ObservationListModel& observationsModel() { return *observationsModel_; }
    MainWindow& main() { return *main_; }
    SetupWindow& setup() { return *setup_; }
    HorizonWindow& horizon() { return *horizon_; }
    ErrorsWindow& errors() { return *errors_; }
    ObservationListWindow& observations() { return *observations_; }
    SlewingWindow& slewing() { return *slewing_; }
    // The residual plot and the sky map, and the observation selection they
    // share with the observation list window.
    models::ObservationSelection& observationSelection() { return *selection_; }
    models::PlotModel& plotModel() { return *plotModel_; }
    models::MapModel& mapModel() { return *mapModel_; }
    PlotWindow& plot() { return *plot_; }
    MapWindow& map() { return *map_; }

    // What the windows hold goes back into the settings; runs once, at the
    // program's exit or when the windows go. Destroy the desktop before the
    // program shuts down.
    void Unload();
    // Places and shows the main window.
    void Show();
    // The automatic run's window, shown and hidden by "Auto".
    void SetAutoCalibration(calibration::AutoCalibration* run);
    AutoCalWindow* autoCal() { return autoCal_.get(); }
    // Renders every window to dir/<object name>.png; the files written.
    QStringList Screenshots(const QString& dir);

    // The main window's Scope Setup button: the setup window, modal.
    void OpenSetup();
    void ToggleErrors();
    void ToggleEyepiece();
    void OpenAlignPolar();
    // The main window's "Observations": hides a shown list, else shows it
    // refreshed. ShowObservations shows it in any case (the cautions).
    void ToggleObservations();
    void ShowObservations();
    // The observation list's cmdShowPlot and the main window's cmdMap.
    void TogglePlot();
    void ToggleMap();
    // The map's stars from the pick list, the plot toggle and the selection
    // shared by the list, the plot and the map.
    void WireViews();
    void OpenAbout();
    void OpenManual();

  private:
    hub::Program& program_;
    calibration::CalibrationStore& store_;
    bool unloaded_ = false;
    std::unique_ptr<models::ErrorsModel> errorsModel_;
    std::unique_ptr<models::MainModel> mainModel_;
    std::unique_ptr<models::SetupModel> setupModel_;
    std::unique_ptr<models::HorizonModel> horizonModel_;
    std::unique_ptr<models::ObservationListModel> observationsModel_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<HorizonWindow> horizon_;
    std::unique_ptr<SetupWindow> setup_;
    std::unique_ptr<ErrorsWindow> errors_;
    std::unique_ptr<models::EyepieceModel> eyepieceModel_;
    std::unique_ptr<EyepieceWindow> eyepiece_;
    std::unique_ptr<models::PolarAlignModel> alignModel_;
    std::unique_ptr<PolarAlignWindow> align_;
    std::unique_ptr<ObservationListWindow> observations_;
    std::unique_ptr<SlewingWindow> slewing_;
    std::unique_ptr<models::ObservationSelection> selection_;
    std::unique_ptr<models::PlotModel> plotModel_;
    std::unique_ptr<models::MapModel> mapModel_;
    std::unique_ptr<PlotWindow> plot_;
    std::unique_ptr<MapWindow> map_;
    std::unique_ptr<AutoCalWindow> autoCal_;
};

// Red on black for the whole program, or the desktop's own palette.
void ApplyNightPalette(bool night);

}  // namespace celaris::windows
