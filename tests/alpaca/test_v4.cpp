// ITelescopeV4 on the wire: connect, disconnect, connecting and devicestate
// on top of the hub's connection, in the shape the official Python client
// reads (DeviceState: Value is a list of {"Name", "Value"} objects).
#include <QJsonArray>
#include <QSet>

#include "alpaca_fixture.h"
#include "celaris/drivers/alpaca/wire.h"

using namespace celaris;
using namespace celaris::test;

namespace {

// The items of a DeviceState answer by name; fails the test on a malformed
// item.
QMap<QString, QJsonValue> Items(const Reply& r) {
    QMap<QString, QJsonValue> items;
    EXPECT_TRUE(r.value().isArray()) << r.body;
    for (const QJsonValue& e : r.value().toArray()) {
        const QJsonObject o = e.toObject();
        EXPECT_EQ(o.keys(), (QStringList{"Name", "Value"})) << r.body;
        EXPECT_FALSE(items.contains(o.value("Name").toString())) << r.body;
        items.insert(o.value("Name").toString(), o.value("Value"));
    }
    return items;
}

bool IsUtcDate(const QJsonValue& v) {
    return v.isString() && v.toString().endsWith('Z') &&
           alpaca_wire::ParseUtcDate(v.toString().toStdString()).has_value();
}

}  // namespace

TEST_F(AlpacaServerTest, ConnectAndDisconnectWorkOnTopOfConnected) {
    Serve();
    Reply r = Get("connecting?ClientID=5");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(r.error(), 0);
    EXPECT_EQ(r.value(), QJsonValue(false));

    r = Put("connect", "ClientID=5&ClientTransactionID=8");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(r.error(), 0) << r.message().toStdString();
    EXPECT_EQ(r.clientTransaction(), 8);
    // Connecting is synchronous: connected when connect returns.
    EXPECT_EQ(Get("connecting?ClientID=5").value(), QJsonValue(false));
    EXPECT_EQ(Get("connected?ClientID=5").value(), QJsonValue(true));
    EXPECT_TRUE(state().DriverConnected);

    // Each client's connection counts: another client's disconnect keeps it.
    ASSERT_EQ(Put("connect", "ClientID=6").error(), 0);
    ASSERT_EQ(Put("disconnect", "ClientID=6").error(), 0);
    EXPECT_TRUE(state().DriverConnected);
    ASSERT_EQ(Put("disconnect", "ClientID=5").error(), 0);
    EXPECT_FALSE(state().DriverConnected);
    EXPECT_EQ(Get("connected?ClientID=5").value(), QJsonValue(false));

    // The new members are PUT and GET members like the others.
    EXPECT_EQ(Get("connect").status, 400);
    EXPECT_EQ(Put("devicestate", "").status, 400);
}

TEST_F(AlpacaServerTest, DeviceStateListsTheOperationalPropertiesAsTheSingleMembersGiveThem) {
    Serve();
    // Without a connection it is the hub's NotConnected, with an empty list.
    Reply r = Get("devicestate");
    EXPECT_EQ(r.error(), 0x407);
    EXPECT_EQ(r.value(), QJsonValue(QJsonArray()));

    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    r = Get("devicestate?ClientTransactionID=31");
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.error(), 0) << r.message().toStdString();
    EXPECT_EQ(r.clientTransaction(), 31);
    const auto items = Items(r);
    const QSet<QString> names(items.keyBegin(), items.keyEnd());
    EXPECT_EQ(names,
              (QSet<QString>{"Altitude", "AtHome", "AtPark", "Azimuth", "Declination",
                             "IsPulseGuiding", "RightAscension", "SideOfPier", "SiderealTime",
                             "Slewing", "Tracking", "UTCDate", "TimeStamp"}));
    for (const char* b : {"AtHome", "AtPark", "IsPulseGuiding", "Slewing", "Tracking"})
        EXPECT_TRUE(items.value(b).isBool()) << b;
    for (const char* d : {"Altitude", "Azimuth", "Declination", "RightAscension", "SiderealTime"})
        EXPECT_TRUE(items.value(d).isDouble()) << d;
    EXPECT_TRUE(IsUtcDate(items.value("UTCDate")));
    EXPECT_TRUE(IsUtcDate(items.value("TimeStamp")));

    // The same values as the single members: corrected positions, the pier
    // side as its number.
    // (The sky turns a little between two requests.)
    EXPECT_NEAR(items.value("RightAscension").toDouble(), Get("rightascension").value().toDouble(),
                1e-4);
    EXPECT_NEAR(items.value("Declination").toDouble(), Get("declination").value().toDouble(), 1e-3);
    EXPECT_NEAR(items.value("Altitude").toDouble(), Get("altitude").value().toDouble(), 1e-3);
    EXPECT_EQ(items.value("SideOfPier"), Get("sideofpier").value());
    EXPECT_EQ(items.value("Tracking"), QJsonValue(true));
    EXPECT_EQ(items.value("AtPark"), QJsonValue(false));
}

TEST_F(AlpacaServerTest, DeviceStateLeavesOutAnItemWhoseMemberFails) {
    // A mount that cannot guide raises NotImplemented for IsPulseGuiding.
    static const bool once = [] {
        DriverFactory::Instance().Register(QStringLiteral("Test.NoGuiding"),
                                           [](const QString&) -> std::unique_ptr<Driver> {
                                               SimulatorOptions o;
                                               o.can.canPulseGuide = false;
                                               return std::make_unique<SimulatedMount>(o);
                                           });
        return true;
    }();
    (void)once;
    profile::WriteScope(program->profile(), QStringLiteral("Test.NoGuiding"));
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    EXPECT_EQ(Get("ispulseguiding").error(), 0x400);
    const Reply r = Get("devicestate");
    EXPECT_EQ(r.error(), 0);
    const auto items = Items(r);
    EXPECT_FALSE(items.contains("IsPulseGuiding"));
    EXPECT_TRUE(items.contains("RightAscension"));
    EXPECT_EQ(items.size(), 12);
}
