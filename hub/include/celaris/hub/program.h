// The program's life: the start-up routine, the 200 ms process timer and the
// orderly exit that saves the settings. The same core runs with or without
// windows; the windows' models plug into it through the seams below.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "celaris/dispatch/ui.h"
#include "celaris/drivers_list/installed_drivers.h"
#include "celaris/hub/hub.h"
#include "celaris/hub/status_loop.h"
#include "celaris/profile/profile.h"
#include "celaris/profile/settings.h"

namespace celaris::hub {

class Program : public QObject {
    Q_OBJECT
  public:
    // Runs the start-up routine. The profile path is the settings store's
    // file (empty: the user's default). Raises when the engine cannot be
    // created.
    Program(dispatch::Ui& ui, const QString& profilePath = QString());
    ~Program() override;

    Hub& hub() { return *hub_; }
    StatusLoop& status() { return *status_; }
    profile::Profile& profile() { return profile_; }
    profile::Settings& settings() { return settings_; }
    drivers_list::InstalledDrivers& installed() { return *installed_; }
    dispatch::Ui& ui() { return ui_; }

    // Starts the 200 ms timer; false (after the message) when it cannot run.
    bool StartTimer();
    // The model terms window's update: gives the saved model terms to the
    // engine (and, once the window's model is plugged in, refreshes it).
    void UpdateEngineTerms();
    // The model terms window's model takes over the update; it must give
    // the terms to the engine with PutModelTerms.
    void SetModelTermsUpdate(std::function<void()> update) { termsUpdate_ = std::move(update); }
    // Runs before the settings are saved at exit: the windows write back
    // what they hold (positions, edited values).
    void SetUnloadWindows(std::function<void()> unload) { unloadWindows_ = std::move(unload); }
    // The exit steps: timer off, settings saved, engine released. Safe to
    // call twice.
    void Shutdown();
    // The exit wrote the settings.
    bool SettingsSaved() const { return saved_; }
    // Changes reach the settings file (false once a write failed or the
    // store was found unwritable at start, which is logged once).
    bool SettingsKept() const { return settingsKept_; }

  private:
    void RegisterHub();
    void SettingsNotKept(const QString& why);

    dispatch::Ui& ui_;
    profile::Profile profile_;
    profile::Settings settings_;
    std::unique_ptr<HubProfile> hubProfile_;
    std::unique_ptr<Hub> hub_;
    std::unique_ptr<StatusLoop> status_;
    std::unique_ptr<drivers_list::InstalledDrivers> installed_;
    QTimer timer_;
    std::function<void()> termsUpdate_;
    std::function<void()> unloadWindows_;
    bool shutDown_ = false;
    bool settingsKept_ = true;
    bool saved_ = false;
};

// The nine saved model terms into the engine's setters; a setter that
// fails is skipped.
void PutModelTerms(EngineRef& engine, const profile::Settings& settings);

}  // namespace celaris::hub
