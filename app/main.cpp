// celaris: the hub with its status loop, headless until the windows exist.
//
//   celaris [--headless] [--driver ID] [--profile FILE]
//
// --driver writes the "Scope" setting before start-up, so a first run can
// start straight on the built-in simulator (Celaris.Simulator) or an INDI
// mount ("indi:HOST:PORT/DEVICE", "indi:DEVICE").
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "celaris/dispatch/headless_ui.h"
#include "celaris/drivers/indi/indi_telescope.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"

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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Celaris"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.4.0"));

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
    parser.process(app);

    celaris::RegisterSimulatorDriver();
    celaris::RegisterIndiDriver();
    celaris::dispatch::HeadlessUi ui;
    try {
        const QString profilePath = parser.value(QStringLiteral("profile"));
        if (parser.isSet(QStringLiteral("driver"))) {
            celaris::profile::Profile p(profilePath.isEmpty()
                                            ? celaris::profile::DefaultProfilePath()
                                            : profilePath);
            celaris::profile::WriteScope(p, parser.value(QStringLiteral("driver")));
        }
        celaris::hub::Program program(ui, profilePath);
        if (!program.StartTimer()) return 1;
        InstallSignalHandlers(app);
        QObject::connect(&program.status(), &celaris::hub::StatusLoop::statusChanged,
                         [last = QString()](const QString& text) mutable {
                             if (text == last) return;
                             last = text;
                             std::fprintf(stderr, "celaris: %s\n",
                                          qPrintable(QString(text).replace("\r\n", " | ")));
                         });
        std::fprintf(stderr,
                     "celaris: hub running headless with settings in %s; Ctrl+C stops it.\n",
                     qPrintable(program.profile().path()));
        const int rc = app.exec();
        program.Shutdown();
        std::fprintf(stderr, "celaris: settings saved, exiting.\n");
        return rc;
    } catch (const celaris::dispatch::ComError& e) {
        std::fprintf(stderr, "celaris: %s (error %d, %s)\n", qPrintable(e.description()),
                     e.number(), qPrintable(e.source()));
        return 1;
    }
}
