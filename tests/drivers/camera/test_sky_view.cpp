// The sky renderer: where stars fall, how much light each pixel gets, and
// what the read-out adds, against the geometry worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "celaris/drivers/camera/sky_view.h"
#include "celaris/drivers/camera/star_catalogue.h"

namespace celaris::camera {
namespace {

SkyViewGeometry Field(double raDeg, double decDeg, double angleDeg = 0.0) {
    SkyViewGeometry g;
    g.centreRaDeg = raDeg;
    g.centreDecDeg = decDeg;
    g.width = 200;
    g.height = 150;
    g.arcsecPerPixel = 6.0;
    g.positionAngleDeg = angleDeg;
    return g;
}

TEST(SkyViewGeometry, TheGnomonicProjectionGivesTheTangentsAndKeepsOnlyWhatIsInFront) {
    // On the equator the standard coordinates are the tangents of the
    // offsets: east is +xi, north +eta.
    const auto east = Gnomonic(1.0, 0.0, 1.1, 0.0, 0.0);
    ASSERT_TRUE(east);
    EXPECT_NEAR(east->xi, std::tan(0.1), 1e-15);
    EXPECT_NEAR(east->eta, 0.0, 1e-15);
    const auto north = Gnomonic(1.0, 0.0, 1.0, 0.1, 0.0);
    ASSERT_TRUE(north);
    EXPECT_NEAR(north->xi, 0.0, 1e-15);
    EXPECT_NEAR(north->eta, std::tan(0.1), 1e-15);
    const auto centre = Gnomonic(2.0, 0.5, 2.0, 0.5, 0.0);
    ASSERT_TRUE(centre);
    EXPECT_EQ(centre->xi, 0.0);
    EXPECT_NEAR(centre->eta, 0.0, 1e-16);
    // Just short of 90 degrees off: in front of the plane, but not by more
    // than a millionth of the cosine.
    EXPECT_TRUE(Gnomonic(0.0, 0.0, 0.0, M_PI / 2 - 5e-7, 0.0));
    EXPECT_FALSE(Gnomonic(0.0, 0.0, 0.0, M_PI / 2 - 5e-7, 1e-6));
    EXPECT_FALSE(Gnomonic(0.0, 0.0, M_PI, 0.2, 0.0));
}

TEST(SkyViewGeometry, NorthIsUpEastIsLeftAndThePositionAngleIsThatOfTheUpDirection) {
    const SkyViewGeometry g = Field(150.0, 30.0);
    const double cx = 99.5, cy = 74.5;
    const PixelPosition centre = ProjectStar(g, 150.0, 30.0);
    EXPECT_NEAR(centre.x, cx, 1e-9);
    EXPECT_NEAR(centre.y, cy, 1e-9);
    // 60" north: 10 pixels up.
    const PixelPosition north = ProjectStar(g, 150.0, 30.0 + 60.0 / 3600.0);
    EXPECT_NEAR(north.y - cy, 10.0, 1e-3);
    EXPECT_NEAR(north.x, cx, 1e-6);
    // 60" east on the sky (RA grows by 60"/cos dec): 10 pixels left.
    const PixelPosition east =
        ProjectStar(g, 150.0 + 60.0 / 3600.0 / std::cos(30.0 * M_PI / 180.0), 30.0);
    EXPECT_NEAR(east.x - cx, -10.0, 1e-2);
    // Up towards the east: north lies to the right.
    const SkyViewGeometry t = Field(150.0, 30.0, 90.0);
    const PixelPosition turned = ProjectStar(t, 150.0, 30.0 + 60.0 / 3600.0);
    EXPECT_NEAR(turned.x - cx, 10.0, 1e-3);
    EXPECT_NEAR(turned.y, cy, 1e-3);
    // A star on the far side of the sky is not drawn.
    EXPECT_FALSE(ProjectStar(g, 330.0, -30.0).inFront);
}

TEST(SkyViewGeometry, PixelToSkyInvertsTheProjectionNearThePoleAndAcrossZeroHours) {
    for (const auto& [ra, dec, angle] :
         {std::tuple{0.05, 10.0, 0.0}, std::tuple{359.9, -40.0, 33.0},
          std::tuple{200.0, 89.5, 170.0}}) {
        const SkyViewGeometry g = Field(ra, dec, angle);
        for (const auto& [x, y] :
             {std::pair{0.0, 0.0}, std::pair{199.0, 149.0}, std::pair{12.3, 140.2}}) {
            double r = 0, d = 0;
            PixelToSky(g, x, y, r, d);
            const PixelPosition back = ProjectStar(g, r, d);
            EXPECT_NEAR(back.x, x, 1e-6) << ra << " " << dec;
            EXPECT_NEAR(back.y, y, 1e-6) << ra << " " << dec;
        }
    }
}

TEST(DrawStars, EachStarKeepsItsLightAndItsCentreAtTheProjectedPosition) {
    SkyViewGeometry g = Field(80.0, 20.0);
    double ra = 0, dec = 0;
    PixelToSky(g, 60.3, 90.7, ra, dec);
    StarLight light;
    light.seeingFwhmArcsec = 15.0;  // 2.5 pixels
    light.zeroPointElectronsPerSec = 1.0e6;
    const std::vector<float> image = DrawStars(g, {{ra, dec, 5.0}}, light, 2.0);
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const double v = image[size_t(y * g.width + x)];
            sum += v;
            sx += v * x;
            sy += v * y;
        }
    // 1e6 x 10^-2 x 2 s.
    EXPECT_NEAR(sum, 20000.0, 20000.0 * 1e-4);
    EXPECT_NEAR(sx / sum, 60.3, 0.01);
    EXPECT_NEAR(sy / sum, 90.7, 0.01);
    // Twice the time, twice the light; a star off the grid adds nothing.
    const std::vector<float> longer =
        DrawStars(g, {{ra, dec, 5.0}, {ra + 5.0, dec, 1.0}}, light, 4.0);
    EXPECT_NEAR(std::accumulate(longer.begin(), longer.end(), 0.0), 2.0 * sum, 1.0);
}

TEST(ReadOut, SkyBiasAndNoiseAsAskedTheSameForTheSameSeed) {
    const std::vector<float> dark(100000, 0.0f);
    Exposure e;
    e.seconds = 10.0;
    e.skyElectronsPerSecPerArcsec2 = 0.25;  // 2"/px: 1 e-/s a pixel, 10 e-
    e.readNoiseElectrons = 5.0;
    e.biasAdu = 500.0;
    e.gainElectronsPerAdu = 2.0;
    e.seed = 7;
    const std::vector<uint16_t> a = ReadOut(dark, 2.0, e);
    const std::vector<uint16_t> b = ReadOut(dark, 2.0, e);
    EXPECT_EQ(a, b);
    e.seed = 8;
    EXPECT_NE(a, ReadOut(dark, 2.0, e));
    double mean = 0, var = 0;
    for (uint16_t v : a) mean += v;
    mean /= double(a.size());
    for (uint16_t v : a) var += (v - mean) * (v - mean);
    var /= double(a.size());
    // 500 + 10 e- / 2; variance (10 + 25) / 4 ADU^2 plus rounding.
    EXPECT_NEAR(mean, 505.0, 0.1);
    EXPECT_NEAR(var, 35.0 / 4.0 + 1.0 / 12.0, 0.5);
    // A saturated pixel stops at the full well, and nothing passes 16 bits.
    e.fullWellElectrons = 1000.0;
    e.gainElectronsPerAdu = 0.01;
    const std::vector<uint16_t> full = ReadOut(std::vector<float>(10, 1.0e7f), 2.0, e);
    for (uint16_t v : full) EXPECT_EQ(v, 65535);
}

TEST(StarCatalogue, QueryOutputWithAndWithoutMagnitudes) {
    const auto stars = ParseQueryOutput(
        "Searching kdtree ...\n# RA, Dec, MAG_VT\n83.7333, 22.5686, 8.648\nbroken line\n"
        "84.565, 22.0132, 9.012\n");
    ASSERT_EQ(stars.size(), 2u);
    EXPECT_DOUBLE_EQ(stars[0].raDeg, 83.7333);
    EXPECT_DOUBLE_EQ(stars[1].mag, 9.012);
    const auto bare = ParseQueryOutput("# RA, Dec\n10.5, -3.25\n");
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].mag, 99.0);
}

TEST(StarCatalogue, IndexFilesAreChosenByTheFieldTheirQuadsFit) {
    const double deg = M_PI / 180.0;
    const std::vector<IndexFile> files = {{"a", 0.36 * deg, 0.5 * deg, 4107},
                                          {"b", 1.0 * deg, 1.42 * deg, 4110},
                                          {"c", 2.0 * deg, 2.83 * deg, 4112},
                                          {"d", 16.0 * deg, 22.0 * deg, 4118}};
    auto ids = [](const std::vector<IndexFile>& f) {
        std::vector<int> out;
        for (const IndexFile& i : f) out.push_back(i.indexId);
        return out;
    };
    EXPECT_EQ(ids(IndexFilesForField(files, 1.8, 1.4)), (std::vector<int>{4107, 4110, 4112}));
    EXPECT_EQ(ids(IndexFilesForField(files, 1.0, 0.8)), (std::vector<int>{4107, 4110}));
    EXPECT_EQ(ids(IndexFilesForField(files, 0.3, 0.3)), (std::vector<int>{4107}));
    EXPECT_TRUE(IndexFilesForField(files, 0.05, 0.05).empty());
}

TEST(StarCatalogue, TheInstalledTychoIndexFilesGiveEachStarOnceBrightestFirst) {
    const std::vector<IndexFile> files = FindIndexFiles(QStringLiteral("/usr/share/astrometry"));
    ASSERT_GE(files.size(), 10u) << "astrometry-data-tycho2-10-19 is not installed";
    EXPECT_LE(files.front().indexId, 4110);
    CatalogueQuery q;
    q.raDeg = 83.8;
    q.decDeg = 22.0;
    q.radiusDeg = 1.0;
    const auto stars = QueryStars(files, q, QStringLiteral("test"));
    ASSERT_GT(stars.size(), 10u);
    EXPECT_TRUE(std::is_sorted(stars.begin(), stars.end(),
                               [](const auto& a, const auto& b) { return a.mag < b.mag; }));
    for (size_t i = 0; i < stars.size(); ++i)
        for (size_t j = i + 1; j < stars.size(); ++j)
            EXPECT_FALSE(std::abs(stars[i].raDeg - stars[j].raDeg) < 1e-5 &&
                         std::abs(stars[i].decDeg - stars[j].decDeg) < 1e-5);
    q.faintestMag = 8.0;
    for (const auto& s : QueryStars(files, q, QStringLiteral("test"))) EXPECT_LE(s.mag, 8.0);
}

}  // namespace
}  // namespace celaris::camera
