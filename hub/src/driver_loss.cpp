// A driver that lost its device while clients hold their connections: the
// hub stops serving its last position and says so, once, until a client
// connects again.
#include "celaris/hub/hub.h"

#include "celaris/dispatch/errors.h"

namespace celaris::hub {

bool Hub::CheckDriverConnection() {
    if (!state_.DriverConnected || !state_.ScopeDriver) return false;
    if (state_.DriverLost) return false;
    Driver& driver = *state_.ScopeDriver;
    try {
        if (ToBool(driver.Get(QStringLiteral("Connected")), QStringLiteral("Connected")))
            return true;
    } catch (...) {
        // A driver that cannot say has not said it lost the device.
        return true;
    }
    // The error the driver gives for its position says why, in its words.
    dispatch::ComError lost = dispatch::ErrHubNotConnected();
    try {
        driver.Get(QStringLiteral("RightAscension"));
    } catch (const dispatch::ComError& e) {
        lost = e;
    } catch (...) {
    }
    state_.DriverLost = lost;
    ui_.Log(QStringLiteral("The telescope is no longer connected: %1 Connect again to resume.")
                .arg(lost.description()));
    return false;
}

void Hub::ReconnectDriver() {
    if (!state_.ScopeDriver) throw dispatch::ErrHubNotConnected();
    state_.ScopeDriver->Put(QStringLiteral("Connected"), true);
    state_.DriverLost.reset();
    // What clients read next is the mount's position now, not the last one
    // before the loss.
    PollPosition();
    ui_.Log(QStringLiteral("The telescope is connected again."));
}

}  // namespace celaris::hub
