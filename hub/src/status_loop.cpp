#include "celaris/hub/status_loop.h"

#include <cmath>

#include "celaris/hub/skip_failing_step.h"
#include "celaris/profile/settings.h"

namespace celaris::hub {

namespace {}  // namespace

StatusLoop::StatusLoop(Hub& hub, QObject* parent) : QObject(parent), hub_(hub) {
    // Timer2: the pause clock between the legs of a two-leg slew.
    timer2_.setInterval(100);
    connect(&timer2_, &QTimer::timeout, this, [this] { hub_.PauseClockTick(); });
    timer2_.start();
    hub_.SetSlewCompleteHandler([this] { SlewComplete(); });
    hub_.SetStatusUpdater([this] { UpdateStatus(); });
    SetPollInterval(hub_.settings().PollInterval);
}

StatusLoop::~StatusLoop() {
    // The hub may outlive its status loop.
    hub_.SetSlewCompleteHandler({});
    hub_.SetStatusUpdater({});
}

void StatusLoop::UseControls(MainControls& controls) {
    controls = *controls_;
    controls_ = &controls;
}

void StatusLoop::ReleaseControls() {
    if (controls_ == &ownControls_) return;
    ownControls_ = *controls_;
    controls_ = &ownControls_;
}

void StatusLoop::SetPollInterval(double seconds) {
    m_PollInterval = profile::PollTicks(seconds);
}

void StatusLoop::TimerTic() {
    if (TimerBusy) return;
    TimerBusy = true;
    if (TickCount < m_PollInterval) {
        ++TickCount;
        TimerBusy = false;
        return;
    }
    TickCount = 0;
    HubState& s = hub_.state();
    MainControls& c = *controls_;
    SkipFailingStep([&] { hub_.UpdateSiderealTime(); });
    if (s.DriverConnected) SkipFailingStep([&] { hub_.CheckDriverConnection(); });
    if (s.DriverConnected && !s.DriverLost) {
        hub_.PollPosition();
        c.cmdStartCalEnabled = !c.Calibrating;
    } else {
        c.cmdStartCalEnabled = false;
    }
    SkipFailingStep([&] { UpdateStatus(); });
    TimerBusy = false;
}

void StatusLoop::SetSlewingControls() {
    MainControls& c = *controls_;
    c.slewControlsEnabled = false;
    c.cmbInvertedEnabled = false;
    c.btnCorrectEnabled = false;
    c.btnAlignPolarEnabled = false;
    c.cmdStopSlewEnabled = true;
}

void StatusLoop::SlewComplete() {
    MainControls& c = *controls_;
    c.cmdStopSlewEnabled = false;
    c.slewControlsEnabled = true;
    c.btnAlignPolarEnabled = true;
    c.cmbInvertedEnabled = hub_.settings().IsGerman;
    c.btnCorrectEnabled = c.Calibrating && !hub_.state().ObservationTaken;
}

QString StatusLoop::PierText() {
    HubState& s = hub_.state();
    if (!s.DriverConnected || !hub_.settings().IsGerman || hub_.settings().PierSideModel != 2)
        return {};
    if (s.CanReadSideOfPier) {
        const int side =
            ToInt(hub_.ConnectedDriver().Get(QStringLiteral("SideOfPier")), "SideOfPier");
        return side == 1 ? QStringLiteral("Pier Inverted") : QStringLiteral("Pier Normal");
    }
    return (hub_.engine().Inverted() ? QStringLiteral("Pier Inverted")
                                     : QStringLiteral("Pier Normal")) +
           QStringLiteral(" (estimated)");
}

void StatusLoop::UpdateStatus() {
    HubState& s = hub_.state();
    MainControls& c = *controls_;
    SkipFailingStep([&] { hub_.UpdateSiderealTime(); });

    // The chosen driver by its description.
    const QString id = hub_.profile().ReadScope();
    QString link = QStringLiteral("None Selected");
    if (!id.isEmpty()) {
        try {
            link = crossRef_ ? crossRef_(id) : id;
        } catch (const dispatch::ComError& e) {
            hub_.ui().ShowError(e);
            return;
        }
    }
    s.StatusText = QStringLiteral("Link: ") + link;

    if (!c.chkLock) {
        c.ShownTargetRA = s.TargetRA;
        c.ShownTargetDec = s.TargetDec;
    }

    if (s.DriverConnected && !s.DriverLost) {
        bool slewing = false;
        SkipFailingStep([&] { slewing = hub_.DriverSlewing(); });
        if (slewing)
            SetSlewingControls();
        else
            SkipFailingStep([&] { hub_.SlewCompletionStep(); });
        s.StatusText += QStringLiteral("\r\nConnected");
        if (c.Calibrating)
            c.lblCalStatus =
                QStringLiteral("No. Observ's = ") + QString::number(c.ObservationCount);
        ++StatusCount;
    } else {
        s.StatusText += s.DriverLost ? QStringLiteral("\r\nConnection lost")
                                     : QStringLiteral("\r\nNot Connected");
        c.btnAlignPolarEnabled = false;
        c.slewControlsEnabled = false;
        c.cmdStopSlewEnabled = false;
        c.StarChosen = false;
    }

    SkipFailingStep([&] {
        const QString pier = PierText();
        if (!pier.isEmpty()) s.StatusText += QStringLiteral(" - ") + pier;
    });
    emit statusChanged(s.StatusText);
}

}  // namespace celaris::hub
