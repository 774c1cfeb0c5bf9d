// A process that starts an INDI server through the driver, says the
// server's process id on its standard output and then waits to be killed.
// The connection is made on a thread that ends before the id is printed:
// the server must outlive the thread, and die with the process.
//
//   indi_server_helper CATALOGUE HOME RUNTIME_DIR LABEL
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "celaris/dispatch/com_error.h"
#include "celaris/drivers/indi/indi_telescope.h"

int main(int argc, char** argv) {
    using namespace celaris;
    if (argc != 5) {
        std::fprintf(stderr, "usage: indi_server_helper CATALOGUE HOME RUNTIME_DIR LABEL\n");
        return 2;
    }
    indi::IndiOptions o;
    o.catalogPath = QString::fromLocal8Bit(argv[1]);
    o.server.home = QString::fromLocal8Bit(argv[2]);
    o.server.runtimeDir = QString::fromLocal8Bit(argv[3]);
    // A port nobody serves, so the catalogue's driver is started.
    indi::IndiAddress address;
    address.host = QStringLiteral("127.0.0.1");
    address.port = indi::FreeLocalPort();
    address.device = QString::fromLocal8Bit(argv[4]);
    indi::IndiTelescope scope(QStringLiteral("indi:") + address.device, address, o);
    int rc = 0;
    std::thread([&] {
        try {
            scope.SetConnected(true);
        } catch (const dispatch::ComError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.description()));
            rc = 1;
        }
    }).join();
    if (rc != 0) return rc;
    std::printf("%d\n", static_cast<int>(scope.startedServer()->pid()));
    std::fflush(stdout);
    for (;;) ::pause();
}
