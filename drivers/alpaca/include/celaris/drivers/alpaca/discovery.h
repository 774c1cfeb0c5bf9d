// Finding Alpaca telescopes on the network: the discovery broadcast (UDP,
// IPv4 broadcast and the IPv6 multicast group), then each answering
// server's list of configured devices. What it finds can be added to the
// installed-driver list, from where the chooser offers it.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

#include "celaris/drivers_list/installed_drivers.h"
#include "celaris/profile/profile.h"

namespace celaris {

struct AlpacaDiscoveryOptions {
    int port = 32227;
    // How long to collect answers.
    std::chrono::milliseconds wait{1000};
    // Where to send the request. Empty: 255.255.255.255, 127.255.255.255,
    // every IPv4 interface's broadcast address and the IPv6 group
    // ff12::a1:9aca on every multicast interface.
    QStringList targets;
};

struct FoundAlpacaTelescope {
    drivers_list::AlpacaAddress address;
    QString deviceName;
    QString uniqueId;

    QString progId() const { return drivers_list::AlpacaProgId(address); }
};

// The Telescope devices of every Alpaca server that answered, each once
// (a server reached over IPv4 and IPv6 counts once, by its UniqueID).
// Servers that answer the broadcast but not the device list are left out.
QList<FoundAlpacaTelescope> DiscoverAlpacaTelescopes(const AlpacaDiscoveryOptions& options = {});

// Indexes of the interfaces that are up and carry IPv6 multicast: where the
// discovery request goes out and where a responder joins the group.
QList<unsigned> MulticastInterfaceIndexes();

// Adds the telescopes to the installed-driver list under their device
// names; returns how many were not listed before. Raises when the settings
// store cannot be written.
int AddDiscoveredTelescopes(profile::Profile& profile, const QList<FoundAlpacaTelescope>& found);

}  // namespace celaris
