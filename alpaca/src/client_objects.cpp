#include "client_objects.h"

namespace celaris::alpaca {

ClientObjects::ClientObjects(hub::Hub& hub, std::chrono::milliseconds idleTime, Log log)
    : hub_(hub), idleMs_(idleTime.count()), log_(std::move(log)) {
    clock_.start();
}

ClientObjects::~ClientObjects() {
    // Connected objects first would not matter: each gives back its own.
    clients_.clear();
}

hub::Telescope& ClientObjects::For(uint32_t clientId) {
    auto it = clients_.find(clientId);
    if (it == clients_.end()) {
        if (clients_.size() >= kMaxClients) MakeRoom();
        it = clients_.emplace(clientId, Client{std::make_unique<hub::Telescope>(hub_), 0}).first;
    }
    it->second.lastSeenMs = clock_.elapsed();
    return *it->second.telescope;
}

void ClientObjects::Touch(uint32_t clientId) {
    const auto it = clients_.find(clientId);
    if (it != clients_.end()) it->second.lastSeenMs = clock_.elapsed();
}

int ClientObjects::ReleaseIdle() {
    const qint64 now = clock_.elapsed();
    int released = 0;
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (now - it->second.lastSeenMs <= idleMs_ || !it->second.telescope->ClientConnected()) {
            ++it;
            continue;
        }
        const uint32_t id = it->first;
        // The destructor gives back the connection; errors are its own to
        // ignore.
        it = clients_.erase(it);
        ++released;
        if (log_)
            log_(QStringLiteral("Alpaca client %1 sent nothing for %2 s while connected; its "
                                "connection is released (%3 left).")
                     .arg(id == 0 ? QStringLiteral("without ClientID") : QString::number(id))
                     .arg(idleMs_ / 1000.0)
                     .arg(hub_.state().ConnectionCount));
    }
    return released;
}

void ClientObjects::MakeRoom() {
    auto oldest = clients_.end();
    for (auto it = clients_.begin(); it != clients_.end(); ++it)
        if (!it->second.telescope->ClientConnected() &&
            (oldest == clients_.end() || it->second.lastSeenMs < oldest->second.lastSeenMs))
            oldest = it;
    if (oldest != clients_.end()) clients_.erase(oldest);
}

}  // namespace celaris::alpaca
