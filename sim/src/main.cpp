// celaris-sim: the built-in simulated mount and the simulated camera on its
// tube, served as an Alpaca observatory (Telescope 0, Camera 0) for Celaris
// and any other Alpaca client.
//
//   celaris-sim [--listen ADDR:PORT] [--discovery-port N] [--NAME VALUE ...]
//
// Every simulator option is an environment variable CELARIS_SIM_NAME (see
// README.md); the flag --name-with-dashes VALUE sets CELARIS_SIM_NAME_WITH_DASHES
// for this run, so flags and variables are one list. Ctrl+C ends it.
#include <signal.h>

#include <QCoreApplication>

#include <cstdio>

#include "celaris/alpaca/server_options.h"
#include "celaris/drivers/camera/simulated_camera.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "sim_server.h"

using namespace celaris;

namespace {

int Usage(const char* why) {
    std::fprintf(stderr,
                 "celaris-sim: %s\nusage: celaris-sim [--listen ADDR:PORT] [--discovery-port N] "
                 "[--NAME VALUE ...]\n(each --NAME VALUE sets CELARIS_SIM_NAME; see README.md)\n",
                 why);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Flags become the variables the simulator reads.
    for (int i = 1; i < argc; ++i) {
        const QString flag = QString::fromLocal8Bit(argv[i]);
        if (!flag.startsWith(QLatin1String("--")) || flag.size() < 3)
            return Usage(qPrintable(QStringLiteral("unknown argument %1").arg(flag)));
        if (i + 1 >= argc) return Usage(qPrintable(QStringLiteral("%1 needs a value").arg(flag)));
        const QByteArray name =
            "CELARIS_SIM_" +
            flag.mid(2).toUpper().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
        qputenv(name.constData(), argv[++i]);
    }
    // Ctrl+C and kill are waited for below, not delivered.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    QCoreApplication app(argc, argv);
    alpaca::ServerOptions options;
    options.port = 11112;
    const QString listen = qEnvironmentVariable("CELARIS_SIM_LISTEN");
    if (!listen.isEmpty()) {
        const auto address = alpaca::ParseListenAddress(listen);
        if (!address) return Usage("--listen takes ADDR:PORT, for example 127.0.0.1:11112");
        options.address = address->host;
        options.port = address->port;
    }
    bool ok = false;
    const int discovery = qEnvironmentVariable("CELARIS_SIM_DISCOVERY_PORT").toInt(&ok);
    if (ok) options.discoveryPort = discovery;

    try {
        SimulatedMount mount(SimulatorOptions::FromEnvironment(), SimulatorClock::System());
        camera::SimulatedCamera camera(mount, SimulatorClock::System(),
                                       camera::EngineApparentToJ2000(),
                                       camera::SimulatedCameraOptions::FromEnvironment());
        sim::SimServer server(mount, camera, options);
        QString error;
        if (!server.Start(&error)) {
            std::fprintf(stderr, "celaris-sim: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("celaris-sim: Alpaca Telescope 0 and Camera 0 on http://%s:%d/\n",
                    qPrintable(options.address), server.port());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop, &signal);
        server.Stop();
    } catch (const dispatch::ComError& e) {
        std::fprintf(stderr, "celaris-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
