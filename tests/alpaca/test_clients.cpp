// One hub Telescope object per Alpaca ClientID: the connection count
// across clients, the anonymous client, and the release of a client that
// went silent.
#include "alpaca_fixture.h"

using namespace celaris;
using namespace celaris::test;

namespace {
alpaca::ServerOptions IdleAfter(int ms) {
    alpaca::ServerOptions o;
    o.clientIdleTime = std::chrono::milliseconds(ms);
    return o;
}
}  // namespace

TEST_F(AlpacaServerTest, EachClientHoldsItsOwnConnectionUntilItGoesSilent) {
    Serve(IdleAfter(600));
    HttpClient other(server->port());

    // A connects: the driver is made and connected.
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=1").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 1);
    Driver* driver = program->hub().driver();
    ASSERT_NE(driver, nullptr);

    // B connects over its own connection: counted, driver untouched.
    ASSERT_EQ(other.Put(kApi + "connected", "Connected=true&ClientID=2").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 2);
    EXPECT_EQ(program->hub().driver(), driver);

    // C never connected: it sees the hub connected, and its "false" does
    // nothing.
    EXPECT_EQ(Get("connected?ClientID=3").value(), QJsonValue(true));
    ASSERT_EQ(Put("connected", "Connected=false&ClientID=3").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 2);

    // A disconnects: B still holds the driver.
    ASSERT_EQ(Put("connected", "Connected=false&ClientID=1").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 1);
    EXPECT_TRUE(state().DriverConnected);
    EXPECT_EQ(server->clientCount(), 3);

    // B goes silent: after the idle time its object is released, which
    // disconnects and releases the driver.
    ASSERT_TRUE(WaitUntil([&] { return state().ConnectionCount == 0; }, 5000));
    EXPECT_FALSE(state().DriverConnected);
    EXPECT_EQ(program->hub().driver(), nullptr);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains("client 2")) << log[0].toStdString();
    // Objects without a connection hold nothing and stay: a client that
    // comes back keeps its object.
    WaitUntil([] { return false; }, 700);
    EXPECT_EQ(server->clientCount(), 2);
    EXPECT_EQ(log.size(), 1);
}

TEST_F(AlpacaServerTest, ClientsWithoutAnIdShareOneObject) {
    Serve();
    HttpClient other(server->port());
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 1);
    // ClientID 0 is the same anonymous client; one that does not parse is
    // refused and changes nothing.
    ASSERT_EQ(other.Put(kApi + "connected", "Connected=true&ClientID=0").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 1);
    EXPECT_EQ(other.Put(kApi + "connected", "Connected=false&ClientID=x").status, 400);
    EXPECT_EQ(state().ConnectionCount, 1);
    ASSERT_EQ(other.Put(kApi + "connected", "Connected=false").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 0);
    EXPECT_FALSE(state().DriverConnected);
    EXPECT_EQ(server->clientCount(), 1);
}

TEST_F(AlpacaServerTest, StoppingTheServerGivesBackEveryConnection) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=8").error(), 0);
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=9").error(), 0);
    EXPECT_EQ(state().ConnectionCount, 2);
    // The client keeps its connection open: stopping does not wait for it.
    QElapsedTimer clock;
    clock.start();
    server->Stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(state().ConnectionCount, 0);
    EXPECT_FALSE(state().DriverConnected);
    EXPECT_FALSE(server->running());
}

TEST_F(AlpacaServerTest, ARequestStillWaitingWhenTheServerStopsNeverReachesTheHub) {
    Serve();
    // This thread answers nothing while the request waits for it.
    Reply reply;
    std::thread worker([&] {
        reply = HttpClient::Make(client->raw().Put(kApi + "connected", "Connected=true",
                                                   "application/x-www-form-urlencoded"));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    server->Stop();
    worker.join();
    EXPECT_TRUE(reply.status == 503 || reply.status == 0) << reply.status;
    // The request handed over earlier finds the server stopped.
    WaitUntil([] { return false; }, 50);
    EXPECT_EQ(state().ConnectionCount, 0);
    EXPECT_FALSE(state().DriverConnected);
}
