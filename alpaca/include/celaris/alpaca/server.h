// The Alpaca server: the hub as ASCOM Alpaca Telescope device 0, with the
// management API, the setup pages and the discovery responder.
//
// Threads. Connections are read and written on one network thread that
// never waits for a client; each complete request goes to a worker thread,
// where it is checked (path, member, parameters, ranges), and a request
// that passes is handed to the thread this object lives in (the program's
// main thread) and answered there, one at a time, as a single-threaded COM
// server would. A request never waits for another client's connection,
// only for the hub; idle and slow connections hold no thread.
//
// Clients. Each Alpaca ClientID gets its own hub Telescope object; one
// that sends nothing for the idle time is released (see client_objects.h).
//
// Scripting. Given the calibration store, the server also serves the
// scripting interface Calibration at /celaris/v1/calibration/0/<member>
// (see calibration_routes.h); its calls run on the main thread like the
// telescope's.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "celaris/alpaca/server_options.h"
#include "celaris/hub/hub.h"

namespace celaris::calibration {
class Calibration;
class CalibrationStore;
class AutoCalibration;
}  // namespace celaris::calibration

namespace celaris::alpaca {

class ConsoleHandler;

// Source of the errors the server itself raises (it cannot listen).
inline constexpr char kServerSource[] = "Celaris Alpaca server";

class AlpacaServer : public QObject {
    Q_OBJECT
  public:
    // Nothing listens until Start().
    AlpacaServer(hub::Hub& hub, ServerOptions options, QObject* parent = nullptr);
    // Stops; every client's object is released, giving back its connection.
    ~AlpacaServer() override;

    // Listens and starts answering; raises a ComError when the address
    // cannot be used.
    void Start();
    // Stops listening and answering; requests still waiting for the hub
    // are answered 503. Safe to call twice.
    void Stop();

    // Serves the scripting interface on the program's store (nullptr: the
    // calibration paths answer 404). Main thread. A server that listens
    // beyond loopback lets remote scripts open and save calibration files
    // only inside the documents folder.
    void SetCalibration(calibration::CalibrationStore* store);
    // Serves the browser console's pages with the handler's data and
    // changes (see console.h); nullptr: the plain status page. Set it
    // before Start(); the handler outlives the server.
    void SetConsole(ConsoleHandler* handler);
    // The automatic run served at /celaris/v1/autocalibration/0/; nullptr:
    // none. It must outlive the server.
    void SetAutoCalibration(calibration::AutoCalibration* run);
    // The served Calibration object, for the program's hooks; nullptr when
    // none is served.
    calibration::Calibration* calibration();

    bool running() const;
    // The port listened on (useful after asking for port 0).
    int port() const;
    // Where a client on this machine reaches it: "http://127.0.0.1:11111/".
    QString url() const;
    // The UDP port discovery answers on; 0 when it does not answer.
    int discoveryPort() const;
    // Client objects alive now.
    int clientCount() const;
    const ServerOptions& options() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace celaris::alpaca
