// The scripting interface Calibration over real HTTP: the program's own
// Alpaca server, the real engine and store. A calibration run end to end
// through the wire with the units checked against the store, every other
// member once, the error numbers as the interface raises them, the
// by-reference results, malformed requests, the help page, and the file
// rule of a server open to the network.
#include <QFile>
#include <QJsonArray>
#include <QLocale>
#include <QMap>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

#include "alpaca_fixture.h"
#include "celaris/calibration/auto_calibration.h"
#include "celaris/calibration/calibration_file.h"
#include "celaris/calibration/calibration_scripting.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/dispatch/errors.h"
#include "celaris/profile/settings.h"
#include "celaris/units/angles.h"

namespace celaris::test {
namespace {

using calibration::CalibrationStore;

const std::string kCal = "/celaris/v1/calibration/0/";
constexpr double kArcsec = units::kPi / 180.0 / 3600.0;
constexpr int32_t kIndexBounds = -2147220224;
const QString kScripting = QStringLiteral("Scripting Interface for Celaris");
const QString kHub = QStringLiteral("ASCOM Telescope Hub for Celaris");

// Terms of a German mount (arc seconds, engine order); ForkFlex stays 0.
const double kTruth[9] = {300, -200, 120, -60, 240, -180, 90, 0, 45};

struct Measured {
    double raTrue, decTrue, raScope, decScope;  // hours, degrees
};

class CalibrationHttpTest : public AlpacaServerTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(docs.isValid());
        qputenv("CELARIS_DOCUMENTS_DIR", docs.path().toUtf8());
        AlpacaServerTest::SetUp();
        store = std::make_unique<CalibrationStore>(*program);
        store->SetClock([] { return QDateTime(QDate(2024, 3, 1), QTime(21, 5)); });
        program->hub().SetClock([] { return 1709327109.0; });
    }
    void TearDown() override {
        client.reset();
        server.reset();
        store.reset();
        AlpacaServerTest::TearDown();
        qunsetenv("CELARIS_DOCUMENTS_DIR");
    }

    void ServeCalibration(const QString& address = QStringLiteral("127.0.0.1")) {
        alpaca::ServerOptions o;
        o.address = address;
        o.port = 0;
        o.discoveryPort = -1;
        o.log = [this](const QString& line) { log.append(line); };
        server = std::make_unique<alpaca::AlpacaServer>(program->hub(), o);
        server->SetCalibration(store.get());
        server->Start();
        client = std::make_unique<HttpClient>(server->port());
    }

    Reply CGet(const std::string& member, const std::string& query = {}) {
        return client->Get(kCal + member + (query.empty() ? "" : "?" + query));
    }
    Reply CPut(const std::string& member, const std::string& form = {}) {
        return client->Put(kCal + member, form);
    }
    // A call that must succeed; its Value.
    QJsonValue Ok(const Reply& r) {
        EXPECT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(r.error(), 0) << r.body;
        EXPECT_EQ(r.json.value(QStringLiteral("ErrorSource")).toString(), QString()) << r.body;
        return r.value();
    }
    static QString Source(const Reply& r) {
        return r.json.value(QStringLiteral("ErrorSource")).toString();
    }
    static std::string Num(double v) { return QByteArray::number(v, 'g', 17).toStdString(); }

    // Where a mount with kTruth points for a grid of true positions, in the
    // interface's units, at sidereal time lst (hours). The first is taken
    // west of the pier (the interface's default side), the others east.
    std::vector<Measured> Sky(int count, double lst) {
        ISVD* e = program->hub().engine().get();
        e->put_German(-1);
        e->put_HOffset(kTruth[0] * kArcsec);
        e->put_DecOffset(kTruth[1] * kArcsec);
        e->put_Collimation(kTruth[2] * kArcsec);
        e->put_AxisNonPerp(kTruth[3] * kArcsec);
        e->put_PolarLeftRight(kTruth[4] * kArcsec);
        e->put_PolarVertical(kTruth[5] * kArcsec);
        e->put_TubeFlex(kTruth[6] * kArcsec);
        e->put_ForkFlex(kTruth[7] * kArcsec);
        e->put_DecFlex(kTruth[8] * kArcsec);
        e->put_ApplyCorrections(-1);
        std::vector<Measured> out;
        const double lstRad = lst * units::kHoursToRadians;
        for (int i = 0; i < count; ++i) {
            const double ha = -1.4 + 2.8 * i / (count - 1);
            const double dec = -0.3 + 1.5 * ((i * 7) % count) / count;
            double haScope = 0, decScope = 0;
            e->put_Inverted(i == 0 ? -1 : 0);
            e->GetScopeHADec(ha, dec, &haScope, &decScope);
            out.push_back({(lstRad - ha) * units::kRadiansToHours, dec * units::kRadiansToDegrees,
                           (lstRad - haScope) * units::kRadiansToHours,
                           decScope * units::kRadiansToDegrees});
        }
        return out;
    }

    QTemporaryDir docs;
    std::unique_ptr<CalibrationStore> store;
};

TEST_F(CalibrationHttpTest, AWholeCalibrationOverTheWireFitsTheMountInTheInterfacesUnits) {
    program->settings().IsGerman = true;
    ServeCalibration();
    EXPECT_EQ(Ok(CGet("numobservations")).toInt(), 0);
    EXPECT_EQ(Ok(CGet("stddeverror")).toDouble(), 60.0);

    const double lst = 3.0;
    const auto sky = Sky(24, lst);
    Ok(CPut("startnewcalibration", "ClientID=7&ClientTransactionID=11"));
    EXPECT_TRUE(store->Calibrating());
    // Only the five angles: a used observation west of the pier, named
    // with the clock's date in the short date format.
    Ok(CPut("addobservation", "RATrue=" + Num(sky[0].raTrue) + "&DecTrue=" + Num(sky[0].decTrue) +
                                  "&RAScope=" + Num(sky[0].raScope) +
                                  "&DecScope=" + Num(sky[0].decScope) + "&LST=" + Num(lst)));
    EXPECT_EQ(Ok(CGet("observationname", "Index=1")).toString(),
              QLocale::system().toString(QDate(2024, 3, 1), QLocale::ShortFormat));
    EXPECT_TRUE(Ok(CGet("westofpier", "Index=1")).toBool());
    EXPECT_TRUE(Ok(CGet("useobservation", "Index=1")).toBool());
    EXPECT_EQ(store->at(1).WestOfPier, -1.0);
    // Angles arrive in radians, bit for bit through the factors.
    EXPECT_EQ(store->at(1).RATrue, sky[0].raTrue * units::kHoursToRadians);
    EXPECT_EQ(store->at(1).DecScope, sky[0].decScope * units::kDegreesToRadians);
    EXPECT_EQ(store->at(1).LST, lst * units::kHoursToRadians);

    // The rest with every parameter, keys in any letter case.
    for (size_t i = 1; i < sky.size(); ++i) {
        const auto& s = sky[i];
        Ok(CPut("addobservation", "ratrue=" + Num(s.raTrue) + "&DECTRUE=" + Num(s.decTrue) +
                                      "&RAScope=" + Num(s.raScope) + "&DecScope=" +
                                      Num(s.decScope) + "&lst=" + Num(lst) + "&Name=Star%20" +
                                      std::to_string(i + 1) + "&WestOfPier=false&Use=TRUE"));
    }
    EXPECT_EQ(Ok(CGet("numobservations")).toInt(), 24);
    EXPECT_EQ(Ok(CGet("observationname", "index=7")).toString(), QStringLiteral("Star 7"));
    EXPECT_FALSE(Ok(CGet("westofpier", "Index=7")).toBool());

    // The terms in arc seconds; ErrMountFlex is DecFlex on a German mount.
    const char* terms[] = {"errhabias",  "errdecbias",  "errcollimation", "erraxismisalignment",
                           "errpolaraz", "errpolaralt", "errtubedroop"};
    for (int t = 0; t < 7; ++t)
        EXPECT_NEAR(Ok(CGet(terms[t])).toDouble(), kTruth[t], 3.0) << terms[t];
    EXPECT_NEAR(Ok(CGet("errmountflex")).toDouble(), kTruth[8], 3.0);
    // ... and ForkFlex on a fork mount, without a refit.
    program->settings().IsGerman = false;
    EXPECT_EQ(Ok(CGet("errmountflex")).toDouble(),
              store->Terms()[7] * calibration::kRadiansToArcsec);
    program->settings().IsGerman = true;

    // Residuals in arc seconds, the RA one not scaled by cos(dec).
    EXPECT_EQ(Ok(CGet("raresidual", "Index=5")).toDouble(),
              store->at(5).RAResidual * calibration::kRadiansToArcsec);
    EXPECT_EQ(Ok(CGet("decresidual", "Index=5")).toDouble(),
              store->at(5).DecResidual * calibration::kRadiansToArcsec);
    EXPECT_DOUBLE_EQ(Ok(CGet("stddeverror")).toDouble(),
                     calibration::StdDevError(store->observations()));

    // Indexed writes only store; CalculatePointingErrors refits, and an
    // unused observation ends with zero residuals.
    Ok(CPut("useobservation", "Index=5&UseObservation=false"));
    EXPECT_NE(store->at(5).RAResidual, 0.0);
    Ok(CPut("calculatepointingerrors"));
    EXPECT_EQ(Ok(CGet("raresidual", "Index=5")).toDouble(), 0.0);
    EXPECT_EQ(Ok(CGet("decresidual", "Index=5")).toDouble(), 0.0);
    EXPECT_FALSE(store->at(5).Use);

    Ok(CPut("ratrue", "Index=3&RATrue=5.5"));
    Ok(CPut("dectrue", "Index=3&DecTrue=-12.25"));
    Ok(CPut("rascope", "Index=3&RAScope=5.51"));
    Ok(CPut("decscope", "Index=3&DecScope=-12.3"));
    Ok(CPut("observationname", "Index=3&ObservationName=M%2031%2C%20Andromeda%20%C3%A7"));
    Ok(CPut("westofpier", "Index=3&WestOfPier=true"));
    EXPECT_EQ(store->at(3).RATrue, 5.5 * units::kHoursToRadians);
    EXPECT_EQ(store->at(3).DecTrue, -12.25 * units::kDegreesToRadians);
    EXPECT_EQ(store->at(3).WestOfPier, -1.0);
    EXPECT_DOUBLE_EQ(Ok(CGet("ratrue", "Index=3")).toDouble(), 5.5);
    EXPECT_DOUBLE_EQ(Ok(CGet("dectrue", "Index=3")).toDouble(), -12.25);
    EXPECT_DOUBLE_EQ(Ok(CGet("rascope", "Index=3")).toDouble(), 5.51);
    EXPECT_DOUBLE_EQ(Ok(CGet("decscope", "Index=3")).toDouble(), -12.3);
    EXPECT_EQ(Ok(CGet("observationname", "Index=3")).toString(),
              QStringLiteral("M 31, Andromeda ç"));

    Ok(CPut("removeobservation", "Index=2"));
    EXPECT_EQ(Ok(CGet("numobservations")).toInt(), 23);
    EXPECT_EQ(store->at(2).Name, QStringLiteral("M 31, Andromeda ç"));
    Ok(CPut("stopcalibration"));
    EXPECT_FALSE(store->Calibrating());
}

TEST_F(CalibrationHttpTest, TheControlsSettingsAndPierSideMembers) {
    ServeCalibration();
    // CalibrationType: 0 and 1 select themselves, anything else Port.
    Ok(CPut("calibrationtype", "CalibrationType=7"));
    EXPECT_EQ(Ok(CGet("calibrationtype")).toInt(), 2);
    Ok(CPut("calibrationtype", "CalibrationType=1"));
    EXPECT_EQ(store->controls().calibrationType, calibration::CalibrationMode::calPerm);
    Ok(CPut("calibrationtype", "CalibrationType=0"));
    EXPECT_EQ(Ok(CGet("calibrationtype")).toInt(), 0);

    // ApplyCorrections is the engine's flag, not the check box.
    Ok(CPut("applycorrections", "ApplyCorrections=false"));
    EXPECT_FALSE(Ok(CGet("applycorrections")).toBool());
    EXPECT_TRUE(store->controls().chkApplyCorr);
    LONG applying = -1;
    program->hub().engine()->get_ApplyCorrections(&applying);
    EXPECT_EQ(applying, 0);
    Ok(CPut("applycorrections", "ApplyCorrections=true"));
    EXPECT_TRUE(store->controls().CorrectionsOn);

    Ok(CPut("locktarget", "LockTarget=true"));
    EXPECT_TRUE(Ok(CGet("locktarget")).toBool());
    EXPECT_TRUE(program->status().controls().chkLock);
    Ok(CPut("locktarget", "LockTarget=false"));
    EXPECT_FALSE(program->status().controls().chkLock);

    // The site settings are only stored.
    Ok(CPut("sitelongitude", "SiteLongitude=-70.5"));
    Ok(CPut("sitelatitude", "SiteLatitude=-30.25"));
    Ok(CPut("pressure", "Pressure=78.5"));
    Ok(CPut("temperature", "Temperature=-4"));
    EXPECT_EQ(program->settings().Longitude, -70.5);
    EXPECT_EQ(program->settings().Latitude, -30.25);
    EXPECT_EQ(Ok(CGet("pressure")).toDouble(), 78.5);
    EXPECT_EQ(Ok(CGet("temperature")).toDouble(), -4.0);
    EXPECT_EQ(Ok(CGet("sitelongitude")).toDouble(), -70.5);
    EXPECT_EQ(Ok(CGet("sitelatitude")).toDouble(), -30.25);

    // A fork mount always reads 0; the put still sets the hub's flag.
    program->settings().IsGerman = false;
    Ok(CPut("sideofpier", "SideOfPier=2"));
    EXPECT_EQ(Ok(CGet("sideofpier")).toInt(), 0);
    EXPECT_TRUE(state().PierInverted);
    program->settings().IsGerman = true;
    EXPECT_EQ(Ok(CGet("sideofpier")).toInt(), 2);
    Ok(CPut("sideofpier", "SideOfPier=1"));
    EXPECT_EQ(Ok(CGet("sideofpier")).toInt(), 1);

    // CalStarsEpoch is kept in the settings file and reloads the stars.
    int reloads = 0;
    server->calibration()->SetStarsReload([&] { ++reloads; });
    Ok(CPut("calstarsepoch", "CalStarsEpoch=1"));
    EXPECT_EQ(Ok(CGet("calstarsepoch")).toInt(), 1);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(profile::Profile(path).GetValue(QString::fromLatin1(profile::kHubDriverId),
                                              QStringLiteral("J2000")),
              QStringLiteral("True"));
    Ok(CPut("calstarsepoch", "CalStarsEpoch=0"));
    EXPECT_FALSE(program->settings().J2000);
}

TEST_F(CalibrationHttpTest, PositionsComeBackByNameAndErrorsKeepTheirOwnNumbers) {
    ServeCalibration();
    program->hub().engine()->put_HOffset(600 * kArcsec);
    program->hub().engine()->put_DecOffset(-300 * kArcsec);
    program->hub().engine()->put_ApplyCorrections(-1);

    const QJsonObject scope =
        Ok(CPut("truetoscope", "RightAscension=4.25&Declination=33.5")).toObject();
    ASSERT_EQ(scope.keys(), (QStringList{QStringLiteral("DeclinationScope"),
                                         QStringLiteral("RightAscensionScope")}));
    program->hub().UpdateSiderealTime();
    const hub::RaDec expected = program->hub().TrueToScopeRADec(4.25, 33.5);
    EXPECT_DOUBLE_EQ(scope[QStringLiteral("RightAscensionScope")].toDouble(), expected.ra);
    EXPECT_DOUBLE_EQ(scope[QStringLiteral("DeclinationScope")].toDouble(), expected.dec);
    EXPECT_GT(std::abs(expected.dec - 33.5), 0.05);  // the model moved it

    // And back: within the model inverse's accuracy.
    const QJsonObject back = Ok(CPut("scopetotrue", "RightAscensionScope=" + Num(expected.ra) +
                                                        "&DeclinationScope=" + Num(expected.dec)))
                                 .toObject();
    EXPECT_NEAR(back[QStringLiteral("RightAscension")].toDouble(), 4.25, 1.0 / 3600 / 15);
    EXPECT_NEAR(back[QStringLiteral("Declination")].toDouble(), 33.5, 1.0 / 3600);
    const QJsonObject corrected = Ok(CPut("calccorrected", "RightAscension=" + Num(expected.ra) +
                                                               "&Declination=" + Num(expected.dec)))
                                      .toObject();
    EXPECT_EQ(corrected, back);

    // Index errors: number, source and text exactly as raised, on every
    // indexed member, before anything is removed.
    for (const char* target :
         {"raresidual?Index=1", "decresidual?Index=0", "ratrue?Index=1", "dectrue?Index=-1",
          "rascope?Index=1", "decscope?Index=1", "observationname?Index=1",
          "useobservation?Index=2147483647", "westofpier?Index=1"}) {
        const Reply r = client->Get(kCal + target);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.error(), kIndexBounds) << target;
        EXPECT_EQ(r.message(), QStringLiteral("Index is out of Bounds"));
        EXPECT_EQ(Source(r), kScripting);
        EXPECT_TRUE(r.json.contains(QStringLiteral("Value")));
    }
    store->Add2Cal(0.1, 0.2, 0.1, 0.2, 0.3, QStringLiteral("one"), false, true);
    for (const auto& [member, form] : std::vector<std::pair<std::string, std::string>>{
             {"removeobservation", "Index=2"},
             {"removeobservation", "Index=0"},
             {"ratrue", "Index=2&RATrue=1"},
             {"westofpier", "Index=2&WestOfPier=true"}}) {
        const Reply r = CPut(member, form);
        EXPECT_EQ(r.error(), kIndexBounds) << member << " " << form;
        EXPECT_EQ(Source(r), kScripting);
        EXPECT_FALSE(r.json.contains(QStringLiteral("Value")));
    }
    EXPECT_EQ(store->ObservationCount(), 1);

    // The hub's and a failing step's errors reach the script unchanged,
    // not mapped as on the telescope paths ("Telescope not connected."
    // stays 0x80040402); CalcCorrected turns any failure into 1032.
    program->settings().IsGerman = true;
    state().CanDestinationSideOfPier = true;
    Reply r = CPut("truetoscope", "RightAscension=1&Declination=2");
    EXPECT_EQ(r.error(), int32_t(0x80040402));
    EXPECT_EQ(r.message(), QStringLiteral("Telescope not connected."));
    EXPECT_EQ(Source(r), kHub);
    EXPECT_EQ(r.value().toObject(), QJsonObject());

    program->hub().SetClock([]() -> double {
        throw dispatch::ComError(int32_t(0x80040777), QStringLiteral("Test clock"),
                                 QStringLiteral("The clock stopped."));
    });
    r = CPut("scopetotrue", "RightAscensionScope=1&DeclinationScope=2");
    EXPECT_EQ(r.error(), int32_t(0x80040777));
    EXPECT_EQ(Source(r), QStringLiteral("Test clock"));
    r = CPut("calccorrected", "RightAscension=1&Declination=2");
    EXPECT_EQ(r.error(), 1032);
    EXPECT_EQ(r.message(), QStringLiteral("Cannot calculate corrected position."));
    EXPECT_EQ(Source(r), kHub);
}

TEST_F(CalibrationHttpTest, MalformedRequestsAreRefusedWithAReason) {
    ServeCalibration();
    const std::vector<std::pair<Reply, std::string>> refused = {
        {CGet("nosuchmember"), "Unknown calibration member"},
        {CGet("addobservation"), "is a method; call it with PUT"},
        {CPut("numobservations", "NumObservations=3"), "is read-only"},
        {CGet("ratrue"), "Missing parameter Index for RATrue"},
        {CGet("ratrue", "Index=one"), "is not a whole number"},
        {CGet("ratrue", "Index=1.5"), "is not a whole number"},
        {CPut("ratrue", "Index=1"), "Missing parameter RATrue"},
        {CPut("locktarget", "LockTarget=yes"), "is not true or false"},
        {CPut("pressure", "Pressure=1,5"), "is not a number"},
        {CPut("addobservation", "RATrue=1&DecTrue=2&RAScope=1&DecScope=2"),
         "Missing parameter LST"},
        {CGet("numobservations", "ClientTransactionID=-1"), "ClientTransactionID"},
        {client->Get("/celaris/v2/calibration/0/numobservations"), "Unsupported API version"},
        {client->Get("/celaris/v1/calibration/1/numobservations"), "calibration 0"},
        {client->Get("/celaris/v1/calibration/0/NumObservations"), "lower case"},
        {client->Get("/celaris/v1/calibration/0"), "/celaris/v1/calibration/0/{member}"},
        {CPut("help"), "read with GET"},
    };
    for (const auto& [r, reason] : refused) {
        EXPECT_EQ(r.status, 400) << reason;
        EXPECT_NE(r.body.find(reason), std::string::npos) << r.body;
        EXPECT_NE(r.contentType.find("text/plain"), std::string::npos);
    }
    EXPECT_EQ(store->ObservationCount(), 0);

    // Transaction ids as Alpaca has them; numbers only in the C locale.
    const Reply r = CGet("numobservations", "clientid=3&ClientTransactionID=4294967295");
    EXPECT_EQ(r.clientTransaction(), 4294967295LL);
    EXPECT_GT(r.serverTransaction(), 0);
}

TEST_F(CalibrationHttpTest, TheHelpPageDescribesEveryMember) {
    ServeCalibration();
    const QJsonObject help = Ok(CGet("help")).toObject();
    const QJsonArray members = help[QStringLiteral("Members")].toArray();
    ASSERT_EQ(members.size(), 38);
    QHash<QString, QJsonObject> byName;
    for (const auto& m : members) byName.insert(m[QStringLiteral("Name")].toString(), m.toObject());

    // Dispatch ids: properties count down from 27, methods up from 28.
    EXPECT_EQ(byName[QStringLiteral("LockTarget")][QStringLiteral("DispatchID")].toInt(),
              0x68030000 + 27);
    EXPECT_EQ(byName[QStringLiteral("StdDevError")][QStringLiteral("DispatchID")].toInt(),
              0x68030000);
    EXPECT_EQ(byName[QStringLiteral("AddObservation")][QStringLiteral("DispatchID")].toInt(),
              0x60030000 + 28);
    EXPECT_EQ(byName[QStringLiteral("ScopeToTrue")][QStringLiteral("DispatchID")].toInt(),
              0x60030000 + 37);
    EXPECT_EQ(
        byName[QStringLiteral("WestOfPier")][QStringLiteral("Help")].toString(),
        QStringLiteral("The side of the pier for observation. Always false for non-german mount."));
    EXPECT_EQ(byName[QStringLiteral("StartNewCalibration")][QStringLiteral("Help")].toString(),
              QStringLiteral("Deletes all current observations and resets all correction terms.  "
                             "Don't use if you wish to add to current observations"));
    EXPECT_EQ(byName[QStringLiteral("NumObservations")][QStringLiteral("Kind")].toString(),
              QStringLiteral("read-only property"));
    const QJsonArray add =
        byName[QStringLiteral("AddObservation")][QStringLiteral("Parameters")].toArray();
    ASSERT_EQ(add.size(), 8);
    EXPECT_FALSE(add[4][QStringLiteral("Optional")].toBool());
    EXPECT_EQ(add[6][QStringLiteral("Name")].toString(), QStringLiteral("WestOfPier"));
    EXPECT_EQ(add[6][QStringLiteral("Default")], QJsonValue(true));
    // Every path the page names is served.
    for (const auto& m : members) {
        const QString path = m[QStringLiteral("Path")].toString();
        const Reply r = m[QStringLiteral("Get")].toBool() ? CGet(path.toStdString(), "Index=1")
                                                          : CPut(path.toStdString(), "Index=x");
        EXPECT_EQ(r.body.find("Unknown calibration member"), std::string::npos)
            << path.toStdString();
        EXPECT_TRUE(r.status == 200 || r.status == 400) << path.toStdString();
    }
}

TEST_F(CalibrationHttpTest, FilesAnywhereOnLoopbackOnlyInTheDocumentsFolderOverTheNetwork) {
    store->Add2Cal(0.1, 0.2, 0.1, 0.2, 0.3, QStringLiteral("one"), false, true);
    QTemporaryDir elsewhere;
    const std::string outside = elsewhere.filePath(QStringLiteral("out.clb")).toStdString();
    ServeCalibration();
    // This machine only: any path; a bare name lands in the documents folder.
    Ok(CPut("savefile", "Name=" + outside));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(outside)));
    Ok(CPut("savefile", "Name=night1.clb"));
    EXPECT_TRUE(QFile::exists(docs.filePath(QStringLiteral("night1.clb"))));
    Ok(CPut("openfile", "Name=" + outside));
    EXPECT_EQ(store->ObservationCount(), 1);
    // A file error passes through with the file's own source.
    Reply r = CPut("openfile", "Name=missing.clb");
    EXPECT_NE(r.error(), 0);
    EXPECT_EQ(Source(r), QString::fromLatin1(calibration::kCalibrationFileSource));

    client.reset();
    server.reset();
    ServeCalibration(QStringLiteral("0.0.0.0"));
    for (const std::string& name : {outside, std::string("../escape.clb"),
                                    std::string("sub/../../escape.clb"), std::string("")}) {
        for (const char* member : {"savefile", "openfile"}) {
            r = CPut(member, "Name=" + name);
            EXPECT_EQ(r.error(), int32_t(0x80040401)) << member << " " << name;
            EXPECT_EQ(Source(r), kScripting);
        }
    }
    r = CPut("savefile", "Name=../escape.clb");
    EXPECT_NE(r.message().indexOf(QStringLiteral("documents folder")), -1) << r.body;
    EXPECT_FALSE(QFile::exists(docs.filePath(QStringLiteral("../escape.clb"))));
    // A link inside the folder that leads out is refused too.
    ASSERT_TRUE(QFile::link(elsewhere.path(), docs.filePath(QStringLiteral("away"))));
    EXPECT_EQ(CPut("savefile", "Name=away/x.clb").error(), int32_t(0x80040401));
    EXPECT_FALSE(QFile::exists(elsewhere.filePath(QStringLiteral("x.clb"))));

    Ok(CPut("savefile", "Name=night2.clb"));
    Ok(CPut("openfile", "Name=night2.clb"));
    EXPECT_TRUE(QFile::exists(docs.filePath(QStringLiteral("night2.clb"))));
}

TEST_F(CalibrationHttpTest, WithoutAStoreTheCalibrationPathsAreNotServed) {
    Serve();
    const Reply r = CGet("numobservations");
    EXPECT_EQ(r.status, 404);
    EXPECT_NE(r.body.find("no calibration"), std::string::npos);
    // The telescope is unaffected.
    EXPECT_EQ(Get("connected").status, 200);
}

// The automatic run over the wire: its states and labels read back, the
// settings written through their stored names and kept in the profile,
// the refusals, and malformed requests.
class AutoCalibrationHttpTest : public CalibrationHttpTest {
  protected:
    void SetUp() override {
        CalibrationHttpTest::SetUp();
        run = std::make_unique<calibration::AutoCalibration>(*program, *store);
        run->SetManualTicks(true);
        run->Load();
        ServeCalibration();
        server->SetAutoCalibration(run.get());
    }
    void TearDown() override {
        client.reset();
        server.reset();
        run.reset();
        CalibrationHttpTest::TearDown();
    }
    Reply AGet(const std::string& member) { return client->Get(kAuto + member); }
    Reply APut(const std::string& member, const std::string& form = {}) {
        return client->Put(kAuto + member, form);
    }
    const std::string kAuto = "/celaris/v1/autocalibration/0/";
    std::unique_ptr<calibration::AutoCalibration> run;
};

TEST_F(AutoCalibrationHttpTest, IdleRunReadsItsLabelsAndSettings) {
    EXPECT_EQ(Ok(AGet("state")).toInt(), 0);
    EXPECT_EQ(Ok(AGet("running")).toBool(), false);
    EXPECT_EQ(Ok(AGet("calstatus")).toString(), QStringLiteral("Mount Calibration"));
    EXPECT_EQ(Ok(AGet("starfixstatus")).toString(), QStringLiteral("Starfix"));
    EXPECT_EQ(Ok(AGet("camerastatus")).toString(), QStringLiteral("Camera"));
    EXPECT_EQ(Ok(AGet("exposure")).toDouble(), 1.0);
    EXPECT_EQ(Ok(AGet("maxstars")).toInt(), 500);
    EXPECT_EQ(Ok(AGet("catpath")).toString(), QStringLiteral("/usr/share/astrometry"));
    EXPECT_EQ(Ok(AGet("lasterror")).toString(), QString());
}

TEST_F(AutoCalibrationHttpTest, SettingsAreWrittenThroughTheirStoredNamesAndKept) {
    Ok(APut("exposure", "Exposure=2.5"));
    Ok(APut("bin", "BIN=2"));
    Ok(APut("accuracy", "Accuracy=2"));
    Ok(APut("resolution", "Resolution=3.71"));
    Ok(APut("catpath", "CatPath=%2Fsrv%2Findex"));
    EXPECT_EQ(Ok(AGet("exposure")).toDouble(), 2.5);
    EXPECT_EQ(run->txtBin, QStringLiteral("2"));
    EXPECT_EQ(run->step(), 4);
    EXPECT_EQ(run->txtCatPath, QStringLiteral("/srv/index"));
    profile::Settings kept;
    profile::ReadAutoCalSettings(program->profile(), kept);
    EXPECT_EQ(kept.Exposure, 2.5);
    EXPECT_EQ(kept.Bin, 2);
    EXPECT_EQ(kept.Accuracy, 2);
    EXPECT_EQ(kept.Resolution, 3.71);
    EXPECT_EQ(kept.CatPath, QStringLiteral("/srv/index"));
    // Values that do not fit change nothing.
    for (const auto& [member, form] : {std::pair{"accuracy", "Accuracy=5"},
                                       {"cattype", "CatType=6"},
                                       {"bin", "Bin=two"},
                                       {"exposure", "Exposure=abc"}}) {
        const Reply r = APut(member, form);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(uint32_t(r.error()), 0x80040401u) << member;
    }
    EXPECT_EQ(Ok(AGet("accuracy")).toInt(), 2);
    EXPECT_EQ(Ok(AGet("exposure")).toDouble(), 2.5);
}

TEST_F(AutoCalibrationHttpTest, StartNeedsACalibrationInProgress) {
    const Reply r = APut("start");
    EXPECT_EQ(uint32_t(r.error()), 0x8004040Bu) << r.body;
    EXPECT_EQ(Ok(AGet("state")).toInt(), 0);
    // Resume with nothing started leaves the run idle.
    Ok(APut("resume"));
    EXPECT_EQ(Ok(AGet("running")).toBool(), false);
}

TEST_F(AutoCalibrationHttpTest, MalformedRequestsAreRefused) {
    const std::vector<std::pair<Reply, std::string>> refused = {
        {AGet("start"), "\"start\" is a method; call it with PUT."},
        {APut("state", "State=1"), "\"state\" is read-only; read it with GET."},
        {AGet("nosuchmember"), "Unknown automatic calibration member \"nosuchmember\""},
        {APut("exposure"), "Missing parameter Exposure for Exposure."},
        {client->Get("/celaris/v1/autocalibration/1/state"), "this server has 0"},
        {client->Get("/celaris/v1/autocalibration/0/State"), "Celaris paths are lower case"},
        {APut("help"), "The help is read with GET."},
    };
    for (const auto& [r, reason] : refused) {
        EXPECT_EQ(r.status, 400) << reason;
        EXPECT_NE(r.body.find(reason), std::string::npos) << r.body;
    }
    // The help names each member's kind as the Calibration's help does.
    const QJsonArray members =
        Ok(AGet("help")).toObject().value(QStringLiteral("Members")).toArray();
    EXPECT_GE(members.size(), 30);
    QMap<QString, QString> kinds;
    for (const QJsonValue& m : members)
        kinds.insert(m[QStringLiteral("Name")].toString(), m[QStringLiteral("Kind")].toString());
    EXPECT_EQ(kinds.value(QStringLiteral("Start")), QStringLiteral("method"));
    EXPECT_EQ(kinds.value(QStringLiteral("State")), QStringLiteral("read-only property"));
    EXPECT_EQ(kinds.value(QStringLiteral("Exposure")), QStringLiteral("property"));
}

}  // namespace
}  // namespace celaris::test
