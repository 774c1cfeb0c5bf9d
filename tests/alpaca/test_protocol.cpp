// The Alpaca Telescope device over real HTTP: every member, the casing and
// value rules, malformed requests, the errors on the wire, the management
// API, the setup pages and the size limits.
#include <QDateTime>
#include <QJsonArray>
#include <QSet>
#include <QUuid>

#include "alpaca_fixture.h"
#include "celaris/alpaca/server_options.h"
#include "celaris/drivers/alpaca/wire.h"
#include "celaris/drivers/alpaca/wire_members.h"

using namespace celaris;
using namespace celaris::test;
using alpaca_wire::Kind;
using alpaca_wire::Verb;

namespace {

bool HasKind(Kind kind, const QJsonValue& v) {
    switch (kind) {
        case Kind::Bool:
            return v.isBool();
        case Kind::Int:
            return v.isDouble() && v.toDouble() == std::floor(v.toDouble());
        case Kind::Double:
            return v.isDouble();
        case Kind::Text:
            return v.isString();
        case Kind::Date:
            return v.isString() && v.toString().endsWith('Z') &&
                   alpaca_wire::ParseUtcDate(v.toString().toStdString()).has_value();
        case Kind::IntList:
            for (const auto& e : v.toArray())
                if (!e.isDouble()) return false;
            return v.isArray() && !v.toArray().isEmpty();
        case Kind::AxisRates:
            for (const auto& e : v.toArray())
                if (e.toObject().keys() != QStringList{"Maximum", "Minimum"}) return false;
            return v.isArray() && !v.toArray().isEmpty();
        case Kind::TextList:
            return v.isArray();
        case Kind::StateList:
            for (const auto& e : v.toArray())
                if (e.toObject().keys() != QStringList{"Name", "Value"}) return false;
            return v.isArray() && !v.toArray().isEmpty();
        case Kind::None:
            return v.isUndefined();
    }
    return false;
}

std::string ValidArgument(const QString& key) {
    if (key == "Axis") return "0";
    if (key == "RightAscension") return "12";
    return "45";
}

const QStringList kGetKeys = {"ClientTransactionID", "ErrorMessage", "ErrorNumber",
                              "ServerTransactionID", "Value"};
const QStringList kPutKeys = {"ClientTransactionID", "ErrorMessage", "ErrorNumber",
                              "ServerTransactionID"};

}  // namespace

TEST_F(AlpacaServerTest, EveryGetMemberAnswersWithAValueOfItsKind) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=3").error(), 0);
    qint64 lastServer = 0;
    int transaction = 100;
    for (const auto& m : alpaca_wire::TelescopeMembers()) {
        if (m.verb != Verb::Get) continue;
        std::string q = m.path.toStdString() +
                        "?ClientID=3&ClientTransactionID=" + std::to_string(++transaction);
        // Appended piece by piece: "&" + std::string sets off a GCC 12
        // -Wrestrict false positive in optimised builds.
        for (const auto& p : m.params) {
            q += '&';
            q += p.key.toStdString();
            q += '=';
            q += ValidArgument(p.key);
        }
        SCOPED_TRACE(q);
        const Reply r = Get(q);
        ASSERT_EQ(r.status, 200);
        EXPECT_EQ(r.contentType, "application/json");
        EXPECT_EQ(r.json.keys(), kGetKeys);
        EXPECT_EQ(r.clientTransaction(), transaction);
        EXPECT_GT(r.serverTransaction(), lastServer);
        lastServer = r.serverTransaction();
        // Nobody has set a target yet: the driver's ValueNotSet.
        const bool unset = m.path.startsWith("target");
        EXPECT_EQ(r.error(), unset ? 0x402 : 0) << r.message().toStdString();
        EXPECT_TRUE(HasKind(m.result, r.value())) << r.body;
    }
}

TEST_F(AlpacaServerTest, EveryPutMemberReachesTheMount) {
    Serve();
    const std::string now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
    struct Step {
        std::string member;
        std::string form;
        int error;
    };
    // In an order a mount accepts: asynchronous motion is stopped before
    // the next sync.
    const std::vector<Step> steps = {
        {"connected", "Connected=true", 0},
        {"tracking", "Tracking=true", 0},
        {"trackingrate", "TrackingRate=0", 0},
        {"declinationrate", "DeclinationRate=0", 0},
        {"rightascensionrate", "RightAscensionRate=0", 0},
        {"guideratedeclination", "GuideRateDeclination=0.004", 0},
        {"guideraterightascension", "GuideRateRightAscension=0.004", 0},
        {"doesrefraction", "DoesRefraction=false", 0x400},  // not on the simulator
        {"siteelevation", "SiteElevation=250", 0},
        {"sitelatitude", "SiteLatitude=45", 0},
        {"sitelongitude", "SiteLongitude=-75", 0},
        {"slewsettletime", "SlewSettleTime=0", 0},
        {"utcdate", "UTCDate=" + now, 0},
        {"targetrightascension", "TargetRightAscension=3.5", 0},
        {"targetdeclination", "TargetDeclination=80", 0},
        {"slewtotarget", "", 0},
        {"slewtotargetasync", "", 0},
        {"abortslew", "", 0},
        {"synctotarget", "", 0},
        {"slewtocoordinates", "RightAscension=4&Declination=80", 0},
        {"slewtocoordinatesasync", "RightAscension=5&Declination=80", 0},
        {"abortslew", "", 0},
        {"synctocoordinates", "RightAscension=5&Declination=80", 0},
        {"slewtoaltaz", "Azimuth=10&Altitude=50", 0},
        {"slewtoaltazasync", "Azimuth=20&Altitude=50", 0},
        {"abortslew", "", 0},
        {"synctoaltaz", "Azimuth=20&Altitude=50", 0},
        {"moveaxis", "Axis=0&Rate=1", 0},
        {"moveaxis", "Axis=0&Rate=0", 0},
        {"pulseguide", "Direction=0&Duration=10", 0},
        {"sideofpier", "SideOfPier=1", 0},
        {"abortslew", "", 0},
        {"setpark", "", 0},
        {"park", "", 0},
        {"unpark", "", 0},
        {"findhome", "", 0},
        {"action", "Action=Dance&Parameters=", 0x40C},
        {"commandblind", "Command=X&Raw=false", 0x400},
        {"commandbool", "Command=X&Raw=true", 0x400},
        {"commandstring", "Command=X", 0x400},
        {"disconnect", "", 0},
        {"connect", "", 0},
        {"connected", "Connected=false", 0},
    };
    QSet<QString> covered;
    qint64 lastServer = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.member + " " + s.form);
        const Reply r =
            Put(s.member, s.form + (s.form.empty() ? "" : "&") + "ClientTransactionID=7");
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(r.json.keys(), kPutKeys);
        EXPECT_EQ(r.error(), s.error) << r.message().toStdString();
        EXPECT_EQ(r.error() == 0, r.message().isEmpty());
        EXPECT_EQ(r.clientTransaction(), 7);
        EXPECT_GT(r.serverTransaction(), lastServer);
        lastServer = r.serverTransaction();
        covered.insert(QString::fromStdString(s.member));
    }
    for (const auto& m : alpaca_wire::TelescopeMembers()) {
        if (m.verb != Verb::Put) continue;
        EXPECT_TRUE(covered.contains(m.path)) << m.path.toStdString();
    }
    EXPECT_FALSE(state().DriverConnected);
}

TEST_F(AlpacaServerTest, WrittenValuesReadBack) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    ASSERT_EQ(Put("siteelevation", "SiteElevation=1234.5").error(), 0);
    EXPECT_EQ(Get("siteelevation").value().toDouble(), 1234.5);
    ASSERT_EQ(Put("tracking", "Tracking=False").error(), 0);
    EXPECT_EQ(Get("tracking").value(), QJsonValue(false));
    // Dates with fractions, offsets or none at all are UTC on the way out.
    ASSERT_EQ(Put("utcdate", "UTCDate=2024-03-01T21:05:09.1234567%2B00:00").error(), 0);
    const auto back = alpaca_wire::ParseUtcDate(Get("utcdate").value().toString().toStdString());
    ASSERT_TRUE(back.has_value());
    EXPECT_NEAR(
        double(back->toMSecsSinceEpoch()),
        double(QDateTime(QDate(2024, 3, 1), QTime(21, 5, 9, 123), Qt::UTC).toMSecsSinceEpoch()),
        2000.0);
}

TEST_F(AlpacaServerTest, CasingRulesAndExtraParameters) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);

    // GET: keys in any letter case, in any order, extra keys ignored.
    Reply r = Get("axisrates?axis=0&clienttransactionid=11&clientid=4");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.error(), 0);
    EXPECT_EQ(r.clientTransaction(), 11);
    r = Get("destinationsideofpier?DECLINATION=45&Foo=1&rightascension=12&CLIENTTRANSACTIONID=12");
    EXPECT_EQ(r.error(), 0);
    EXPECT_EQ(r.clientTransaction(), 12);

    // PUT: a required key in other casing is missing; a mis-cased id is
    // ignored; booleans in any casing.
    r = Put("tracking", "tracking=true&ClientTransactionID=13");
    EXPECT_EQ(r.status, 400);
    EXPECT_NE(r.contentType.find("text/plain"), std::string::npos);
    EXPECT_FALSE(r.body.empty());
    r = Put("tracking", "Foo=bar&Tracking=TRUE&clienttransactionid=14");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.error(), 0);
    EXPECT_EQ(r.clientTransaction(), 0);

    EXPECT_EQ(Get("connected?ClientTransactionID=4294967295").clientTransaction(), 4294967295);
    EXPECT_EQ(Get("connected").clientTransaction(), 0);
}

TEST_F(AlpacaServerTest, MalformedClientIdsAre400) {
    Serve();
    for (const std::string value : {"-1", "abc", "4294967296", "", "1.5", "0x10"}) {
        for (const std::string key : {"ClientID", "ClientTransactionID", "clientid"}) {
            const std::string field = key + "=" + value;
            SCOPED_TRACE(field);
            for (const Reply& r :
                 {Get("connected?" + field), client->Get("/management/apiversions?" + field)}) {
                EXPECT_EQ(r.status, 400);
                EXPECT_NE(r.contentType.find("text/plain"), std::string::npos);
                EXPECT_NE(r.body.find(key == "clientid" ? "ClientID" : key), std::string::npos)
                    << r.body;
            }
        }
        EXPECT_EQ(Put("abortslew", "ClientID=" + value).status, 400) << value;
        EXPECT_EQ(Put("abortslew", "ClientTransactionID=" + value).status, 400) << value;
        // A mis-cased form key is not the id: ignored.
        EXPECT_EQ(Put("abortslew", "clientid=" + value).status, 200) << value;
    }
    EXPECT_EQ(Get("connected?ClientID=4294967295").status, 200);
}

TEST_F(AlpacaServerTest, MalformedRequestsAre400AndNeverReachTheHub) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    const double targetRA = state().TargetRA;
    const std::vector<std::pair<std::string, std::string>> gets = {
        {"/api/v1/telescope/0/nosuchmember", "unknown member"},
        {"/api/v1/camera/0/connected", "unknown device type"},
        {"/api/v1/telescope/1/connected", "unknown device number"},
        {"/api/v1/telescope/00/connected", "device number with a leading zero"},
        {"/api/v1/telescope/0/Connected", "upper-case member"},
        {"/API/v1/telescope/0/connected", "upper-case path"},
        {"/api/v2/telescope/0/connected", "unknown API version"},
        {"/api/v1/telescope/0/connected/", "trailing slash"},
        {"/api/v1/telescope/0/abortslew", "PUT-only member"},
        {"/api/v1/telescope/0/axisrates", "missing Axis"},
        {"/api/v1/telescope/0/axisrates?Axis=zero", "Axis not a number"},
        {"/api/v1/telescope/0/axisrates?Axis=1.5", "Axis not whole"},
        {"/management/v1/nothing", "unknown management request"},
    };
    for (const auto& [target, why] : gets) {
        const Reply r = client->Get(target);
        EXPECT_EQ(r.status, 400) << why;
        EXPECT_NE(r.contentType.find("text/plain"), std::string::npos) << why;
        EXPECT_FALSE(r.body.empty()) << why;
    }
    const std::vector<std::pair<std::string, std::string>> puts = {
        {"rightascension", "RightAscension=1"},  // GET-only member
        {"slewtocoordinates", "RightAscension=12,5&Declination=45"},
        {"slewtocoordinates", "RightAscension=1,200&Declination=45"},
        {"slewtocoordinates", "RightAscension=nan&Declination=45"},
        {"slewtocoordinates", "RightAscension=inf&Declination=45"},
        {"slewtocoordinates", "RightAscension=1e999&Declination=45"},
        {"slewtocoordinates", "RightAscension=&Declination=45"},
        {"slewtocoordinates", "Declination=45"},
        {"tracking", "Tracking=yes"},
        {"utcdate", "UTCDate=yesterday"},
        {"utcdate", "UTCDate=2024-02-30T00:00:00Z"},
        {"pulseguide", "Direction=0&Duration=1.5"},
    };
    for (const auto& [member, form] : puts) {
        const Reply r = Put(member, form);
        EXPECT_EQ(r.status, 400) << member << " " << form;
    }
    EXPECT_EQ(OffThread([&] {
                  return HttpClient::Make(client->raw().Post(kApi + "connected", "Connected=true",
                                                             "application/x-www-form-urlencoded"));
              }).status,
              400);
    EXPECT_EQ(state().TargetRA, targetRA);
    EXPECT_EQ(state().SettleCount, 0);
}

TEST_F(AlpacaServerTest, OutOfRangeValuesAreInvalidValueAndNothingMoves) {
    Serve();
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    Driver* mount = program->hub().driver();
    const double ra = mount->Get("RightAscension").toDouble();
    const double dec = mount->Get("Declination").toDouble();
    const double targetRA = state().TargetRA, targetDec = state().TargetDec;
    const std::vector<std::pair<std::string, std::string>> puts = {
        {"slewtocoordinates", "RightAscension=24&Declination=45"},
        {"slewtocoordinates", "RightAscension=-1&Declination=45"},
        {"slewtocoordinatesasync", "RightAscension=25&Declination=45"},
        {"slewtocoordinatesasync", "RightAscension=12&Declination=100"},
        {"synctocoordinates", "RightAscension=12&Declination=-100"},
        {"slewtoaltaz", "Azimuth=370&Altitude=45"},
        {"slewtoaltazasync", "Azimuth=-10&Altitude=45"},
        {"slewtoaltazasync", "Azimuth=360&Altitude=45"},
        {"synctoaltaz", "Azimuth=10&Altitude=100"},
        {"slewtoaltaz", "Azimuth=10&Altitude=-100"},
        {"targetrightascension", "TargetRightAscension=24"},
        {"targetdeclination", "TargetDeclination=90.5"},
        {"sitelatitude", "SiteLatitude=91"},
        {"sitelongitude", "SiteLongitude=-181"},
        {"siteelevation", "SiteElevation=-301"},
        {"slewsettletime", "SlewSettleTime=-1"},
        {"pulseguide", "Direction=4&Duration=10"},
        {"moveaxis", "Axis=3&Rate=1"},
        {"trackingrate", "TrackingRate=7"},
        {"sideofpier", "SideOfPier=-1"},
    };
    for (const auto& [member, form] : puts) {
        const Reply r = Put(member, form + "&ClientTransactionID=21");
        EXPECT_EQ(r.status, 200) << member;
        EXPECT_EQ(r.error(), 0x401) << member << " " << form;
        EXPECT_FALSE(r.message().isEmpty());
        EXPECT_EQ(r.clientTransaction(), 21);
        EXPECT_EQ(r.json.keys(), kPutKeys);
    }
    // A GET member answers with its empty Value.
    const Reply r = Get("destinationsideofpier?RightAscension=24&Declination=0");
    EXPECT_EQ(r.error(), 0x401);
    EXPECT_EQ(r.value(), QJsonValue(0));
    EXPECT_TRUE(r.message().contains("RightAscension")) << r.message().toStdString();

    // Tracking holds the position to far better than any slew would move it.
    EXPECT_NEAR(mount->Get("RightAscension").toDouble(), ra, 1e-6);
    EXPECT_NEAR(mount->Get("Declination").toDouble(), dec, 1e-6);
    EXPECT_FALSE(mount->Get("Slewing").toBool());
    EXPECT_EQ(state().TargetRA, targetRA);
    EXPECT_EQ(state().TargetDec, targetDec);
    EXPECT_EQ(state().SettleCount, 0);
}

TEST_F(AlpacaServerTest, ErrorsOnTheWireCarryTheirAlpacaMeaning) {
    Serve();
    // The hub's "Telescope not connected." is NotConnected, with its text.
    Reply r = Get("tracking");
    EXPECT_EQ(r.error(), 0x407);
    EXPECT_EQ(r.message(), "Telescope not connected.");
    EXPECT_EQ(r.value(), QJsonValue(false));
    EXPECT_EQ(Get("name").error(), 0x407);
    EXPECT_EQ(Get("driverversion").value(), QJsonValue("1.4"));
    EXPECT_EQ(Get("interfaceversion").value(), QJsonValue(2));

    // No driver chosen.
    profile::WriteScope(program->profile(), QString());
    r = Put("connected", "Connected=true");
    EXPECT_EQ(r.error(), 0x500);
    EXPECT_EQ(r.message(), "Telescope driver not selected in Celaris.");
    profile::WriteScope(program->profile(), QString::fromLatin1(kFastSimulator));
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);

    // A driver's ValueNotSet has the hub's not-connected number inside,
    // and stays ValueNotSet outside.
    r = Get("targetrightascension");
    EXPECT_EQ(r.error(), 0x402);
    EXPECT_EQ(r.message(), "TargetRightAscension has not been set.");
    // Each target's not-set error names the member asked for.
    r = Get("targetdeclination");
    EXPECT_EQ(r.error(), 0x402);
    EXPECT_EQ(r.message(), "TargetDeclination has not been set.");

    // The user's slew limits are InvalidValue.
    program->settings().EnforceLimits = true;
    program->settings().DecLimitRad = 10.0 * 0.017453292519943278;
    r = Put("slewtocoordinates", "RightAscension=3&Declination=80");
    EXPECT_EQ(r.error(), 0x401);
    EXPECT_EQ(r.message(), "User specified slew limits exceeded.");
    EXPECT_FALSE(program->hub().driver()->Get("Slewing").toBool());

    // A member the driver lacks is NotImplemented with the driver's text.
    r = Put("commandstring", "Command=X&Raw=false");
    EXPECT_EQ(r.error(), 0x400);
    EXPECT_EQ(r.message(), "CommandString is not implemented.");
}

TEST_F(AlpacaServerTest, ManagementApiAndSetupPages) {
    alpaca::ServerOptions options = alpaca::ReadServerOptions(program->profile());
    Serve(options);
    ASSERT_FALSE(QUuid::fromString(options.uniqueId).isNull());
    // The id is kept: the next start reads the same one.
    profile::Profile again(path);
    EXPECT_EQ(alpaca::ReadServerOptions(again).uniqueId, options.uniqueId);

    Reply r = client->Get("/management/apiversions?clienttransactionid=5");
    EXPECT_EQ(r.value(), QJsonValue(QJsonArray{1}));
    EXPECT_EQ(r.clientTransaction(), 5);
    EXPECT_EQ(r.json.keys(), kGetKeys);
    r = client->Get("/management/v1/description");
    EXPECT_EQ(r.value().toObject().keys(),
              (QStringList{"Location", "Manufacturer", "ManufacturerVersion", "ServerName"}));
    EXPECT_EQ(r.value().toObject()["ManufacturerVersion"].toString(), "1.4.0");
    r = client->Get("/management/v1/configureddevices");
    const QJsonArray devices = r.value().toArray();
    ASSERT_EQ(devices.size(), 1);
    const QJsonObject device = devices[0].toObject();
    EXPECT_EQ(device.keys(), (QStringList{"DeviceName", "DeviceNumber", "DeviceType", "UniqueID"}));
    EXPECT_EQ(device["DeviceType"].toString(), "Telescope");
    EXPECT_EQ(device["DeviceNumber"].toInt(-1), 0);
    EXPECT_EQ(device["UniqueID"].toString(), options.uniqueId);

    for (const char* page : {"/setup", "/setup/v1/telescope/0/setup"}) {
        r = client->Get(page);
        EXPECT_EQ(r.status, 200) << page;
        EXPECT_NE(r.contentType.find("text/html"), std::string::npos);
        EXPECT_NE(r.body.find(kFastSimulator), std::string::npos);
        EXPECT_NE(r.body.find("Model terms"), std::string::npos);
        EXPECT_NE(r.body.find("Not connected"), std::string::npos);
    }
    EXPECT_EQ(client->Get("/setup/v1/telescope/1/setup").status, 400);
    r = client->Get("/");
    EXPECT_EQ(r.status, 302);
}

TEST_F(AlpacaServerTest, OversizedRequestsAreRefusedAndTheServerCarriesOn) {
    Serve();
    EXPECT_EQ(Put("tracking", "Tracking=true&Pad=" + std::string(20000, 'x')).status, 413);
    EXPECT_EQ(Get("connected?Pad=" + std::string(3000, 'x')).status, 414);
    const Reply many = OffThread([&] {
        httplib::Headers headers;
        for (int i = 0; i < 100; ++i) headers.emplace("X-Pad-" + std::to_string(i), "1");
        return HttpClient::Make(client->raw().Get(kApi + "connected", headers));
    });
    EXPECT_EQ(many.status, 431);
    EXPECT_EQ(Get("connected").status, 200);
}

TEST(AlpacaServerOptions, SettingsAndListenAddresses) {
    QTemporaryDir dir;
    profile::Profile store(dir.filePath("profile.json"));
    const QString hub = QString::fromLatin1(profile::kHubDriverId);
    alpaca::ServerOptions o = alpaca::ReadServerOptions(store);
    EXPECT_EQ(o.address, "127.0.0.1");
    EXPECT_EQ(o.port, 11111);
    EXPECT_EQ(o.discoveryPort, 32227);
    EXPECT_EQ(o.clientIdleTime, std::chrono::minutes(30));
    store.WriteValue(hub, "Listen", "0.0.0.0:12345", "Alpaca");
    store.WriteValue(hub, "ClientIdleMinutes", "0.5", "Alpaca");
    store.WriteValue(hub, "DiscoveryPort", "40000", "Alpaca");
    o = alpaca::ReadServerOptions(store);
    EXPECT_EQ(o.address, "0.0.0.0");
    EXPECT_EQ(o.port, 12345);
    EXPECT_EQ(o.discoveryPort, 40000);
    EXPECT_EQ(o.clientIdleTime, std::chrono::seconds(30));
    // Unusable values take their defaults.
    store.WriteValue(hub, "Listen", "everywhere", "Alpaca");
    store.WriteValue(hub, "ClientIdleMinutes", "-1", "Alpaca");
    store.WriteValue(hub, "DiscoveryPort", "99999", "Alpaca");
    o = alpaca::ReadServerOptions(store);
    EXPECT_EQ(o.address, "127.0.0.1");
    EXPECT_EQ(o.port, 11111);
    EXPECT_EQ(o.discoveryPort, 32227);
    EXPECT_EQ(o.clientIdleTime, std::chrono::minutes(30));

    using alpaca::ParseListenAddress;
    EXPECT_EQ(ParseListenAddress("0.0.0.0:11111")->host, "0.0.0.0");
    EXPECT_EQ(ParseListenAddress("[::]:8080")->host, "::");
    EXPECT_EQ(ParseListenAddress("[::]:8080")->port, 8080);
    EXPECT_EQ(ParseListenAddress(":5555")->host, "127.0.0.1");
    EXPECT_FALSE(ParseListenAddress("localhost").has_value());
    EXPECT_FALSE(ParseListenAddress("1.2.3.4:70000").has_value());
    EXPECT_FALSE(ParseListenAddress("::1:80").has_value());
    EXPECT_FALSE(ParseListenAddress("[zz]:80").has_value());
    EXPECT_TRUE(alpaca::IsLoopback("127.0.0.1"));
    EXPECT_TRUE(alpaca::IsLoopback("127.1.2.3"));
    EXPECT_TRUE(alpaca::IsLoopback("::1"));
    EXPECT_TRUE(alpaca::IsLoopback("localhost"));
    EXPECT_FALSE(alpaca::IsLoopback("0.0.0.0"));
    EXPECT_FALSE(alpaca::IsLoopback("::"));
    EXPECT_FALSE(alpaca::IsLoopback("192.168.1.5"));
}

TEST(AlpacaWire, ValuesParseOnlyInTheirWireForm) {
    using namespace alpaca_wire;
    EXPECT_EQ(ParseDouble("12.5"), 12.5);
    EXPECT_EQ(ParseDouble("+3"), 3.0);
    EXPECT_EQ(ParseDouble("-1e-3"), -0.001);
    for (const char* bad : {"12,5", "1,000", "nan", "inf", "", "+-1", "0x10", "1e999"})
        EXPECT_FALSE(ParseDouble(bad).has_value()) << bad;
    EXPECT_EQ(ParseBool("True"), true);
    EXPECT_EQ(ParseBool("FALSE"), false);
    EXPECT_FALSE(ParseBool("1").has_value());
    EXPECT_EQ(ParseUInt32("4294967295"), 4294967295u);
    EXPECT_FALSE(ParseUInt32("-1").has_value());

    const QDateTime t(QDate(2024, 3, 1), QTime(21, 5, 9, 123), Qt::UTC);
    for (const char* text : {"2024-03-01T21:05:09.1234567Z", "2024-03-01T21:05:09.123+00:00",
                             "2024-03-01T23:05:09.123+02:00", "2024-03-01T21:05:09.123"})
        EXPECT_EQ(ParseUtcDate(text), t) << text;
    EXPECT_FALSE(ParseUtcDate("2024-03-01 21:05:09Z").has_value());
    EXPECT_FALSE(ParseUtcDate("2024-03-01T21:05:09Zx").has_value());
    EXPECT_EQ(FormatUtcDate(t), "2024-03-01T21:05:09.123Z");
    EXPECT_EQ(FormatDouble(12.5), "12.5");
    EXPECT_EQ(ParseDouble(FormatDouble(0.1 + 0.2)), 0.1 + 0.2);

    EXPECT_EQ(GenericAlpacaNumber(static_cast<int32_t>(0x80040402)), 0x402);
    EXPECT_EQ(GenericAlpacaNumber(static_cast<int32_t>(0x80040FFF)), 0xFFF);
    EXPECT_FALSE(GenericAlpacaNumber(static_cast<int32_t>(0x80041000)).has_value());
    EXPECT_FALSE(GenericAlpacaNumber(1031).has_value());
}
