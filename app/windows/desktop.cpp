#include "desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPalette>
#include <QStyle>
#include <QUrl>

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
    setupModel_ = std::make_unique<models::SetupModel>(program);
    setupModel_->SetMainModel(mainModel_.get());
    setupModel_->SetOpenUrl([](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    horizonModel_ = std::make_unique<models::HorizonModel>(program);

    main_ = std::make_unique<MainWindow>(*mainModel_);
    horizon_ = std::make_unique<HorizonWindow>(*horizonModel_, program, main_.get());
    setup_ = std::make_unique<SetupWindow>(*setupModel_, program, horizon_.get(), main_.get());
    errors_ = std::make_unique<ErrorsWindow>(*errorsModel_, program, main_.get());
    slewing_ = std::make_unique<SlewingWindow>(program.hub(), main_.get());
    selection_ = std::make_unique<models::ObservationSelection>();
    plotModel_ = std::make_unique<models::PlotModel>(store, *selection_);
    mapModel_ = std::make_unique<models::MapModel>(program, store, *selection_);
    mapModel_->SetMainVisible([this] { return main_->isVisible(); });
    plot_ = std::make_unique<PlotWindow>(*plotModel_, program, main_.get());
    map_ = std::make_unique<MapWindow>(*mapModel_, program, main_.get());
    // The main window's loading gives the saved terms to the engine.
    program.UpdateEngineTerms();

    main_->SetOpenSetup([this] { OpenSetup(); });
    main_->SetToggleErrors([this] { ToggleErrors(); });
    main_->SetToggleMap([this] { ToggleMap(); });
    main_->SetOpenAbout([this] { OpenAbout(); });
    main_->SetOpenManual([this] { OpenManual(); });
    QObject::connect(mainModel_.get(), &models::MainModel::nightModeChanged, [this](bool on) {
        ApplyNightPalette(on);
        plotModel_->SetNightMode(on);
        mapModel_->SetNightMode(on);
    });
    plotModel_->SetNightMode(mainModel_->NightMode);
    mapModel_->SetNightMode(mainModel_->NightMode);
    QObject::connect(mainModel_.get(), &models::MainModel::onTopChanged, errors_.get(),
                     [this](bool on) { SetTopmost(errors_.get(), on); });
    ApplyNightPalette(mainModel_->NightMode);

    // Unloading at exit: what the windows hold goes back into the settings.
    program.SetUnloadWindows([this] { Unload(); });
}

void Desktop::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    {
        main_->RememberPlace();
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
        w->adjustSize();
        w->ensurePolished();
        const QString path = QDir(dir).filePath(w->objectName() + QStringLiteral(".png"));
        if (w->grab().save(path)) written << path;
    };
    setupModel_->LoadData();
    horizonModel_->Activate();
    for (QWidget* w : std::initializer_list<QWidget*>{main_.get(), setup_.get(), horizon_.get(),
                                                      errors_.get(), slewing_.get()})
        grab(w);
    AboutBox about(program_);
    grab(&about);
    written << ScreenshotViews(program_, store_, *selection_, *plot_, *map_, dir);
    return written;
}

}  // namespace celaris::windows
