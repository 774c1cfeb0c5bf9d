// The program with its windows on the simulator: an Alpaca client slews and
// the main window's rows follow the mount; and the celaris binary itself
// starting with windows on the offscreen display.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTcpServer>

#include "alpaca_fixture.h"
#include "desktop.h"
#include "window_rules.h"

using namespace celaris;
using namespace celaris::test;

class ProgramWithWindows : public AlpacaServerTest {};

TEST_F(ProgramWithWindows, TheRowsFollowASlewOfAnAlpacaClient) {
    program->settings().PollInterval = 0.2;
    calibration::CalibrationStore store(*program);
    windows::Desktop desktop(*program, store, nullptr);
    desktop.Show();
    program->StartTimer();
    Serve();
    ASSERT_EQ(Put("connected", "Connected=True&ClientID=7").error(), 0);
    const double ra = std::fmod(program->hub().SiderealAngle() * 12 / M_PI + 1.5, 24.0);
    ASSERT_EQ(Put("slewtocoordinatesasync",
                  "RightAscension=" + std::to_string(ra) + "&Declination=35&ClientID=7")
                  .error(),
              0);
    auto* scopeRa = desktop.main().findChild<QLabel*>("lblScopeRA");
    auto* scopeDec = desktop.main().findChild<QLabel*>("lblScopeDec");
    auto* targetRa = desktop.main().findChild<QLabel*>("lblTrueRA");
    auto* status = desktop.main().findChild<QPlainTextEdit*>("txtStatus");
    ASSERT_TRUE(scopeRa && scopeDec && targetRa && status);
    // The Target row shows the client's target at once; Scope follows.
    EXPECT_TRUE(WaitUntil([&] { return targetRa->text() == models::FormatRA(ra); }, 5000));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !Get("slewing").value().toBool() &&
                   scopeDec->text() == models::FormatDec(program->hub().state().ScopeDec) &&
                   std::abs(program->hub().state().ScopeDec - 35.0) < 0.01;
        },
        20000));
    EXPECT_TRUE(scopeDec->text().startsWith("35° 00'")) << scopeDec->text().toStdString();
    EXPECT_TRUE(status->toPlainText().contains("Connected"));
    EXPECT_FALSE(desktop.main().findChild<QWidget*>("cmdStopSlew")->isEnabled());
    ASSERT_EQ(Put("connected", "Connected=False&ClientID=7").error(), 0);
}

TEST(CelarisBinary, StartsWithWindowsOnTheSimulatorAndServesClients) {
    QTemporaryDir dir;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const int port = probe.serverPort();
    probe.close();
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(CELARIS_BIN),
            {"--driver", "Celaris.Simulator", "--profile", dir.filePath("p.json"), "--listen",
             QStringLiteral("127.0.0.1:%1").arg(port)});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray err;
    ASSERT_TRUE(WaitUntil(
        [&] {
            p.waitForReadyRead(50);
            err += p.readAllStandardError();
            return err.contains("with windows");
        },
        20000))
        << err.toStdString();
    HttpClient client(port);
    EXPECT_EQ(client.Put(kApi + "connected", "Connected=True&ClientID=1").error(), 0);
    EXPECT_TRUE(client.Get(kApi + "connected?ClientID=1").value().toBool());
    EXPECT_EQ(client.Put(kApi + "connected", "Connected=False&ClientID=1").error(), 0);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    err += p.readAllStandardError();
    EXPECT_TRUE(err.contains("settings saved")) << err.toStdString();
}
