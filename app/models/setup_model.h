// frmSetup "Telescope Setup": the site, the mount, its limits, the slews'
// pauses, the poll interval and the choice of the telescope driver, as the
// texts and ticks of the window's controls, with the rules of OK.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "celaris/hub/program.h"

namespace celaris::models {

class MainModel;

class SetupModel : public QObject {
    Q_OBJECT
  public:
    explicit SetupModel(hub::Program& program, QObject* parent = nullptr);

    void SetMainModel(MainModel* main) { main_ = main; }
    // Opens a web page (an Alpaca device's setup page).
    void SetOpenUrl(std::function<void(const QString&)> fn) { openUrl_ = std::move(fn); }

    // Controls, named as in the window. SiteParam: latitude, longitude,
    // pressure, temperature.
    std::array<QString, 4> SiteParam;
    bool German = false;
    QString txtFlipLimitE, txtFlipLimitW, txtDeclimit, txtAltLimit;
    bool chkEnforce = false, chkAntiBacklash = false, chkFirstSlewPause = false, chkJ2000 = false;
    QString txtBacklash, txtSlewPause, txtPollInterval;
    QString ChooseButton = QStringLiteral("Select Telescope");
    bool flipLimitsEnabled() const { return German; }
    bool backlashEnabled() const { return chkAntiBacklash; }

    // Fills the controls from the settings.
    void LoadData();
    // The chooser button's caption follows the connection.
    void Activate();
    void SetGerman(bool on);
    void SetAntiBacklash(bool on);
    // "Select Telescope": the chooser, the pick written at once;
    // "Scope Properties": the connected driver's own setup.
    void Choose();
    // Copies the connected mount's latitude and longitude into the boxes;
    // false (after a message) when it cannot.
    bool FromMount();
    // OK: true when the window may hide.
    bool Ok();

  signals:
    void changed();

  private:
    double Number(const QString& text, const QString& box);

    hub::Program& program_;
    MainModel* main_ = nullptr;
    std::function<void(const QString&)> openUrl_;
};

// A warning for the status box while the connected mount's site differs
// from Celaris's by more than an arc minute, else empty.
QString SiteMismatchText(hub::Hub& hub);

}  // namespace celaris::models
