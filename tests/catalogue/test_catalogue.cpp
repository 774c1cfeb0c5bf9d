// The reference star catalogue and the pick list: reading the file, the
// reduction through the engine, the visibility rules, the distance order and
// the navigation, on a hub with a real engine and a scripted mount.
#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/catalogue/databases_folder.h"
#include "celaris/catalogue/sky_geometry.h"
#include "celaris/catalogue/star_catalogue.h"
#include "celaris/catalogue/star_pick_list.h"
#include "hub_fixture.h"

using namespace celaris;
using namespace celaris::catalogue;
using namespace celaris::test;

namespace {

constexpr double kPi = units::kPi;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;
constexpr double kJ2000 = 946728000.0;       // 2000-01-01T12:00:00Z
constexpr double kJulianYear = 31557600.0;   // seconds
constexpr double kMarch2024 = 1710892800.0;  // 2024-03-20T00:00:00Z

// Arcturus as the shipped file lists it (degrees, mas/yr).
constexpr double kArcturusRA = 213.915298, kArcturusDec = 19.182417;
constexpr double kArcturusPmRA = -1161.14, kArcturusPmDec = -1996.52;

class CatalogueTest : public HubTest {
  protected:
    void SetUp() override {
        HubTest::SetUp();
        list = std::make_unique<StarPickList>(*hub);
        SetClock(kMarch2024);
        // Stars where the file puts them unless a test wants the apparent
        // place; everything visible unless a test narrows it.
        settings.J2000 = true;
        settings.HorizonRad.fill(-kPi / 2);
    }
    void SetClock(double unixSeconds) {
        hub->SetClock([unixSeconds] { return unixSeconds; });
        list->SetClock([unixSeconds] { return unixSeconds; });
        hub->UpdateSiderealTime();
    }
    void UseCatalogue(const QString& text) {
        const QString path = dir.filePath(QStringLiteral("stars.csv"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
        f.close();
        list->SetCatalogueFile(path);
    }
    // A catalogue line for a still star at this altitude and azimuth now.
    QString StarAt(const QString& name, double altDeg, double azDeg) {
        hub->UpdateSiderealTime();
        const auto hd = ascom::aa_hadec(settings.Latitude * kDeg, altDeg * kDeg, azDeg * kDeg);
        return StarRaDec(name, hub::NormaliseRadians(hub->SiderealAngle() - hd.haRad) / kDeg,
                         hd.decRad / kDeg);
    }
    static QString StarRaDec(const QString& name, double raDeg, double decDeg) {
        return QStringLiteral("\"%1\",1.0,%2,%3,0,0\n")
            .arg(name)
            .arg(raDeg, 0, 'g', 17)
            .arg(decDeg, 0, 'g', 17);
    }
    QStringList PickNames() const {
        QStringList names;
        for (int i : list->PickList()) names << list->Stars()[i].Name;
        return names;
    }
    QString CurrentName() const { return list->Current() ? list->Current()->Name : QString(); }
    const Star& Named(const QString& name) const {
        for (const Star& s : list->Stars())
            if (s.Name == name) return s;
        ADD_FAILURE() << "no star " << name.toStdString();
        static const Star none;
        return none;
    }
    QTemporaryDir dir;
    std::unique_ptr<StarPickList> list;
};

// ------------------------------------------------------------ the file ----

TEST(CatalogueFile, ReadsQuotedAndPlainNamesAndRefusesMalformedLines) {
    auto l = ParseCatalogueLine(QStringLiteral("\"Alpha, Beta\",1.5,10.25,-20.5,-3.5,4"));
    ASSERT_TRUE(l);
    EXPECT_EQ(l->name, QStringLiteral("Alpha, Beta"));
    EXPECT_DOUBLE_EQ(l->magnitude, 1.5);
    EXPECT_DOUBLE_EQ(l->decDeg, -20.5);
    EXPECT_DOUBLE_EQ(l->pmRaMasPerYear, -3.5);
    l = ParseCatalogueLine(QStringLiteral(" Vega , 0.03, 279.2, 38.8, 200, 287\r"));
    ASSERT_TRUE(l);
    EXPECT_EQ(l->name, QStringLiteral("Vega"));
    EXPECT_DOUBLE_EQ(l->pmDecMasPerYear, 287.0);

    for (const char* bad : {"Vega,0.03,279.2,38.8,200",        // five fields
                            "Vega,0.03,279.2,38.8,200,287,1",  // seven
                            "Vega,0.03,279.2,,200,287",        // empty field
                            "Vega,bright,279.2,38.8,200,287",  // not a number
                            "\"Vega,0.03,279.2,38.8,200,287",  // open quote
                            ",0.03,279.2,38.8,200,287",        // no name
                            "Vega,0.03,279.2,nan,200,287"}) {  // not finite
        QString why;
        EXPECT_FALSE(ParseCatalogueLine(QString::fromUtf8(bad), &why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
}

// The shipped catalogue, found where the program finds it: beside the
// build's bin, or below CELARIS_DATA_DIR.
TEST(CatalogueFile, ShippedCatalogueIsFoundAndHoldsNamedStarsOfBothHemispheres) {
    qunsetenv("CELARIS_DATA_DIR");
    ASSERT_TRUE(QFile::exists(SitingStarsPath())) << SitingStarsPath().toStdString();
    const CatalogueFile read = ReadCatalogue(SitingStarsPath());
    ASSERT_FALSE(read.error) << read.error->description().toStdString();
    EXPECT_GT(read.lines.size(), 300);
    QSet<QString> names;
    int north = 0;
    for (const CatalogueLine& l : read.lines) {
        EXPECT_FALSE(names.contains(l.name)) << "twice: " << l.name.toStdString();
        names.insert(l.name);
        EXPECT_LE(l.magnitude, 4.0) << l.name.toStdString();
        EXPECT_TRUE(l.raDeg >= 0 && l.raDeg < 360 && std::abs(l.decDeg) <= 90);
        north += l.decDeg > 0;
    }
    EXPECT_GT(north, 150);
    EXPECT_GT(read.lines.size() - north, 150);
    for (const char* s : {"Sirius", "Canopus", "Polaris", "Vega", "Acrux", "Arcturus"})
        EXPECT_TRUE(names.contains(QString::fromUtf8(s))) << s;

    qputenv("CELARIS_DATA_DIR", "/opt/celaris-data/");
    EXPECT_EQ(DatabasesFolder(), QStringLiteral("/opt/celaris-data/databases"));
    qunsetenv("CELARIS_DATA_DIR");
}

// ------------------------------------------------------------- geometry ----

TEST(SkyGeometry, ArcCosEndsAndArcLengthAcrossZeroHours) {
    EXPECT_EQ(ArcCos(1.0), 0.0);
    EXPECT_DOUBLE_EQ(ArcCos(-1.0), kPi);
    EXPECT_NEAR(ArcCos(-0.5), 2 * kPi / 3, 1e-15);
    EXPECT_NEAR(ArcLength(359 * kDeg, 0, 1 * kDeg, 0), 2 * kDeg, 1e-12);
    // A position against itself is (nearly) 0 apart, also where rounding
    // takes the cosine past 1, as it does for some places.
    int pastOne = 0;
    for (int i = 0; i < 2000; ++i) {
        const double ra = 0.00314 * i, dec = std::asin(std::fmod(0.618 * i, 2.0) - 1.0);
        const double c =
            std::cos(0.0) * std::cos(dec) * std::cos(dec) + std::sin(dec) * std::sin(dec);
        pastOne += c > 1.0;
        const double d = ArcLength(ra, dec, ra, dec);
        ASSERT_TRUE(d >= 0.0 && d < 1e-7) << i;
    }
    EXPECT_GT(pastOne, 0);
    EXPECT_EQ(ArcCos(1.0000000000000002), 0.0);
}

// ----------------------------------------------------- load and reduce ----

TEST_F(CatalogueTest, ArcturusMovesTwentySixYearsOfItsRealMotion) {
    SetClock(kJ2000 + 26 * kJulianYear);  // 2026-01-01T00:00:00Z
    list->SetCatalogueFile(SitingStarsPath());
    ASSERT_TRUE(list->LoadStars());
    const Star& a = Named(QStringLiteral("Arcturus"));
    // 26 x 2.0" south and 26 x 1.16" of RA west: 52" and 30", not the
    // hundredth of it an engine given yearly rates would apply.
    EXPECT_NEAR((a.Dec - kArcturusDec * kDeg) / kArcsec, 26 * kArcturusPmDec / 1000, 0.001);
    EXPECT_NEAR((a.RA - kArcturusRA * kDeg) / kArcsec, 26 * kArcturusPmRA / 1000, 0.001);
    EXPECT_NEAR(a.PmDec / kArcsec, -1.99652, 1e-9);
}

TEST_F(CatalogueTest, WithoutAClockTheEngineAppliesTheMotionAndTheApparentPlace) {
    // The engine's own clock decides; read it from the engine itself.
    list->SetClock({});
    LONG y, mo, d, h, mi, s;
    ASSERT_EQ(hub->engine()->UTCNow(&y, &mo, &d, &h, &mi, &s), S_OK);
    const QDateTime now(QDate(y + 1900, mo + 1, d), QTime(h, mi, s), Qt::UTC);
    const double years = (double(now.toSecsSinceEpoch()) - kJ2000) / kJulianYear;
    const double ra = kArcturusRA * kDeg + years * kArcturusPmRA / 1000 * kArcsec;
    const double dec = kArcturusDec * kDeg + years * kArcturusPmDec / 1000 * kArcsec;
    list->SetCatalogueFile(SitingStarsPath());

    list->LoadStars();
    EXPECT_NEAR(Named(QStringLiteral("Arcturus")).RA, ra, 1e-9);
    EXPECT_NEAR(Named(QStringLiteral("Arcturus")).Dec, dec, 1e-9);

    settings.J2000 = false;
    list->LoadStars();
    double raApp = 0, decApp = 0;
    ASSERT_EQ(hub->engine()->J2kToApparent(ra, dec, &raApp, &decApp), S_OK);
    EXPECT_NEAR(Named(QStringLiteral("Arcturus")).RA, raApp, 1e-9);
    EXPECT_NEAR(Named(QStringLiteral("Arcturus")).Dec, decApp, 1e-9);
    // Precession since 2000 alone moves it by minutes of arc.
    EXPECT_GT(std::abs(raApp - ra) / kArcsec, 60.0);
}

TEST_F(CatalogueTest, FaultyCatalogueShowsTheErrorAndKeepsTheStarsReadBefore) {
    // A blank line is passed over; the malformed one after it ends loading.
    UseCatalogue(StarRaDec("A", 10, 10) + StarRaDec("B", 20, 20) +
                 QStringLiteral("\nC,1,x,0,0,0\n") + StarRaDec("D", 30, 30));
    EXPECT_FALSE(list->LoadStars());
    EXPECT_EQ(list->StarCount(), 2);
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_TRUE(ui.shown()[0].text.contains(QStringLiteral("line 4")));

    list->SetCatalogueFile(dir.filePath(QStringLiteral("missing.csv")));
    EXPECT_FALSE(list->LoadStars());
    EXPECT_EQ(ui.shown().size(), 2);
    EXPECT_EQ(list->StarCount(), 0);
    EXPECT_TRUE(list->cmbNearStars.isEmpty());
}

// ----------------------------------------------------------- visibility ----

TEST_F(CatalogueTest, HorizonMarginLastSectorAndLimits) {
    settings.HorizonRad.fill(30 * kDeg);
    settings.HorizonRad[3] = 10 * kDeg;
    settings.HorizonRad[4] = 20 * kDeg;
    settings.HorizonRad[15] = 20 * kDeg;
    settings.HorizonRad[0] = 40 * kDeg;
    settings.AltLimitRad = 80 * kDeg;
    UseCatalogue(
        // Sector 3, halfway: the horizon is 15 degrees there.
        StarAt("JustIn", 15 - 0.0099, 78.75) + StarAt("JustOut", 15 - 0.0101, 78.75) +
        // Sector 15, halfway between 20 and 40 degrees.
        StarAt("LastIn", 30 - 0.0099, 348.75) + StarAt("LastOut", 30 - 0.0101, 348.75) +
        StarAt("LowOnLast", 25, 348.75) +
        // The mount's altitude limit is an upper limit.
        StarAt("High", 80.5, 180) + StarAt("BelowLimit", 79.5, 180));
    list->LoadStars();
    EXPECT_EQ(PickNames(), (QStringList{"JustIn", "LastIn", "BelowLimit"}));
}

TEST_F(CatalogueTest, DeclinationLimitOfNinetyDegreesKeepsOnlyThePoleOut) {
    // 90 degrees as the setup window stores it.
    settings.DecLimitRad = 90.0 * kPi / 180.0;
    UseCatalogue(StarRaDec("Pole", 0, 90) + StarRaDec("NearPole", 0, 89.999) +
                 StarRaDec("South", 0, -89.999) + StarRaDec("Equator", 0, 0));
    settings.Latitude = 0.0;  // every declination rises
    list->LoadStars();
    EXPECT_EQ(PickNames(), (QStringList{"NearPole", "South", "Equator"}));

    settings.DecLimitRad = -10 * kDeg;  // signed: only the far south passes
    list->UpdateNearStars();
    EXPECT_EQ(PickNames(), (QStringList{"South"}));
}

// ------------------------------------------------------- distance order ----

TEST_F(CatalogueTest, NearestFirstTiesKeepCatalogueOrderChosenStarStaysUntilReconnection) {
    // Enough stars at one distance that a sort which is not stable would
    // shuffle them.
    const double lstDeg = hub->SiderealAngle() / kDeg;
    QString text = StarRaDec("Far", lstDeg, 0);
    QStringList ties;
    for (int i = 1; i <= 20; ++i) {
        ties << QStringLiteral("Tie%1").arg(i);
        text += StarRaDec(ties.last(), lstDeg, 50);
    }
    UseCatalogue(text + StarRaDec("Near", lstDeg, 35));
    // Not connected: catalogue order, the first entry shown.
    list->LoadStars();
    EXPECT_EQ(PickNames(), QStringList{"Far"} + ties + QStringList{"Near"});
    EXPECT_EQ(CurrentName(), QStringLiteral("Far"));

    bool starChosen = false;
    list->UseStarChosen(starChosen);
    auto scope = Connect();
    driver().Set("RightAscension", lstDeg / 15);
    driver().Set("Declination", 30.0);
    list->CalcSiteStarArcLengths();
    EXPECT_EQ(PickNames(), QStringList{"Near"} + ties + QStringList{"Far"});
    EXPECT_EQ(CurrentName(), QStringLiteral("Near"));
    EXPECT_TRUE(starChosen);
    EXPECT_NEAR(Named(QStringLiteral("Near")).ArcDistance, 5 * kDeg, 0.02 * kDeg);

    // The list reorders around the chosen star.
    driver().Set("Declination", 0.0);
    list->CalcSiteStarArcLengths();
    EXPECT_EQ(PickNames(), QStringList({"Far", "Near"}) + ties);
    EXPECT_EQ(CurrentName(), QStringLiteral("Near"));
    EXPECT_EQ(list->cmbNearStarsIndex, 1);

    // The status loop clears the flag while disconnected: the next
    // connection starts at the nearest star again.
    starChosen = false;
    list->CalcSiteStarArcLengths();
    EXPECT_EQ(CurrentName(), QStringLiteral("Far"));
}

// ------------------------------------------ lines, navigation and marks ----

TEST_F(CatalogueTest, PickListLinesShowNameMarkPositionAndMagnitude) {
    UseCatalogue(
        QStringLiteral("\"Vega\",0.03,279.234732,38.783689,0,0\n"
                       "\"Sirius\",-1.44,101.287149,-16.716113,0,0\n"
                       "\"Zuben el Chamali\",2.61,229.251726,-9.382924,0,0\n"));
    list->LoadStars();
    list->NextStar();
    list->MarkCurrentUsed();
    EXPECT_EQ(list->cmbNearStars,
              (QStringList{QStringLiteral("Vega        18:36:56 38\u00BA47'01\" 0.0"),
                           QStringLiteral("Sirius*     06:45:09-16\u00BA42'58\" -1.4"),
                           QStringLiteral("Zuben el Chamali15:17:00-09\u00BA22'59\" 2.6")}));
    EXPECT_EQ(list->cmbNearStarsIndex, 1);
}

TEST_F(CatalogueTest, NavigationWrapsAndSkipsUsedStars) {
    UseCatalogue(StarAt("S1", 50, 90) + StarAt("S2", 50, 120) + StarAt("S3", 50, 150) +
                 StarAt("S4", 50, 180));
    int changes = 0;
    QObject::connect(list.get(), &StarPickList::changed, [&] { ++changes; });
    list->LoadStars();
    EXPECT_EQ(CurrentName(), QStringLiteral("S1"));
    list->PrevStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S4"));
    list->NextStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S1"));
    EXPECT_GT(changes, 2);

    list->ClickLine(1);
    list->MarkCurrentUsed();  // S2
    list->NextStar();
    list->MarkCurrentUsed();  // S3
    list->PrevStar();
    list->PrevStar();  // S1
    list->NextUnusedStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S4"));
    list->PrevUnusedStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S1"));
    list->PrevUnusedStar();  // wraps backwards to the last entry
    EXPECT_EQ(CurrentName(), QStringLiteral("S4"));

    // Every star used: ">>" and "<<" stay.
    list->MarkCurrentUsed();
    list->ClickLine(0);
    list->MarkCurrentUsed();
    list->NextUnusedStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S1"));
    list->PrevUnusedStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S1"));

    // A current star that left the list: the buttons do nothing.
    list->ClearUsed();
    settings.HorizonRad[4] = 60 * kDeg;  // east: S1 sets
    list->UpdateNearStars();
    EXPECT_EQ(list->PickCount(), 3);
    EXPECT_EQ(list->cmbNearStarsIndex, -1);
    list->NextStar();
    list->NextUnusedStar();
    EXPECT_EQ(CurrentName(), QStringLiteral("S1"));
}

TEST_F(CatalogueTest, OpenedCalibrationSetsTheMarksByName) {
    UseCatalogue(StarAt("Vega", 50, 90) + StarAt("Deneb", 50, 120) + StarAt("Altair", 50, 150));
    list->LoadStars();
    list->ClickLine(2);
    list->MarkCurrentUsed();  // Altair, from the calibration before

    list->MatchUsedStars({{QStringLiteral("Vega"), true}});
    EXPECT_TRUE(Named(QStringLiteral("Altair")).Used) << "one observation changes nothing";

    list->MatchUsedStars({{QStringLiteral("Vega"), true},
                          {QStringLiteral("Deneb"), false},
                          {QStringLiteral("Vega"), false},
                          {QStringLiteral("vega"), false}});
    EXPECT_TRUE(Named(QStringLiteral("Vega")).Used);  // the first observation decides
    EXPECT_FALSE(Named(QStringLiteral("Deneb")).Used);
    EXPECT_FALSE(Named(QStringLiteral("Altair")).Used);
    EXPECT_TRUE(list->cmbNearStars[0].startsWith(QStringLiteral("Vega*")));
}

}  // namespace
