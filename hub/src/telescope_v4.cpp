// The hub's ITelescopeV4 members and the common members it answers itself,
// on top of the Telescope's own members.
#include <QDateTime>

#include <functional>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/errors.h"
#include "celaris/hub/telescope.h"

namespace celaris::hub {

namespace {
const QString kSource = QString::fromLatin1(dispatch::kHubSource);
}  // namespace

void Telescope::Connect() {
    SetConnected(true);
}

void Telescope::Disconnect() {
    SetConnected(false);
}

bool Telescope::Connecting() {
    return false;
}

StateValues Telescope::DeviceState() {
    return dispatch::PassThrough(kSource, [&] {
        hub_.ConnectedDriver();
        StateValues state;
        // Each item as its single member gives it, corrected positions
        // included; a member that fails leaves its item out.
        const auto add = [&](const char* name, const std::function<QVariant()>& read) {
            try {
                state.append({QString::fromLatin1(name), read()});
            } catch (...) {
            }
        };
        add("Altitude", [&] { return QVariant(Altitude()); });
        add("AtHome", [&] { return QVariant(AtHome()); });
        add("AtPark", [&] { return QVariant(AtPark()); });
        add("Azimuth", [&] { return QVariant(Azimuth()); });
        add("Declination", [&] { return QVariant(Declination()); });
        add("IsPulseGuiding", [&] { return QVariant(IsPulseGuiding()); });
        add("RightAscension", [&] { return QVariant(RightAscension()); });
        add("SideOfPier", [&] { return QVariant(static_cast<int>(SideOfPier())); });
        add("SiderealTime", [&] { return QVariant(SiderealTime()); });
        add("Slewing", [&] { return QVariant(Slewing()); });
        add("Tracking", [&] { return QVariant(Tracking()); });
        add("UTCDate", [&] { return QVariant(UTCDate()); });
        state.append({QStringLiteral("TimeStamp"), QDateTime::currentDateTimeUtc()});
        return state;
    });
}

QStringList Telescope::SupportedActions() {
    return {};
}

QString Telescope::Action(const QString& name, const QString&) {
    Raise(ascom_error::kActionNotImplemented, kSource,
          QStringLiteral("Celaris has no actions; \"%1\" is not one.").arg(name));
}

}  // namespace celaris::hub
