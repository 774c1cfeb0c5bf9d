// celaris-sim's Alpaca server: the simulated mount as Telescope 0 and the
// simulated camera on its tube as Camera 0, with the management API and
// discovery, on the HTTP layer of Celaris's own Alpaca server.
//
// Requests are answered on the transport's workers; the mount and the
// camera are reached under one lock, as they want one caller at a time.
// A synchronous slew holds the lock until the mount stops, so clients that
// want to be served meanwhile use the asynchronous forms (Celaris does).
//
// Telescope actions (supportedactions): "truepointing" gives
// {"RightAscension": hours, "Declination": degrees}, where the tube really
// points (apparent place of date); "hiddenterms" the nine hidden terms in
// arc seconds under the engine's names.
#pragma once

#include <QString>

#include <memory>

#include "celaris/alpaca/server_options.h"
#include "celaris/drivers/camera/simulated_camera.h"
#include "celaris/drivers/simulator/simulated_mount.h"

namespace celaris::sim {

class SimServer {
  public:
    SimServer(SimulatedMount& mount, camera::SimulatedCamera& camera,
              alpaca::ServerOptions options);
    ~SimServer();

    // Listens and answers; false with the reason when the address cannot
    // be used.
    bool Start(QString* error);
    void Stop();
    int port() const;
    int discoveryPort() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The JSON texts of the two actions.
QString TruePointingJson(const SkyPointing& truth);
QString HiddenTermsJson(const HiddenTerms& terms);

}  // namespace celaris::sim
