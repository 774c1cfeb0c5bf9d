// The drivers Celaris can create, the INDI catalogue and CrossRef.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "celaris/dispatch/errors.h"
#include "celaris/drivers_list/installed_drivers.h"

using namespace celaris::drivers_list;
using celaris::dispatch::ComError;
using celaris::profile::Profile;

namespace {
const QString kSample = QStringLiteral(CELARIS_TEST_DATA "/indi_drivers_sample.xml");

QStringList Ids(const QList<InstalledDriver>& drivers) {
    QStringList ids;
    for (const auto& d : drivers) ids.append(d.progId);
    return ids;
}
}  // namespace

TEST(IndiCatalog, ReadsTheTelescopeGroupOnly) {
    const QList<IndiTelescope> t = ReadIndiTelescopes(kSample, QStringLiteral("Test"));
    ASSERT_EQ(t.size(), 4);
    EXPECT_EQ(t[0], (IndiTelescope{QStringLiteral("LX200 GPS"), QStringLiteral("Meade"),
                                   QStringLiteral("LX200 GPS"), QStringLiteral("indi_lx200gps"),
                                   QStringLiteral("2.1")}));
    EXPECT_EQ(t[1].executable, QStringLiteral("indi_lx200gps"));  // shared executable
    // Blanks around the executable go; the unlabelled and the duplicate
    // device are left out.
    EXPECT_EQ(t[3].executable, QStringLiteral("indi_ioptronv3_telescope"));
    EXPECT_EQ(t[3].manufacturer, QStringLiteral("iOptron"));
}

TEST(IndiCatalog, MissingMeansNoneAndUnreadableRaises) {
    QTemporaryDir dir;
    EXPECT_TRUE(ReadIndiTelescopes(dir.filePath(QStringLiteral("none.xml")), QStringLiteral("S"))
                    .isEmpty());

    const QString broken = dir.filePath(QStringLiteral("broken.xml"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<driversList><devGroup group=\"Telescopes\"><device label=\"A\">");
    }
    const QString folder = dir.filePath(QStringLiteral("folder.xml"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString empty = dir.filePath(QStringLiteral("empty.xml"));
    QFile(empty).open(QIODevice::WriteOnly);

    for (const QString& path : {broken, folder, empty}) {
        SCOPED_TRACE(path.toStdString());
        try {
            ReadIndiTelescopes(path, QStringLiteral("ASCOM Telescope Hub for Celaris"));
            FAIL() << "no error";
        } catch (const ComError& e) {
            EXPECT_EQ(uint32_t(e.number()), 0x80040406u);
            EXPECT_EQ(e.source(), QStringLiteral("ASCOM Telescope Hub for Celaris"));
            EXPECT_EQ(e.description(),
                      QStringLiteral("Failed to open sub-key ") + path + QStringLiteral("."));
        }
    }
}

TEST(InstalledDrivers, SimulatorThenIndiThenAlpacaAndCrossRefIsExact) {
    QTemporaryDir dir;
    Profile profile(dir.filePath(QStringLiteral("profile.json")));
    profile.Register(QStringLiteral("Celaris.Telescope"), QStringLiteral("Celaris"));
    ASSERT_TRUE(AddAlpacaTelescope(profile, {QStringLiteral("192.168.1.5"), 11111, 0}));
    ASSERT_TRUE(AddAlpacaTelescope(profile, {QStringLiteral("[::1]"), 32323, 2},
                                   QStringLiteral("Bench mount")));
    InstalledDrivers drivers(profile, kSample);

    const QList<InstalledDriver> list = drivers.List();
    EXPECT_EQ(Ids(list), (QStringList{
                             QStringLiteral("Celaris.Simulator"),
                             QStringLiteral("indi:LX200 GPS"),
                             QStringLiteral("indi:ETX90"),
                             QStringLiteral("indi:Telescope Simulator"),
                             QStringLiteral("indi:iOptron CEM26"),
                             QStringLiteral("alpaca:192.168.1.5:11111/0"),
                             QStringLiteral("alpaca:[::1]:32323/2"),
                         }));  // the hub itself is not a driver to choose
    EXPECT_EQ(list[3].kind, DriverKind::Indi);
    EXPECT_EQ(list[3].indi.executable, QStringLiteral("indi_simulator_telescope"));

    EXPECT_EQ(drivers.CrossRef(QStringLiteral("Celaris.Simulator")),
              QStringLiteral("Celaris Mount Simulator"));
    EXPECT_EQ(drivers.CrossRef(QStringLiteral("indi:Telescope Simulator")),
              QStringLiteral("Telescope Simulator (INDI)"));
    EXPECT_EQ(drivers.CrossRef(QStringLiteral("alpaca:[::1]:32323/2")),
              QStringLiteral("Bench mount"));
    EXPECT_EQ(drivers.CrossRef(QStringLiteral("alpaca:192.168.1.5:11111/0")),
              QStringLiteral("Alpaca telescope 192.168.1.5:11111/0"));
    // Letter case counts: an id that differs only in case comes back as it is.
    for (const char* id : {"celaris.simulator", "INDI:Telescope Simulator",
                           "indi:telescope simulator", "Vendor.Telescope", ""})
        EXPECT_EQ(drivers.CrossRef(QString::fromLatin1(id)), QString::fromLatin1(id));

    // Alpaca telescopes stay added across runs until removed.
    RemoveAlpacaTelescope(profile, QStringLiteral("alpaca:192.168.1.5:11111/0"));
    Profile again(profile.path());
    EXPECT_EQ(Ids(InstalledDrivers(again, kSample).List()).last(),
              QStringLiteral("alpaca:[::1]:32323/2"));
    EXPECT_EQ(InstalledDrivers(again, kSample).List().size(), 6);
}

TEST(InstalledDrivers, OnlyIndiIdsNeedTheCatalogue) {
    QTemporaryDir dir;
    Profile profile(dir.filePath(QStringLiteral("profile.json")));
    const QString folder = dir.filePath(QStringLiteral("drivers.xml"));
    InstalledDrivers noCatalogue(profile, folder);
    EXPECT_EQ(Ids(noCatalogue.List()), QStringList{QStringLiteral("Celaris.Simulator")});

    ASSERT_TRUE(QDir().mkdir(folder));  // now it exists but cannot be read
    EXPECT_THROW(noCatalogue.List(), ComError);
    EXPECT_THROW(noCatalogue.CrossRef(QStringLiteral("indi:LX200 GPS")), ComError);
    EXPECT_EQ(noCatalogue.CrossRef(QStringLiteral("Celaris.Simulator")),
              QStringLiteral("Celaris Mount Simulator"));
}

TEST(DriverIds, AlpacaAndIndiIdsParse) {
    EXPECT_EQ(ParseAlpacaProgId(QStringLiteral("alpaca:mount.local:11111/0")),
              (AlpacaAddress{QStringLiteral("mount.local"), 11111, 0}));
    EXPECT_EQ(ParseAlpacaProgId(QStringLiteral("alpaca:[fe80::1]:80/12")),
              (AlpacaAddress{QStringLiteral("[fe80::1]"), 80, 12}));
    for (const char* bad : {"alpaca:host:11111", "alpaca::11111/0", "alpaca:host:70000/0",
                            "alpaca:host:11111/-1", "alpaca:ho st:1/0", "alpaca:[::1:1/0"})
        EXPECT_FALSE(ParseAlpacaProgId(QString::fromLatin1(bad)).has_value()) << bad;
    QTemporaryDir dir;
    Profile profile(dir.filePath(QStringLiteral("profile.json")));
    EXPECT_FALSE(AddAlpacaTelescope(profile, {QStringLiteral("bad host"), 1, 0}));
    EXPECT_TRUE(profile.RegisteredDevices().isEmpty());

    EXPECT_EQ(IndiDeviceOf(QStringLiteral("indi:Telescope Simulator")),
              QStringLiteral("Telescope Simulator"));
    EXPECT_FALSE(IndiDeviceOf(QStringLiteral("indi:")).has_value());
    EXPECT_FALSE(IndiDeviceOf(QStringLiteral("Celaris.Simulator")).has_value());
}
