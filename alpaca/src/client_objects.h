// One hub Telescope object per Alpaca ClientID, as each COM client would
// hold its own object. A missing or 0 ClientID shares one anonymous object.
//
// A client that holds a connection and sends nothing for the idle time is
// taken for gone: its object is destroyed, which gives back the connection
// (the Telescope destructor's steps), so a crashed client cannot keep the
// mount connected for ever. Objects without a connection hold nothing and
// are kept, so that a client that only polls now and then does not create
// a new object (which clears the hub's target) each time; the oldest of
// them make room when there are very many. Lives on the hub's thread.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "celaris/hub/telescope.h"

namespace celaris::alpaca {

class ClientObjects {
  public:
    using Log = std::function<void(const QString&)>;

    ClientObjects(hub::Hub& hub, std::chrono::milliseconds idleTime, Log log);
    // Destroys every object, giving back their connections.
    ~ClientObjects();
    ClientObjects(const ClientObjects&) = delete;
    ClientObjects& operator=(const ClientObjects&) = delete;

    // The client's object, created on its first request. Counts as activity.
    hub::Telescope& For(uint32_t clientId);
    // Marks activity without a call (the end of a long call).
    void Touch(uint32_t clientId);
    // Destroys the objects of connected clients idle for longer than the
    // idle time; returns how many.
    int ReleaseIdle();

    int size() const { return int(clients_.size()); }
    bool contains(uint32_t clientId) const { return clients_.count(clientId) != 0; }

    // More clients than this and the longest idle one that holds no
    // connection makes room.
    static constexpr size_t kMaxClients = 1000;

  private:
    struct Client {
        std::unique_ptr<hub::Telescope> telescope;
        qint64 lastSeenMs = 0;
    };
    void MakeRoom();

    hub::Hub& hub_;
    qint64 idleMs_;
    Log log_;
    QElapsedTimer clock_;
    std::map<uint32_t, Client> clients_;
};

}  // namespace celaris::alpaca
