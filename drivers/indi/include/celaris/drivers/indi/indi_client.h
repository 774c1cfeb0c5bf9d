// A small INDI client over TCP. A reader thread parses the server's XML
// stream into a cache of properties and messages; the caller's thread sends
// commands and waits, always with a time-out, for the cache to show the
// answer. Nothing here runs an event loop, so a caller on the program's main
// thread blocks for at most the time-out it gives.
//
// Every received element gets the next sequence number. Send() returns the
// number of the last element received before the command went out, so a
// wait can ignore what was already on the way.
//
// The connection is lost when the server closes it, the socket fails or the
// stream stops being well-formed XML; waits then end at once with Lost and
// the reason stays readable.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "celaris/drivers/indi/indi_property.h"

namespace celaris::indi {

struct Message {
    uint64_t seq = 0;
    QString device;  // empty for the server's own messages
    QString text;
};

// The cache as a waiting predicate sees it (under the client's lock).
class CacheView {
  public:
    virtual ~CacheView() = default;
    virtual const Property* Find(const QString& device, const QString& name) const = 0;
    // The device's (and the server's device-less) messages received after
    // seq, oldest first.
    virtual QList<Message> MessagesAfter(const QString& device, uint64_t seq) const = 0;
    virtual uint64_t Sequence() const = 0;
};

enum class WaitResult { Satisfied, TimedOut, Lost };

class IndiClient {
  public:
    using Clock = std::chrono::steady_clock;
    using Predicate = std::function<bool(const CacheView&)>;

    IndiClient(QString host, int port);
    ~IndiClient();
    IndiClient(const IndiClient&) = delete;
    IndiClient& operator=(const IndiClient&) = delete;

    const QString& host() const { return host_; }
    int port() const { return port_; }

    // Connects and starts reading; false with the reason in *error when the
    // server cannot be reached within the time-out.
    bool Open(std::chrono::milliseconds timeout, QString* error);
    // Stops reading and closes the socket; the cache stays readable.
    void Close();
    // Open and not lost.
    bool IsOpen() const;
    bool IsLost() const;
    QString LostReason() const;

    // Commands. Each returns the sequence number current when it was sent
    // (see above); a failed send loses the connection and returns it too.
    uint64_t GetProperties(const QString& device = QString());
    uint64_t SendNumbers(const QString& device, const QString& name,
                         const QList<QPair<QString, double>>& values);
    uint64_t SendSwitches(const QString& device, const QString& name,
                          const QList<QPair<QString, bool>>& values);
    uint64_t SendTexts(const QString& device, const QString& name,
                       const QList<QPair<QString, QString>>& values);
    // Asks the server for the device's BLOBs (images) along with its other
    // properties; servers send a client none until it asks.
    uint64_t EnableBlobs(const QString& device);

    // Snapshots.
    std::optional<Property> Find(const QString& device, const QString& name) const;
    QList<QString> Devices() const;
    // The device's (and the server's) messages received after seq.
    QList<Message> MessagesAfter(const QString& device, uint64_t seq) const;
    uint64_t Sequence() const;
    // Time since the last property definition arrived (or since Open).
    Clock::duration SinceLastDefinition() const;

    // Waits until pred holds (checked at once and after every received
    // element), the deadline passes or the connection is lost.
    WaitResult WaitUntil(Clock::time_point deadline, const Predicate& pred) const;
    // Waits until no definition has arrived for `quiet`, or the deadline:
    // a device defines its properties in one burst, while updates of
    // values may stream on.
    WaitResult WaitDefinitionsQuiet(std::chrono::milliseconds quiet,
                                    Clock::time_point deadline) const;

    // Reads the pieces as if the server had sent them one after another,
    // into the cache, without a socket; false with the reason once they are
    // not well-formed. For the fuzz target.
    bool ReadForTesting(const QList<QByteArray>& pieces, QString* error);

  private:
    class Parser;
    class View;
    friend class Parser;

    uint64_t Send(const QByteArray& xml);
    void ReaderLoop();
    void MarkLost(const QString& reason);
    // Called by the parser on the reader thread for each complete element.
    // An update without a state attribute keeps the state it had.
    void Apply(Property&& p, bool definition, bool hasState);
    void ApplyMessage(const QString& device, const QString& text);
    void ApplyDelete(const QString& device, const QString& name);

    QString host_;
    int port_;

    int socket_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread reader_;
    std::mutex writeMutex_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool open_ = false;
    bool lost_ = false;
    QString lostReason_;
    uint64_t seq_ = 0;
    Clock::time_point lastDefinition_{};
    std::map<std::pair<QString, QString>, Property> properties_;
    QList<Message> messages_;
};

}  // namespace celaris::indi
