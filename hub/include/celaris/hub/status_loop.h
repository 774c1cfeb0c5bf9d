// The main window's periodic work: the 200 ms tick that polls the mount
// every poll interval, and the status update that keeps the status text,
// the slew controls and two-leg slews going. The controls it reads and
// writes are a MainControls record that the main window's model owns (the
// loop keeps one of its own until it is given one, for headless use).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "celaris/hub/hub.h"

namespace celaris::hub {

// The main window's controls the status rules read and write, named after
// the controls.
struct MainControls {
    bool Calibrating = false;
    int16_t ObservationCount = 0;
    bool chkLock = false;
    double ShownTargetRA = 0.0;   // hours
    double ShownTargetDec = 0.0;  // degrees
    bool StarChosen = false;

    bool cmdStopSlewEnabled = false;
    bool slewControlsEnabled = false;  // N, S, E, W, Slew, Lock, nudge step, Scope Setup
    bool btnAlignPolarEnabled = false;
    bool cmbInvertedEnabled = false;
    bool btnCorrectEnabled = false;
    bool cmdStartCalEnabled = false;
    QString lblCalStatus;
};

class StatusLoop : public QObject {
    Q_OBJECT
  public:
    explicit StatusLoop(Hub& hub, QObject* parent = nullptr);
    ~StatusLoop() override;

    // Poll period in ticks: PollInterval x 5, halves to even.
    int16_t m_PollInterval = 5;
    int16_t TickCount = 0;
    bool TimerBusy = false;
    int16_t StatusCount = 0;

    // The controls the rules write. UseControls moves them into the main
    // window's record (which must outlive the loop or be replaced).
    MainControls& controls() { return *controls_; }
    void UseControls(MainControls& controls);
    // Back to a record of its own, a copy of the current one.
    void ReleaseControls();

    // Sets m_PollInterval from a poll interval in seconds (profile::PollTicks).
    void SetPollInterval(double seconds);

    // The driver's description for the status text ("Link: ...").
    void SetCrossRef(std::function<QString(const QString&)> fn) { crossRef_ = std::move(fn); }

    void TimerTic();
    void UpdateStatus();

    // The pier text of the status ("Pier Normal (estimated)"), empty when
    // none is shown.
    QString PierText();

  signals:
    // After every status update, with the status text.
    void statusChanged(const QString& text);

  private:
    void SlewComplete();
    void SetSlewingControls();

    Hub& hub_;
    MainControls ownControls_;
    MainControls* controls_ = &ownControls_;
    QTimer timer2_;
    std::function<QString(const QString&)> crossRef_;
};

}  // namespace celaris::hub
