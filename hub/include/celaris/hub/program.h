// The program's life: the start-up routine, the 200 ms process timer and the
// orderly exit that saves the settings. Windows are models only for now;
// the same core runs with or without a screen.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
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

    // Starts the 200 ms timer; false (after the message) when it cannot run.
    bool StartTimer();
    // Puts the saved model terms into the engine, as the model terms
    // window's update does.
    void UpdateEngineTerms();
    // The exit steps: timer off, settings saved, engine released. Safe to
    // call twice.
    void Shutdown();

private:
    dispatch::Ui& ui_;
    profile::Profile profile_;
    profile::Settings settings_;
    std::unique_ptr<HubProfile> hubProfile_;
    std::unique_ptr<Hub> hub_;
    std::unique_ptr<StatusLoop> status_;
    std::unique_ptr<drivers_list::InstalledDrivers> installed_;
    QTimer timer_;
    bool shutDown_ = false;
};

}  // namespace celaris::hub
