// Manual motion (TELESCOPE_MOTION_NS/WE at the TELESCOPE_SLEW_RATE speeds)
// and timed guide pulses, as the hub's MoveAxis and PulseGuide.
#include "celaris_telescope.h"

#include <libindi/eventloop.h>

#include <algorithm>

#include "celaris/dispatch/telescope_types.h"

namespace celaris::indi_driver {

namespace {

// How long after a pulse's nominal end the hub may still report it.
constexpr auto kPulseGrace = std::chrono::seconds(2);
constexpr int kPulseRecheckMs = 20;

}  // namespace

bool CelarisTelescope::Move(int axis, double signedRate, TelescopeMotionCommand command,
                            const char* what) {
    if (!hub_) return false;
    try {
        hub_->Call(QStringLiteral("MoveAxis"), {axis, command == MOTION_START ? signedRate : 0.0});
    } catch (const dispatch::ComError& e) {
        Report(what, e);
        return false;
    }
    return true;
}

bool CelarisTelescope::MoveNS(INDI_DIR_NS dir, TelescopeMotionCommand command) {
    const int index = std::max(0, IUFindOnSwitchIndex(&SlewRateSP));
    if (offer_.stepsNS.isEmpty()) {
        LOG_ERROR("Motion N/S: the hub's mount cannot move its declination axis by hand.");
        return false;
    }
    // The declination axis turns the other way with the tube west of the
    // pier (a German mount's flip), so north is the positive direction
    // only with the tube east of it.
    double rate = offer_.stepsNS[std::min<qsizetype>(index, offer_.stepsNS.size() - 1)];
    if (dir == DIRECTION_SOUTH) rate = -rate;
    if (HasPierSide() && getPierSide() == PIER_WEST) rate = -rate;
    return Move(static_cast<int>(TelescopeAxes::axisSecondary), rate, command, "Motion N/S");
}

bool CelarisTelescope::MoveWE(INDI_DIR_WE dir, TelescopeMotionCommand command) {
    const int index = std::max(0, IUFindOnSwitchIndex(&SlewRateSP));
    if (offer_.stepsWE.isEmpty()) {
        LOG_ERROR("Motion W/E: the hub's mount cannot move its right ascension axis by hand.");
        return false;
    }
    // The primary axis turns towards larger hour angle (west) for positive
    // rates.
    double rate = offer_.stepsWE[std::min<qsizetype>(index, offer_.stepsWE.size() - 1)];
    if (dir == DIRECTION_EAST) rate = -rate;
    return Move(static_cast<int>(TelescopeAxes::axisPrimary), rate, command, "Motion W/E");
}

bool CelarisTelescope::SetSlewRate(int index) {
    // Applied at the next motion command.
    return index >= 0 && index < 4;
}

IPState CelarisTelescope::Pulse(int direction, uint32_t ms, INDI_EQ_AXIS axis) {
    if (!hub_) return IPS_ALERT;
    try {
        hub_->Call(QStringLiteral("PulseGuide"), {direction, static_cast<int>(ms)});
    } catch (const dispatch::ComError& e) {
        Report("Guide pulse", e);
        return IPS_ALERT;
    }
    PulseSlot& slot = pulses_[axis == AXIS_DE ? 1 : 0];
    if (slot.timer >= 0) IERmTimer(slot.timer);
    slot.owner = this;
    slot.axis = axis;
    slot.end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    slot.timer = IEAddTimer(static_cast<int>(ms), &CelarisTelescope::PulseTimer, &slot);
    return IPS_BUSY;
}

void CelarisTelescope::PulseTimer(void* p) {
    auto* slot = static_cast<PulseSlot*>(p);
    slot->timer = -1;
    slot->owner->FinishPulse(*slot);
}

void CelarisTelescope::FinishPulse(PulseSlot& slot) {
    // The pulse has run its time; the hub may still be finishing it.
    bool stillGuiding = false;
    if (hub_ && std::chrono::steady_clock::now() < slot.end + kPulseGrace) {
        try {
            stillGuiding = hub_->GetBool("IsPulseGuiding");
        } catch (const dispatch::ComError& e) {
            Report("Guide pulse", e);
        }
    }
    if (stillGuiding) {
        slot.timer = IEAddTimer(kPulseRecheckMs, &CelarisTelescope::PulseTimer, &slot);
        return;
    }
    GuideComplete(slot.axis);
}

void CelarisTelescope::CancelPulses() {
    for (PulseSlot& slot : pulses_) {
        if (slot.timer >= 0) IERmTimer(slot.timer);
        slot.timer = -1;
    }
}

IPState CelarisTelescope::GuideNorth(uint32_t ms) {
    return Pulse(static_cast<int>(GuideDirections::guideNorth), ms, AXIS_DE);
}
IPState CelarisTelescope::GuideSouth(uint32_t ms) {
    return Pulse(static_cast<int>(GuideDirections::guideSouth), ms, AXIS_DE);
}
IPState CelarisTelescope::GuideEast(uint32_t ms) {
    return Pulse(static_cast<int>(GuideDirections::guideEast), ms, AXIS_RA);
}
IPState CelarisTelescope::GuideWest(uint32_t ms) {
    return Pulse(static_cast<int>(GuideDirections::guideWest), ms, AXIS_RA);
}

}  // namespace celaris::indi_driver
