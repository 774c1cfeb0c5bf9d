#include "desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QStyle>
#include <QUrl>

#include "sample_calibration.h"
#include "window_place.h"

namespace celaris::windows {

void ApplyNightPalette(bool night) {
    static const QPalette day = QApplication::palette();
    if (!night) {
        QApplication::setPalette(day);
        return;
    }
    // Dark adaptation survives only deep red light.
    QPalette p;
    const QColor black(0, 0, 0), dark(40, 0, 0), red(200, 0, 0), dim(110, 0, 0);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, black);
        p.setColor(group, QPalette::WindowText, red);
        p.setColor(group, QPalette::Base, dark);
        p.setColor(group, QPalette::AlternateBase, black);
        p.setColor(group, QPalette::Text, red);
        p.setColor(group, QPalette::Button, dark);
        p.setColor(group, QPalette::ButtonText, red);
        p.setColor(group, QPalette::BrightText, red);
        p.setColor(group, QPalette::Highlight, dim);
        p.setColor(group, QPalette::HighlightedText, black);
        p.setColor(group, QPalette::ToolTipBase, dark);
        p.setColor(group, QPalette::ToolTipText, red);
        p.setColor(group, QPalette::Light, dim);
        p.setColor(group, QPalette::Midlight, dark);
        p.setColor(group, QPalette::Mid, dark);
        p.setColor(group, QPalette::Dark, dark);
        p.setColor(group, QPalette::Shadow, black);
        p.setColor(group, QPalette::PlaceholderText, dim);
    }
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(80, 0, 0));
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(QPalette::Disabled, role, black);
    QApplication::setPalette(p);
}

Desktop::Desktop(hub::Program& program, calibration::CalibrationStore& store, QtUi* ui)
    : program_(program), store_(store) {
    if (ui) ui->SetProfile(&program.profile());
    errorsModel_ = std::make_unique<models::ErrorsModel>(program);
    mainModel_ = std::make_unique<models::MainModel>(program, store);
    errorsModel_->SetMainModel(mainModel_.get());
    errorsModel_->SetStore(&store);
    observationsModel_ = std::make_unique<models::ObservationListModel>(program, store);
    setupModel_ = std::make_unique<models::SetupModel>(program);
    setupModel_->SetMainModel(mainModel_.get());
    setupModel_->SetOpenUrl([](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    horizonModel_ = std::make_unique<models::HorizonModel>(program);

    main_ = std::make_unique<MainWindow>(*mainModel_);
    horizon_ = std::make_unique<HorizonWindow>(*horizonModel_, program, main_.get());
    setup_ = std::make_unique<SetupWindow>(*setupModel_, program, horizon_.get(), main_.get());
    errors_ = std::make_unique<ErrorsWindow>(*errorsModel_, program, main_.get());
    observations_ = std::make_unique<ObservationListWindow>(*observationsModel_, main_.get());
    slewing_ = std::make_unique<SlewingWindow>(program.hub(), main_.get());
    eyepieceModel_ = std::make_unique<models::EyepieceModel>(program, mainModel_->manual().stars());
    eyepiece_ = std::make_unique<EyepieceWindow>(*eyepieceModel_, main_.get());
    alignModel_ = std::make_unique<models::PolarAlignModel>(program, store);
    align_ = std::make_unique<PolarAlignWindow>(*alignModel_, program, main_.get());
    // Redrawn as the mount moves, while it is shown.
    QObject::connect(&program.status(), &hub::StatusLoop::statusChanged, eyepiece_.get(), [this] {
        if (eyepiece_->isVisible()) eyepieceModel_->Refresh();
    });
    selection_ = std::make_unique<models::ObservationSelection>();
    plotModel_ = std::make_unique<models::PlotModel>(store, *selection_);
    mapModel_ = std::make_unique<models::MapModel>(program, store, *selection_);
    mapModel_->SetMainVisible([this] { return main_->isVisible(); });
    plot_ = std::make_unique<PlotWindow>(*plotModel_, program, main_.get());
    map_ = std::make_unique<MapWindow>(*mapModel_, program, main_.get());
    // The main window's loading gives the saved terms to the engine.
    program.UpdateEngineTerms();
    // The last step of the main window's loading: the reference stars.
    mainModel_->manual().Load();

    main_->SetOpenSetup([this] { OpenSetup(); });
    main_->SetToggleErrors([this] { ToggleErrors(); });
    main_->SetToggleEyepiece([this] { ToggleEyepiece(); });
    main_->SetOpenAlignPolar([this] { OpenAlignPolar(); });
    main_->SetToggleMap([this] { ToggleMap(); });
    WireViews();
    main_->SetOpenAbout([this] { OpenAbout(); });
    main_->SetToggleObservations([this] { ToggleObservations(); });
    main_->SetShowObservations([this] { ShowObservations(); });
    main_->SetOpenManual([this] { OpenManual(); });
    QObject::connect(mainModel_.get(), &models::MainModel::nightModeChanged, [this](bool on) {
        ApplyNightPalette(on);
        eyepiece_->fieldView()->SetNight(on);
        plotModel_->SetNightMode(on);
        mapModel_->SetNightMode(on);
    });
    plotModel_->SetNightMode(mainModel_->NightMode);
    mapModel_->SetNightMode(mainModel_->NightMode);
    QObject::connect(mainModel_.get(), &models::MainModel::onTopChanged, errors_.get(),
                     [this](bool on) { SetTopmost(errors_.get(), on); });
    QObject::connect(mainModel_.get(), &models::MainModel::onTopChanged, observations_.get(),
                     [this](bool on) { SetTopmost(observations_.get(), on); });
    ApplyNightPalette(mainModel_->NightMode);

    // Unloading at exit: what the windows hold goes back into the settings.
    program.SetUnloadWindows([this] { Unload(); });
}

namespace {

// Tells when a window is shown or hidden, however that happens.
class VisibilityWatcher : public QObject {
  public:
    VisibilityWatcher(QWidget* w, std::function<void(bool)> fn) : QObject(w), fn_(std::move(fn)) {
        w->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) fn_(true);
        if (e->type() == QEvent::Hide) fn_(false);
        return false;
    }

  private:
    std::function<void(bool)> fn_;
};

}  // namespace

void Desktop::WireViews() {
    auto& stars = mainModel_->manual().stars();
    mapModel_->SetStars(models::PickListForMap(mainModel_->manual()));
    QObject::connect(&stars, &catalogue::StarPickList::changed, mapModel_.get(),
                     &models::MapModel::RedrawIfVisible);
    // The list, the plot and the map share the selected observation.
    QObject::connect(observationsModel_.get(), &models::ObservationListModel::plotToggleRequested,
                     plot_.get(), [this] { TogglePlot(); });
    QObject::connect(observationsModel_.get(), &models::ObservationListModel::changed,
                     selection_.get(), [this] {
                         const int line = observationsModel_->selected;
                         selection_->SetSelected(line >= 0 ? line + 1 : 0);
                     });
    QObject::connect(selection_.get(), &models::ObservationSelection::selectObservation,
                     observationsModel_.get(),
                     [this](int index) { observationsModel_->Select(index - 1); });
    // The selection may go before the list window hides for the last time.
    new VisibilityWatcher(
        observations_.get(),
        [selection = QPointer<models::ObservationSelection>(selection_.get())](bool shown) {
            if (selection) selection->SetListVisible(shown);
        });
}

void Desktop::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    {
        main_->RememberPlace();
        observations_->Unload();
        RememberWindowPlace(errors_.get(), program_.settings().PosErrorsX,
                            program_.settings().PosErrorsY);
        plot_->RememberPlace();
        map_->RememberPlace();
        try {
            profile::WriteHorizonSettings(program_.profile(), program_.settings());
        } catch (const dispatch::ComError& e) {
            program_.ui().ShowError(e);
        }
    }
}

Desktop::~Desktop() {
    Unload();
    program_.SetUnloadWindows({});
}

void Desktop::Show() {
    main_->PlaceFromSettings();
    main_->show();
}

void Desktop::OpenSetup() {
    SetTopmost(setup_.get(), true);
    setup_->exec();
    program_.status().UpdateStatus();
    // Limits, site or horizon may have changed.
    mapModel_->RedrawIfVisible();
}

void Desktop::ToggleErrors() {
    if (errors_->isVisible()) {
        errors_->hide();
        return;
    }
    SetTopmost(errors_.get(), program_.settings().OnTop);
    errors_->show();
}

void Desktop::ToggleEyepiece() {
    if (eyepiece_->isVisible()) {
        eyepiece_->hide();
        return;
    }
    eyepieceModel_->Refresh();
    SetTopmost(eyepiece_.get(), program_.settings().OnTop);
    eyepiece_->show();
}

void Desktop::OpenAlignPolar() {
    SetTopmost(align_.get(), program_.settings().OnTop);
    // Modal without a nested event loop: the status loop goes on.
    align_->open();
}

void Desktop::ToggleObservations() {
    if (observations_->isVisible()) {
        observations_->hide();
        return;
    }
    ShowObservations();
}

void Desktop::ShowObservations() {
    SetTopmost(observations_.get(), program_.settings().OnTop);
    observations_->show();
    observations_->raise();
    observationsModel_->UpdateObservationList();
}

void Desktop::TogglePlot() {
    if (plot_->isVisible()) {
        plot_->hide();
        return;
    }
    SetTopmost(plot_.get(), program_.settings().OnTop);
    plot_->show();
}

void Desktop::ToggleMap() {
    if (map_->isVisible()) {
        map_->hide();
        return;
    }
    SetTopmost(map_.get(), program_.settings().OnTop);
    map_->show();
}

void Desktop::OpenAbout() {
    AboutBox box(program_, main_.get());
    box.exec();
}

void Desktop::OpenManual() {
    const QString path = ManualPath();
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        program_.ui().ShowMessage(
            {path.isEmpty() ? QStringLiteral("The Celaris manual is not installed.")
                            : QStringLiteral("No web browser opened the manual at %1.").arg(path),
             QStringLiteral("Celaris Manual"), dispatch::MessageIcon::Warning,
             dispatch::MessageButtons::Ok, std::nullopt});
}

QStringList Desktop::Screenshots(const QString& dir) {
    QDir().mkpath(dir);
    QStringList written;
    const auto grab = [&](QWidget* w) {
        // adjustSize keeps to two thirds of the screen; the list wants its
        // whole lines.
        if (w == observations_.get())
            w->resize(w->sizeHint());
        else
            w->adjustSize();
        w->ensurePolished();
        const QString path = QDir(dir).filePath(w->objectName() + QStringLiteral(".png"));
        if (w->grab().save(path)) written << path;
    };
    setupModel_->LoadData();
    horizonModel_->Activate();
    // "Start" as the next poll leaves it after the sample's calibration.
    const auto startAsPolled = [this] {
        mainModel_->controls().cmdStartCalEnabled =
            mainModel_->connected() && !store_.Calibrating();
        mainModel_->Refresh();
    };
    {
        // With nothing calibrated, a sample shows what the views are for.
        const models::SampleCalibration sample(program_, store_);
        startAsPolled();
        // The list's heading and lines without loading the window: its
        // place and size in the settings stay the user's.
        observationsModel_->Load();
        observationsModel_->UpdateObservationList();
        for (QWidget* w : std::initializer_list<QWidget*>{
                 main_.get(), setup_.get(), horizon_.get(), errors_.get(), observations_.get(),
                 slewing_.get(), eyepiece_.get(), align_.get()})
            grab(w);
    }
    startAsPolled();
    AboutBox about(program_);
    grab(&about);
    if (autoCal_) {
        grab(autoCal_.get());
        // The calculator shows the stored sizes; the resolution it pushes
        // into the run is put back.
        auto& run = autoCal_->run();
        const QString resolution = run.txtResolution;
        autoCal_->calculator().model().Load();
        grab(&autoCal_->calculator());
        run.SetResolutionText(resolution);
    }
    written << ScreenshotViews(program_, store_, *selection_, *plot_, *map_, dir);
    return written;
}

void Desktop::SetAutoCalibration(calibration::AutoCalibration* run) {
    if (run == nullptr) return;
    autoCal_ = std::make_unique<AutoCalWindow>(program_, *run, main_.get());
    main_->SetToggleAutoCal([this] {
        if (autoCal_->isVisible()) {
            autoCal_->hide();
            return;
        }
        autoCal_->show();
        autoCal_->raise();
        autoCal_->activateWindow();
    });
}

}  // namespace celaris::windows
