// A hub on a scripted driver with a real engine, for the hub's tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "celaris/dispatch/errors.h"
#include "celaris/hub/hub.h"
#include "celaris/hub/telescope.h"
#include "error_of.h"
#include "scripted_driver.h"
#include "scripted_ui.h"

namespace celaris::test {

struct FakeProfile : hub::HubProfile {
    QString scope = QStringLiteral("Test.Scripted");
    int registrations = 0;
    void RegisterHub() override { ++registrations; }
    QString ReadScope() override { return scope; }
};

// Drivers the factory made for "Test.Scripted", newest last.
inline QList<ScriptedDriver*>& MadeDrivers() {
    static QList<ScriptedDriver*> made;
    return made;
}

inline void RegisterScriptedDriver() {
    static const bool once = [] {
        DriverFactory::Instance().Register(QStringLiteral("Test.Scripted"), [](const QString&) {
            auto d = std::make_unique<ScriptedDriver>();
            MadeDrivers().append(d.get());
            return std::unique_ptr<Driver>(std::move(d));
        });
        return true;
    }();
    (void)once;
}

class HubTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterScriptedDriver();
        MadeDrivers().clear();
        settings.Latitude = 40.0;
        settings.Longitude = 10.0;
        settings.IsGerman = true;
        hub = std::make_unique<hub::Hub>(settings, profile, ui, std::make_unique<hub::EngineRef>());
    }

    // A connected client.
    std::unique_ptr<hub::Telescope> Connect() {
        auto t = std::make_unique<hub::Telescope>(*hub);
        t->SetConnected(true);
        return t;
    }
    ScriptedDriver& driver() { return *MadeDrivers().back(); }

    hub::Settings settings;
    FakeProfile profile;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Hub> hub;
};

}  // namespace celaris::test
