#include "celaris/hub/program.h"

#include "celaris/drivers_list/installed_drivers.h"

namespace celaris::hub {

namespace {

// The hub's view of the settings store.
class StoreProfile : public HubProfile {
  public:
    explicit StoreProfile(profile::Profile& p) : p_(p) {}
    void RegisterHub() override { profile::RegisterHub(p_); }
    QString ReadScope() override {
        return p_.GetValue(QString::fromLatin1(profile::kHubDriverId), QStringLiteral("Scope"));
    }

  private:
    profile::Profile& p_;
};

}  // namespace

Program::Program(dispatch::Ui& ui, const QString& profilePath)
    : ui_(ui),
      profile_(profilePath.isEmpty() ? profile::DefaultProfilePath() : profilePath),
      hubProfile_(std::make_unique<StoreProfile>(profile_)) {
    // The settings store: device type and the hub's own driver id. A store
    // that cannot be written does not stop the program; the user hears it
    // once.
    profile_.SetDeviceType(QString::fromLatin1(profile::kDeviceType));
    if (QString why; !profile_.Writable(&why)) SettingsNotKept(why);
    RegisterHub();

    // The setup window's loading: the site and mount, then the engine with
    // the site.
    profile::ReadSetupSettings(profile_, settings_);
    auto engine = std::make_unique<EngineRef>();
    Check(engine->get()->put_Latitude(settings_.Latitude * kDegreesToRadians), "Latitude");
    Check(engine->get()->put_German(settings_.IsGerman ? -1 : 0), "German");
    Check(engine->get()->put_Pressure(settings_.Pressure), "Pressure");
    Check(engine->get()->put_Temperature(settings_.Temperature), "Temperature");
    // The horizon editor's loading, then every other setting.
    profile::ReadHorizonSettings(profile_, settings_);
    profile::LoadSettings(profile_, settings_);

    hub_ = std::make_unique<Hub>(settings_, *hubProfile_, ui_, std::move(engine));
    ui_.SetNotConnectedHandler([this](const dispatch::ComError& e) {
        // Only the hub's own "Telescope not connected." means the hub lost its
        // driver; a driver's ValueNotSet carries the same number.
        if (e.source() == QString::fromLatin1(dispatch::kHubSource))
            hub_->state().DriverConnected = false;
    });

    // The main window's loading, as far as the rules go.
    status_ = std::make_unique<StatusLoop>(*hub_);
    RegisterHub();
    UpdateEngineTerms();
    status_->SetPollInterval(settings_.PollInterval);
    installed_ = std::make_unique<drivers_list::InstalledDrivers>(profile_);
    status_->SetCrossRef([this](const QString& id) { return installed_->CrossRef(id); });

    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, [this] { status_->TimerTic(); });
}

Program::~Program() {
    Shutdown();
}

void Program::SettingsNotKept(const QString& why) {
    if (!settingsKept_) return;
    settingsKept_ = false;
    // The store has said so itself when it would not touch its file.
    if (why == profile_.loadWarning()) return;
    ui_.Log(QStringLiteral("Settings will not be kept: %1").arg(why));
}

void Program::RegisterHub() {
    try {
        hubProfile_->RegisterHub();
    } catch (const dispatch::ComError& e) {
        SettingsNotKept(e.description());
    }
}

bool Program::StartTimer() {
    timer_.start();
    if (timer_.isActive()) return true;
    ui_.ShowMessage({QStringLiteral("Timer not created. Ending Program"), ui_.programTitle(),
                     dispatch::MessageIcon::None, dispatch::MessageButtons::Ok, std::nullopt});
    return false;
}

void Program::UpdateEngineTerms() {
    if (termsUpdate_)
        termsUpdate_();
    else
        PutModelTerms(hub_->engine(), settings_);
}

void PutModelTerms(EngineRef& engine, const profile::Settings& s) {
    // Each setter on its own: one that fails leaves the others.
    ISVD* e = engine.get();
    e->put_HOffset(s.HourOffsetRad);
    e->put_DecOffset(s.DecOffsetRad);
    e->put_Collimation(s.CollimationRad);
    e->put_AxisNonPerp(s.AxisNonPerpRad);
    e->put_PolarLeftRight(s.PolarLRRad);
    e->put_PolarVertical(s.PolarVertRad);
    e->put_TubeFlex(s.TubeFlexRad);
    e->put_ForkFlex(s.ForkFlexRad);
    e->put_DecFlex(s.DecFlexRad);
}

void Program::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    timer_.stop();
    // The windows' unloading writes their settings, then the settings and
    // the model terms are saved.
    if (unloadWindows_) unloadWindows_();
    try {
        profile::WriteSetupSettings(profile_, settings_);
        profile::SaveSettings(profile_, settings_);
        saved_ = true;
    } catch (const dispatch::ComError& e) {
        // Already said at start, or news now.
        if (settingsKept_) ui_.ShowError(e);
        settingsKept_ = false;
    }
    status_.reset();
    hub_.reset();
}

}  // namespace celaris::hub
