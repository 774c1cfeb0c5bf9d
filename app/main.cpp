// celaris: the hub with its status loop and its Alpaca server, with the
// windows when there is a display and headless otherwise.
//
//   celaris [--headless] [--driver ID] [--profile FILE] [--listen ADDR:PORT]
//   celaris --discover-alpaca [--profile FILE]
//   celaris --screenshots DIR [--profile FILE]
//
// The windows open when Qt has a display to use (QT_QPA_PLATFORM, DISPLAY
// or WAYLAND_DISPLAY set); --headless runs without them even then. Both
// run the same core: start-up, status loop, hub and Alpaca server.
// --screenshots renders every window to DIR/<window>.png and exits.
//
// --driver writes the "Scope" setting before start-up, so a first run can
// start straight on the built-in simulator (Celaris.Simulator) or an INDI
// mount ("indi:HOST:PORT/DEVICE", "indi:DEVICE"). --listen
// opens the Alpaca server on another address than the setting's (by default
// 127.0.0.1:11111, this machine only); 0.0.0.0:11111 opens it to the
// network. --discover-alpaca lists the Alpaca telescopes on the network,
// adds them to the installed drivers and exits.
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include "celaris/alpaca/server.h"
#include "celaris/calibration/auto_calibration.h"
#include "celaris/calibration/calibration_scripting.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/dispatch/driver.h"
#include "celaris/dispatch/headless_ui.h"
#include "celaris/drivers/alpaca/alpaca_telescope.h"
#include "celaris/drivers/alpaca/discovery.h"
#include "celaris/drivers/camera/camera_choice.h"
#include "celaris/drivers/indi/indi_telescope.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/drivers/solver/astrometry_net_solver.h"
#include "celaris/drivers_list/installed_drivers.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"
#include "celaris/version.h"
#include "desktop.h"
#include "qt_ui.h"
#include "web_console.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the program through its normal exit, on the main
// thread, so the settings are saved.
void InstallSignalHandlers(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
        app.quit();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// Lists the Alpaca telescopes that answer discovery and adds them to the
// installed drivers.
int DiscoverAlpaca(const QString& profilePath) {
    using namespace celaris;
    std::fprintf(stderr, "celaris: looking for Alpaca telescopes...\n");
    const auto found = DiscoverAlpacaTelescopes();
    for (const auto& t : found)
        std::printf("%s\t%s\n", qPrintable(t.progId()), qPrintable(t.deviceName));
    profile::Profile p(profilePath.isEmpty() ? profile::DefaultProfilePath() : profilePath);
    const int added = AddDiscoveredTelescopes(p, found);
    std::fprintf(stderr, "celaris: %lld found, %d new in the driver list.\n",
                 static_cast<long long>(found.size()), added);
    return 0;
}

// Windows when asked for none is not said and a display exists.
bool WantWindows(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--headless" || a == "--discover-alpaca" || a == "--help" || a == "-h" ||
            a == "--version" || a == "-v")
            return false;
        if (a == "--screenshots") return true;
    }
    for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(v)) return true;
    return false;
}

constexpr char kUsage[] =
    "usage: celaris [--headless] [--driver ID] [--profile FILE] [--listen ADDR:PORT]\n"
    "       celaris --discover-alpaca [--profile FILE]\n"
    "       celaris --screenshots DIR [--profile FILE]\n";

// A command line that cannot be followed: the reason, the usage, exit code 2.
int UsageError(const QString& why) {
    std::fprintf(stderr, "celaris: %s\n%s", qPrintable(why), kUsage);
    return 2;
}

// Null when a driver serves the id (it is only made, not connected), else
// why not, with the ids that would do.
std::optional<QString> UnknownDriver(const QString& id, const celaris::profile::Profile& profile) {
    using namespace celaris;
    QString why;
    try {
        DriverFactory::Instance().Create(id);
        return std::nullopt;
    } catch (const dispatch::ComError& e) {
        why = e.description();
    }
    QString known = QStringLiteral("%1\nKnown drivers:").arg(why);
    try {
        for (const auto& d : drivers_list::InstalledDrivers(profile).List())
            known += QStringLiteral("\n  %1  (%2)").arg(d.progId, d.description);
    } catch (const dispatch::ComError& e) {
        known += QStringLiteral("\n  (the list is incomplete: %1)").arg(e.description());
    }
    known += QStringLiteral(
        "\nand any INDI or Alpaca mount by address: indi:HOST:PORT/DEVICE, indi:DEVICE, "
        "alpaca:HOST:PORT/N.");
    return known;
}

}  // namespace

int main(int argc, char** argv) {
    const bool windowed = WantWindows(argc, argv);
    std::unique_ptr<QCoreApplication> appHolder(windowed ? new QApplication(argc, argv)
                                                         : new QCoreApplication(argc, argv));
    QCoreApplication& app = *appHolder;
    QCoreApplication::setApplicationName(QStringLiteral("Celaris"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(celaris::version::kVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Celaris telescope pointing correction hub"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("headless"), QStringLiteral("Run without windows.")});
    parser.addOption({QStringLiteral("driver"),
                      QStringLiteral("Telescope driver id to use (written to the Scope setting)."),
                      QStringLiteral("id")});
    parser.addOption({QStringLiteral("profile"),
                      QStringLiteral("Settings file to use instead of the user's."),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("listen"),
                      QStringLiteral("Address and port of the Alpaca server (default "
                                     "127.0.0.1:11111; 0.0.0.0:11111 opens it to the network)."),
                      QStringLiteral("addr:port")});
    parser.addOption({QStringLiteral("discover-alpaca"),
                      QStringLiteral("List the Alpaca telescopes on the network, add them to the "
                                     "installed drivers and exit.")});
    parser.addOption({QStringLiteral("screenshots"),
                      QStringLiteral("Render every window to DIR/<window>.png and exit."),
                      QStringLiteral("dir")});
    if (!parser.parse(app.arguments())) return UsageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return UsageError(QStringLiteral("unexpected argument \"%1\".")
                              .arg(parser.positionalArguments().constFirst()));

    celaris::RegisterSimulatorDriver();
    celaris::RegisterAlpacaDriver();
    celaris::RegisterIndiDriver();
    celaris::dispatch::HeadlessUi headlessUi;
    celaris::windows::QtUi qtUi;
    celaris::dispatch::Ui& ui = windowed ? static_cast<celaris::dispatch::Ui&>(qtUi) : headlessUi;
    try {
        const QString profilePath = parser.value(QStringLiteral("profile"));
        if (parser.isSet(QStringLiteral("discover-alpaca"))) return DiscoverAlpaca(profilePath);
        if (parser.isSet(QStringLiteral("driver"))) {
            const celaris::profile::Profile store(
                profilePath.isEmpty() ? celaris::profile::DefaultProfilePath() : profilePath);
            if (const auto why = UnknownDriver(parser.value(QStringLiteral("driver")), store))
                return UsageError(*why);
        }
        std::optional<celaris::alpaca::ListenAddress> listen;
        if (parser.isSet(QStringLiteral("listen"))) {
            listen = celaris::alpaca::ParseListenAddress(parser.value(QStringLiteral("listen")));
            if (!listen) {
                std::fprintf(stderr,
                             "celaris: --listen wants ADDR:PORT, for example 0.0.0.0:11111.\n");
                return 2;
            }
        }
        // The console's calls collect the boxes the models raise for the page.
        celaris::models::ConsoleUi consoleUi(ui);
        celaris::hub::Program program(consoleUi, profilePath);
        if (parser.isSet(QStringLiteral("driver"))) {
            // Kept for this run even where the store cannot keep it.
            program.settings().Scope = parser.value(QStringLiteral("driver"));
            try {
                celaris::profile::WriteScope(program.profile(),
                                             parser.value(QStringLiteral("driver")));
            } catch (const celaris::dispatch::ComError& e) {
                if (program.SettingsKept()) ui.Log(e.description());
            }
        }
        // The one calibration store, with or without windows.
        celaris::calibration::CalibrationStore store(program);
        // The automatic run, with or without its window.
        celaris::calibration::AutoCalibration autoCal(program, store);
        autoCal.SetCameraFactory([&program] {
            const QString id = celaris::camera::CameraIdFor(program.settings());
            celaris::camera::CameraContext context;
            context.mount = program.hub().driver();
            return celaris::camera::CreateCamera(id, context);
        });
        autoCal.SetSolverFactory(
            [] { return std::make_unique<celaris::solver::AstrometryNetSolver>(); });
        autoCal.Load();
        std::unique_ptr<celaris::windows::Desktop> desktop;
        if (windowed) desktop = std::make_unique<celaris::windows::Desktop>(program, store, &qtUi);
        if (desktop) desktop->SetAutoCalibration(&autoCal);
        if (parser.isSet(QStringLiteral("screenshots"))) {
            for (const QString& f :
                 desktop->Screenshots(parser.value(QStringLiteral("screenshots"))))
                std::printf("%s\n", qPrintable(f));
            desktop.reset();
            program.Shutdown();
            return 0;
        }
        if (!program.StartTimer()) return 1;
        InstallSignalHandlers(app);

        // The Alpaca server, once the hub is up.
        auto options = celaris::alpaca::ReadServerOptions(program.profile());
        if (listen) {
            options.address = listen->host;
            options.port = listen->port;
        }
        auto server = std::make_unique<celaris::alpaca::AlpacaServer>(program.hub(), options);
        // Scripts reach the same store as the windows.
        server->SetCalibration(&store);
        // The browser console, on the windows' models when there are windows.
        celaris::models::ConsoleModels shared;
        if (desktop)
            shared = {&desktop->mainModel(), &desktop->setupModel(), &desktop->horizonModel(),
                      &desktop->errorsModel()};
        celaris::models::WebConsole console(program, store, consoleUi, shared);
        // The page's run is the window's, or the program's without windows.
        console.SetAutoCalibration(&autoCal);
        server->SetConsole(&console);
        server->SetAutoCalibration(&autoCal);
        // A script's CalStarsEpoch reloads the reference stars the windows show.
        if (desktop && server->calibration())
            server->calibration()->SetStarsReload(
                [&desktop] { desktop->mainModel().manual().stars().LoadStars(); });
        server->Start();
        std::fprintf(
            stderr, "celaris: Alpaca telescope on %s (setup page %ssetup)%s\n",
            qPrintable(server->url()), qPrintable(server->url()),
            celaris::alpaca::IsLoopback(options.address)
                ? "; this machine only, --listen 0.0.0.0:11111 opens it to the network."
                : qPrintable(QStringLiteral("; listening on %1:%2, reachable from the network.")
                                 .arg(options.address)
                                 .arg(server->port())));
        QObject::connect(&program.status(), &celaris::hub::StatusLoop::statusChanged,
                         [last = QString()](const QString& text) mutable {
                             if (text == last) return;
                             last = text;
                             std::fprintf(stderr, "celaris: %s\n",
                                          qPrintable(QString(text).replace("\r\n", " | ")));
                         });
        std::fprintf(stderr, "celaris: hub running %s with settings in %s; Ctrl+C stops it.\n",
                     windowed ? "with windows" : "headless", qPrintable(program.profile().path()));
        if (desktop) desktop->Show();
        const int rc = app.exec();
        // Clients' objects go first: each gives back its connection.
        server.reset();
        desktop.reset();
        autoCal.Release();
        autoCal.Unload();
        program.Shutdown();
        std::fprintf(stderr, program.SettingsSaved()
                                 ? "celaris: settings saved, exiting.\n"
                                 : "celaris: exiting; the settings were not saved.\n");
        return rc;
    } catch (const celaris::dispatch::ComError& e) {
        std::fprintf(stderr, "celaris: %s (error %d, %s)\n", qPrintable(e.description()),
                     e.number(), qPrintable(e.source()));
        return 1;
    }
}
