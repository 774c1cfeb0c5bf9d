// How the Alpaca server is set up: where it listens, how long a silent
// client keeps its connection, where discovery answers, and the identity it
// reports. The program reads them from the settings store (sub-key
// "Alpaca" of "Celaris.Telescope"); "--listen ADDR:PORT" overrides the
// address.
#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "celaris/profile/profile.h"

namespace celaris::alpaca {

inline constexpr char kAlpacaSubKey[] = "Alpaca";
inline constexpr char kDefaultListen[] = "127.0.0.1:11111";
inline constexpr int kDefaultPort = 11111;

struct ServerOptions {
    // Loopback unless the user opens the server to the network.
    QString address = QStringLiteral("127.0.0.1");
    int port = kDefaultPort;  // 0: any free port
    // A client silent for this long is taken for gone.
    std::chrono::milliseconds clientIdleTime = std::chrono::minutes(30);
    // Open connections in all and from one address; when full, the one
    // idle longest makes room for a newcomer.
    int maxConnections = 4096;
    int maxConnectionsPerPeer = 128;
    // An idle kept-alive connection is closed after this; a request must
    // arrive whole within requestTime of its first byte.
    std::chrono::milliseconds keepAliveTime = std::chrono::seconds(5);
    std::chrono::milliseconds requestTime = std::chrono::seconds(10);
    // UDP port of the discovery responder; 0: any free port, -1: none.
    int discoveryPort = 32227;
    // Discovery answers only when clients elsewhere can reach the server;
    // tests turn this on to answer while listening on loopback.
    bool discoveryOnLoopback = false;
    // Reported by the management API.
    QString uniqueId;
    QString location;
    // The browser console's changes come from this machine only, unless a
    // setup password is set: then any client that sends it (HTTP basic
    // authentication, any user name) may change settings.
    QString setupPassword;
    // Tests stand in for a client elsewhere; empty: IsLoopback(peer).
    std::function<bool(const std::string& peer)> peerIsLocal;
    // Where the server reports what it does (clients released, failures).
    // Empty: standard error.
    std::function<void(const QString&)> log;
};

struct ListenAddress {
    QString host;  // IPv4, host name, or IPv6 without brackets
    int port = 0;
};

// "ADDR:PORT", "[IPV6]:PORT" or ":PORT" (loopback); nothing when malformed.
std::optional<ListenAddress> ParseListenAddress(const QString& text);
// Loopback addresses reach only this machine.
bool IsLoopback(const QString& host);

// The options from the store: "Listen" (default 127.0.0.1:11111),
// "DiscoveryPort" (32227), "ClientIdleMinutes" (30), "Location",
// "SetupPassword" (none) and the
// UniqueID, created at random and kept on first use. Unusable values take
// their defaults.
ServerOptions ReadServerOptions(profile::Profile& profile);

// The persistent UniqueID of Telescope device 0.
QString DeviceUniqueId(profile::Profile& profile);

}  // namespace celaris::alpaca
