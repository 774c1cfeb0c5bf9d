// The main window's periodic work without the window: the 200 ms tick that
// polls the mount every poll interval, and the status update that keeps the
// status text, the slew controls and two-leg slews going. The fields named
// after controls are what the window shows.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "celaris/hub/hub.h"

namespace celaris::hub {

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
    bool Calibrating = false;
    int16_t ObservationCount = 0;
    bool chkLock = false;
    double ShownTargetRA = 0.0;
    double ShownTargetDec = 0.0;
    bool StarChosen = false;

    // Control states the rules decide.
    bool cmdStopSlewEnabled = false;
    bool slewControlsEnabled = false;  // N, S, E, W, Slew, Lock, nudge step, Scope Setup
    bool btnAlignPolarEnabled = false;
    bool cmbInvertedEnabled = false;
    bool btnCorrectEnabled = false;
    bool cmdStartCalEnabled = false;
    QString lblCalStatus;

    // Sets m_PollInterval from a poll interval in seconds.
    void SetPollInterval(double seconds);

    // The driver's description for the status text ("Link: ...").
    void SetCrossRef(std::function<QString(const QString&)> fn) { crossRef_ = std::move(fn); }

    void TimerTic();
    void UpdateStatus();

    // The pier text of the status ("Pier Normal (estimated)"), empty when
    // none is shown.
    QString PierText();

  signals:
    void statusChanged(const QString& text);

  private:
    void SlewComplete();
    void SetSlewingControls();

    Hub& hub_;
    QTimer timer2_;
    std::function<QString(const QString&)> crossRef_;
};

}  // namespace celaris::hub
