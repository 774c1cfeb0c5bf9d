// The indiserver processes Celaris starts: they die with the process that
// started them, even when it is killed, and a start stops what an earlier
// run left behind, but nothing another running Celaris owns.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "celaris/dispatch/com_error.h"
#include "celaris/drivers/indi/indi_client.h"
#include "celaris/drivers/indi/indi_server.h"
#include "celaris/drivers/indi/server_record.h"

using namespace celaris;
using namespace std::chrono_literals;

namespace {

bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return pred();
}

QStringList Records(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("indiserver-*.lock")}, QDir::Files);
}

// A process in a group of its own that nothing ties to this one, as a
// server of an earlier run is once that run is gone.
void StartDetached(QProcess& p, const QString& program, const QStringList& args) {
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
    p.setProgram(program);
    p.setArguments(args);
    p.start();
    ASSERT_TRUE(p.waitForStarted(5000));
}

class IndiServerLifetimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        runtime = dir.filePath("run");
        simulator.drivers = {QStringLiteral("indi_simulator_telescope")};
        simulator.home = dir.path();
        simulator.runtimeDir = runtime;
    }
    QTemporaryDir dir;
    QString runtime;
    indi::IndiServerOptions simulator;
};

}  // namespace

TEST_F(IndiServerLifetimeTest, AServerDiesWithTheProcessThatStartedItEvenKilled) {
    const QString catalogue = dir.filePath("drivers.xml");
    {
        QFile f(catalogue);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "<driversList><devGroup group=\"Telescopes\">"
            "<device label=\"Celaris Test Mount\"><driver name=\"Telescope Simulator\">"
            "indi_simulator_telescope</driver><version>1.0</version></device>"
            "</devGroup></driversList>");
    }
    QProcess helper;
    helper.start(QStringLiteral(INDI_SERVER_HELPER),
                 {catalogue, dir.path(), runtime, QStringLiteral("Celaris Test Mount")});
    ASSERT_TRUE(helper.waitForStarted(5000));
    ASSERT_TRUE(helper.waitForReadyRead(20000)) << helper.readAllStandardError().toStdString();
    const pid_t server = helper.readLine().trimmed().toInt();
    ASSERT_GT(server, 1);
    // The thread that connected has ended; the server and its driver live on.
    EXPECT_EQ(indi::LiveProcessesInGroup(server), 2);
    EXPECT_EQ(Records(runtime).size(), 1);

    ::kill(helper.processId(), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(5000));
    EXPECT_TRUE(Eventually([&] { return indi::LiveProcessesInGroup(server) == 0; }))
        << indi::LiveProcessesInGroup(server) << " processes of the server's group still run";
}

TEST_F(IndiServerLifetimeTest, AStartStopsWhatAnEarlierRunLeftAndOnlyThat) {
    // An earlier run's server, and its record as a killed owner leaves it.
    const int stalePort = indi::FreeLocalPort();
    QProcess stale;
    StartDetached(stale, QStringLiteral("indiserver"),
                  {QStringLiteral("-p"), QString::number(stalePort), QStringLiteral("-u"),
                   dir.filePath("stale.socket"), QStringLiteral("indi_simulator_telescope")});
    const pid_t staleGroup = static_cast<pid_t>(stale.processId());
    ASSERT_TRUE(Eventually([&] {
        indi::IndiClient probe(QStringLiteral("127.0.0.1"), stalePort);
        return probe.Open(200ms, nullptr);
    }));
    QString why;
    auto record =
        indi::ServerRecord::Create(runtime, staleGroup, dir.filePath("stale.socket"), &why);
    ASSERT_TRUE(record) << why.toStdString();
    record->Abandon();
    record.reset();

    // A record whose leader's id went to another program since.
    QProcess other;
    StartDetached(other, QStringLiteral("sleep"), {QStringLiteral("60")});
    const pid_t otherGroup = static_cast<pid_t>(other.processId());
    {
        QFile f(QDir(runtime).filePath(QStringLiteral("indiserver-%1.lock").arg(otherGroup)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(otherGroup) + " 1 " + QFile::encodeName(runtime) + "/x\n");
    }

    auto first = indi::IndiServer::Start(simulator, QStringLiteral("test"));
    EXPECT_TRUE(Eventually([&] { return indi::LiveProcessesInGroup(staleGroup) == 0; }));
    EXPECT_TRUE(stale.waitForFinished(3000));
    EXPECT_EQ(indi::LiveProcessesInGroup(otherGroup), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("stale.socket")));

    // The servers of a Celaris that runs are not stale: a second start
    // leaves the first alone.
    auto second = indi::IndiServer::Start(simulator, QStringLiteral("test"));
    EXPECT_TRUE(first->Running());
    EXPECT_EQ(Records(runtime).size(), 2);
    second.reset();
    first.reset();
    EXPECT_TRUE(Records(runtime).isEmpty());
    ::kill(otherGroup, SIGKILL);
    other.waitForFinished(3000);
}

TEST_F(IndiServerLifetimeTest, AServerOnAPortAskedForAndAMissingProgram) {
    simulator.port = indi::FreeLocalPort();
    auto server = indi::IndiServer::Start(simulator, QStringLiteral("test"));
    EXPECT_EQ(server->port(), simulator.port);

    // The port is taken now: one attempt, and the reason.
    try {
        indi::IndiServer::Start(simulator, QStringLiteral("test"));
        ADD_FAILURE() << "a second server started on a taken port";
    } catch (const dispatch::ComError& e) {
        EXPECT_TRUE(
            e.description().contains("port " + QString::number(simulator.port) + " is in use"))
            << e.description().toStdString();
    }
    indi::IndiServerOptions missing = simulator;
    missing.program = QStringLiteral("no-such-indiserver");
    missing.port = 0;
    try {
        indi::IndiServer::Start(missing, QStringLiteral("test"));
        ADD_FAILURE() << "a missing program started";
    } catch (const dispatch::ComError& e) {
        EXPECT_TRUE(e.description().startsWith("Cannot start no-such-indiserver"))
            << e.description().toStdString();
    }
}
