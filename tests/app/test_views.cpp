// The residual plot and the sky map: the pictures' features (scales,
// labels, positions, colours, marks), the clicks and the double click, and
// the two windows on the desktop, offscreen.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "desktop.h"
#include "map_sample.h"
#include "scripted_driver.h"
#include "scripted_ui.h"

using namespace celaris;
using namespace celaris::models;
using calibration::Observation;

namespace {

constexpr double kArcsec = M_PI / 180.0 / 3600.0;
constexpr double kArcmin = 60.0 * kArcsec;

Observation Residual(double raArcsec, double decArcsec, double decScopeDeg = 0.0, bool use = true) {
    Observation o;
    o.Name = QStringLiteral("Star");
    o.DecScope = decScopeDeg * M_PI / 180.0;
    o.RAResidual = raArcsec * kArcsec;
    o.DecResidual = decArcsec * kArcsec;
    o.Use = use;
    return o;
}

std::vector<const Shape*> Find(const Drawing& d, Role role, Shape::Kind kind) {
    std::vector<const Shape*> out;
    for (const Shape& s : d.shapes)
        if (s.role == role && s.kind == kind) out.push_back(&s);
    return out;
}

const Shape* Text(const Drawing& d, const QString& text) {
    for (const Shape& s : d.shapes)
        if (s.kind == Shape::Kind::Text && s.text == text) return &s;
    return nullptr;
}

PlotPicture Plot(const QList<Observation>& obs, QSize box = {300, 200}, bool night = false,
                 int selected = 0, const QList<bool>* outliers = nullptr) {
    PlotPicture pic;
    DrawPlot({&obs, outliers, box, night, selected}, pic);
    return pic;
}

}  // namespace

// ---- Residual plot ---------------------------------------------------------

TEST(ResidualPlot, AnEmptyCalibrationShowsTheChartForOneArcMinute) {
    const PlotPicture pic = Plot({});
    const Drawing& d = pic.drawing;
    // R = min(150, 100) - 1.
    const auto circles = Find(d, Role::Grid, Shape::Kind::Circle);
    ASSERT_EQ(circles.size(), 2u);
    EXPECT_DOUBLE_EQ(circles[0]->radius, 99.0);
    EXPECT_EQ(circles[0]->colour, (Rgb{192, 192, 192}));
    EXPECT_DOUBLE_EQ(circles[1]->radius, 33.0);
    EXPECT_EQ(circles[1]->colour, (Rgb{255, 0, 0}));
    EXPECT_EQ(circles[0]->p1, QPointF(150, 100));

    const Shape* n = Text(d, "N");
    const Shape* e = Text(d, "E");
    ASSERT_TRUE(n && e);
    EXPECT_EQ(n->p1, QPointF(150, 1));
    EXPECT_EQ(n->anchor, Anchor::TopCentre);
    EXPECT_EQ(e->p1, QPointF(51, 100));
    EXPECT_EQ(e->anchor, Anchor::MiddleLeft);
    EXPECT_EQ(n->fontSize, 12);

    const Shape* inner = Text(d, "1.0 min");
    const Shape* outer = Text(d, "3.0 min");
    ASSERT_TRUE(inner && outer);
    EXPECT_EQ(inner->p1, QPointF(150, 133));
    EXPECT_EQ(inner->anchor, Anchor::TopCentre);
    EXPECT_EQ(outer->p1, QPointF(150, 199));
    EXPECT_EQ(outer->anchor, Anchor::BottomCentre);
    EXPECT_EQ(inner->fontSize, 8);
    EXPECT_TRUE(Find(d, Role::Dot, Shape::Kind::Disc).empty());
    EXPECT_TRUE(pic.DotPositions.empty());
}

TEST(ResidualPlot, TheLabelsTakeTheLargestUnitThatFits) {
    const auto expect = [](double sigma, const char* inner, const char* outer) {
        const PlotScale s = ScaleForSigma(sigma);
        EXPECT_EQ(s.inner, QString::fromUtf8(inner)) << sigma;
        EXPECT_EQ(s.outer, QString::fromUtf8(outer)) << sigma;
    };
    expect(2.0 * M_PI / 180.0, "2.0º", "6.0º");
    expect(0.017453292519943278, "1.0º", "3.0º");
    expect(0.0174, "59.8 min", "179.5 min");
    expect(2.908882086657213e-4, "1.0 min", "3.0 min");
    expect(59.0 * kArcsec, "59.0 sec", "177.0 sec");
    expect(4.848136811095355e-6, "1.0 sec", "3.0 sec");
    expect(0.4 * kArcsec, "<1.0 sec", "<3.0 sec");
    // A sum that overflowed gives 0 from the RMS: still a usable chart.
    expect(0.0, "<1.0 sec", "<3.0 sec");
    // The unit changes exactly at one degree and one arc second.
    expect(std::nextafter(0.017453292519943278, 0.0), "60.0 min", "180.0 min");
    expect(std::nextafter(4.848136811095355e-6, 0.0), "<1.0 sec", "<3.0 sec");
    EXPECT_EQ(ScaleForSigma(0.4 * kArcsec).sigma, 4.848136811095355e-6);
}

TEST(ResidualPlot, DotsSitAtTheirResidualsOnTheRmsScale) {
    // Used: (30", 0") at Dec 60 (15" on the sky) and (0", 20"); RMS over
    // two values is sqrt(15^2 + 20^2) = 25".
    const QList<Observation> obs{Residual(30, 0, 60), Residual(0, 20),
                                 Residual(500, -500, 0, false)};
    const PlotPicture pic = Plot(obs, {202, 202});
    EXPECT_EQ(pic.scale.inner, "25.0 sec");
    EXPECT_EQ(pic.scale.outer, "75.0 sec");
    const double k = 100.0 / (3 * 25 * kArcsec);  // R = 100
    EXPECT_NEAR(pic.pixelsPerRadian, k, 1e-6 * k);

    const auto dots = Find(pic.drawing, Role::Dot, Shape::Kind::Disc);
    ASSERT_EQ(dots.size(), 2u);  // the unused one has none
    EXPECT_NEAR(dots[0]->p1.x(), 101 + 15 * kArcsec * k, 1e-9);
    EXPECT_NEAR(dots[0]->p1.y(), 101, 1e-9);
    EXPECT_NEAR(dots[1]->p1.y(), 101 - 20 * kArcsec * k, 1e-9);  // north is up
    EXPECT_DOUBLE_EQ(dots[0]->radius, 3.0);
    EXPECT_EQ(dots[0]->colour, (Rgb{255, 255, 255}));

    // Every observation has a position, the unused one kept inside the box.
    ASSERT_EQ(pic.DotPositions.size(), 3u);
    EXPECT_EQ(pic.DotPositions[0], (PixelPos{121, 101}));  // 101 + 20 px
    EXPECT_EQ(pic.DotPositions[1], (PixelPos{101, 74}));   // floor(101 - 26.67)
    EXPECT_EQ(pic.DotPositions[2], (PixelPos{202, 202}));
}

TEST(ResidualPlot, OneObservationOrTinyResidualsFixTheScale) {
    // One used observation: one arc-minute whatever its residual.
    PlotPicture pic = Plot({Residual(10, 0), Residual(900, 0, 0, false)}, {202, 202});
    EXPECT_EQ(pic.scale.inner, "1.0 min");
    EXPECT_NEAR(pic.pixelsPerRadian, 100.0 / (3 * kArcmin), 1e-6);

    pic = Plot({Residual(0.3, 0.2), Residual(-0.2, 0.1), Residual(0.1, -0.4)}, {202, 202});
    EXPECT_EQ(pic.scale.inner, "<1.0 sec");
    EXPECT_EQ(pic.scale.outer, "<3.0 sec");
    EXPECT_NEAR(pic.pixelsPerRadian, 100.0 / (3 * 4.848136811095355e-6), 1e-3);
}

TEST(ResidualPlot, TheCrossMarksOnlyASelectedObservationTheFitUses) {
    const QList<Observation> obs{Residual(0, 0), Residual(20, 0, 0, false)};
    PlotPicture pic = Plot(obs, {202, 202}, false, 1);
    const auto cross = Find(pic.drawing, Role::Cross, Shape::Kind::Line);
    ASSERT_EQ(cross.size(), 2u);
    EXPECT_EQ(cross[0]->p1, QPointF(96, 101));
    EXPECT_EQ(cross[0]->p2, QPointF(107, 101));
    EXPECT_EQ(cross[1]->p1, QPointF(101, 96));
    EXPECT_EQ(cross[1]->p2, QPointF(101, 107));
    EXPECT_TRUE(
        Find(Plot(obs, {202, 202}, false, 2).drawing, Role::Cross, Shape::Kind::Line).empty());
    EXPECT_TRUE(
        Find(Plot(obs, {202, 202}, false, 3).drawing, Role::Cross, Shape::Kind::Line).empty());
}

TEST(ResidualPlot, AWildObservationBeyondTheRimIsPinnedInsideTheBox) {
    // Ten at 1" and one at 300": sigma = sqrt(90010 / 10) = 94.9", so the
    // wild one lies beyond three sigma, past the box's right edge.
    QList<Observation> obs(10, Residual(1, 0));
    obs.append(Residual(300, 0));
    const PlotPicture pic = Plot(obs, {202, 202}, false, 11);
    const auto dots = Find(pic.drawing, Role::Dot, Shape::Kind::Disc);
    ASSERT_EQ(dots.size(), 11u);
    EXPECT_EQ(dots[10]->p1, QPointF(198, 101));
    EXPECT_EQ(pic.DotPositions[10], (PixelPos{202, 101}));
    EXPECT_EQ(Find(pic.drawing, Role::Cross, Shape::Kind::Line)[0]->p1, QPointF(193, 101));
}

TEST(ResidualPlot, NightModeAndOutliers) {
    const QList<Observation> obs{Residual(5, 5), Residual(-4, 3), Residual(60, 60)};
    const QList<bool> outliers{false, false, true};
    const PlotPicture pic = Plot(obs, {202, 202}, true, 1, &outliers);
    for (const Shape& s : pic.drawing.shapes) {
        EXPECT_EQ(s.colour.g, 0) << int(s.role);
        EXPECT_EQ(s.colour.b, 0) << int(s.role);
    }
    EXPECT_EQ(Text(pic.drawing, "N")->colour, (Rgb{192, 0, 0}));
    EXPECT_EQ(Find(pic.drawing, Role::Cross, Shape::Kind::Line)[0]->colour, (Rgb{255, 0, 0}));
    // The outlier keeps its dot and gets a ring there.
    const auto rings = Find(pic.drawing, Role::Outlier, Shape::Kind::Circle);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_EQ(rings[0]->p1, Find(pic.drawing, Role::Dot, Shape::Kind::Disc)[2]->p1);
    EXPECT_EQ(Find(pic.drawing, Role::Dot, Shape::Kind::Disc).size(), 3u);
}

// ---- Sky map, pictures -----------------------------------------------------

namespace {

MapSky Sky(const QList<MapStar>& stars, const QList<Observation>& obs) {
    MapSky sky;
    sky.latitudeRad = 45 * M_PI / 180;
    sky.horizonRad.fill(0.5235987755982984);
    sky.stars = &stars;
    sky.observations = &obs;
    return sky;
}

// A star at altitude and azimuth (degrees) for latitude 45 and LST 0.
MapStar StarAt(double altDeg, double azDeg, double mag = 3.0) {
    const auto hd = ascom::aa_hadec(45 * M_PI / 180, altDeg * M_PI / 180, azDeg * M_PI / 180);
    return {QStringLiteral("S"), -hd.haRad, hd.decRad, mag, false};
}

}  // namespace

TEST(SkyMap, ZenithInTheCentreNorthUpEastLeft) {
    const MapFrame f = FrameOf({202, 202});
    EXPECT_DOUBLE_EQ(f.R, 100.0);
    EXPECT_EQ(ProjectAltAz(f, M_PI / 2, 1.0), (PixelPos{101, 101}));
    EXPECT_EQ(ProjectAltAz(f, 0, 0), (PixelPos{101, 1}));
    EXPECT_EQ(ProjectAltAz(f, 0, M_PI / 2), (PixelPos{1, 101}));
    EXPECT_EQ(ProjectAltAz(f, 0, M_PI), (PixelPos{101, 201}));
    EXPECT_EQ(ProjectAltAz(f, 0, 3 * M_PI / 2), (PixelPos{201, 101}));
    EXPECT_EQ(ProjectAltAz(f, M_PI / 4, 0), (PixelPos{101, 51}));
    // A star is placed through hadec_aa: 45 degrees up in the east.
    const QList<MapStar> stars{StarAt(45, 90)};
    MapPicture pic;
    ASSERT_TRUE(DrawMap(Sky(stars, {}), {202, 202}, pic));
    EXPECT_EQ(pic.MapPositions(1), (PixelPos{51, 101}));
}

TEST(SkyMap, NothingToShowKeepsThePreviousPicture) {
    MapPicture pic;
    pic.drawing.size = QSize(7, 7);
    EXPECT_FALSE(DrawMap(Sky({}, {}), {202, 202}, pic));
    EXPECT_EQ(pic.drawing.size, QSize(7, 7));
}

TEST(SkyMap, GridHorizonLabelsAndLimits) {
    const QList<MapStar> stars{StarAt(60, 10)};
    const QList<Observation> none;
    MapSky sky = Sky(stars, none);
    MapPicture pic;
    ASSERT_TRUE(DrawMap(sky, {202, 202}, pic));
    // The default limits (just above 90 degrees) draw nothing.
    EXPECT_TRUE(Find(pic.drawing, Role::Limit, Shape::Kind::Line).empty());
    EXPECT_TRUE(Find(pic.drawing, Role::Limit, Shape::Kind::Circle).empty());
    const auto circles = Find(pic.drawing, Role::Grid, Shape::Kind::Circle);
    ASSERT_EQ(circles.size(), 6u);
    EXPECT_DOUBLE_EQ(circles[0]->radius, 100.0);
    EXPECT_NEAR(circles[5]->radius, 100.0 / 6, 1e-12);
    const auto spokes = Find(pic.drawing, Role::Grid, Shape::Kind::Line);
    ASSERT_EQ(spokes.size(), 24u);
    EXPECT_NEAR(spokes[23]->p1.x(), 101 + 100.0 / 6, 1e-9);  // 360 degrees: to the right
    EXPECT_NEAR(spokes[23]->p2.x(), 201, 1e-9);
    // The horizon at 30 degrees everywhere: 16 chords closing on themselves.
    const auto horizon = Find(pic.drawing, Role::Horizon, Shape::Kind::Line);
    ASSERT_EQ(horizon.size(), 16u);
    EXPECT_EQ(horizon[0]->p1, QPointF(101, 34));  // north, 60 degrees from the zenith
    EXPECT_EQ(horizon[15]->p2, horizon[0]->p1);
    EXPECT_EQ(pic.azLabels[0].text, "45");
    EXPECT_EQ(pic.azLabels[0].anchor, Anchor::BottomRight);
    EXPECT_NEAR(pic.azLabels[0].corner.x(), 101 - 100 / M_SQRT2, 1e-9);
    EXPECT_NEAR(pic.azLabels[0].corner.y(), 101 - 100 / M_SQRT2, 1e-9);
    EXPECT_EQ(pic.azLabels[1].anchor, Anchor::TopRight);
    EXPECT_EQ(pic.azLabels[2].anchor, Anchor::TopLeft);
    EXPECT_EQ(pic.azLabels[3].text, "315");
    EXPECT_EQ(pic.azLabels[3].anchor, Anchor::BottomLeft);

    sky.altLimitRad = 60 * M_PI / 180;
    sky.decLimitRad = 60 * M_PI / 180;
    ASSERT_TRUE(DrawMap(sky, {202, 202}, pic));
    const auto alt = Find(pic.drawing, Role::Limit, Shape::Kind::Circle);
    ASSERT_EQ(alt.size(), 1u);
    EXPECT_NEAR(alt[0]->radius, 100.0 / 3, 1e-9);
    const auto dec = Find(pic.drawing, Role::Limit, Shape::Kind::Line);
    ASSERT_EQ(dec.size(), 16u);
    EXPECT_EQ(dec[0]->width, 2);
    EXPECT_EQ(dec[0]->colour, (Rgb{0, 192, 192}));
    // Dec 60 on the meridian at latitude 45: 75 degrees up in the north.
    EXPECT_EQ(dec[0]->p1, QPointF(101, 84));
    EXPECT_EQ(dec[15]->p2, dec[0]->p1);  // the circle closes at 2 pi

    // South of the equator the limit is the southern one: at latitude -30,
    // dec -60 culminates 60 degrees up in the south (dec +60 would graze the
    // northern rim).
    sky.latitudeRad = -30 * M_PI / 180;
    ASSERT_TRUE(DrawMap(sky, {202, 202}, pic));
    EXPECT_EQ(Find(pic.drawing, Role::Limit, Shape::Kind::Line)[0]->p1, QPointF(101, 134));
}

TEST(SkyMap, StarsAreSizedByMagnitudeWithTheBoundsInTheMiddleClass) {
    const QList<MapStar> stars{StarAt(50, 0, 1.99), StarAt(50, 90, 2.0), StarAt(50, 180, 4.0),
                               StarAt(50, 270, 4.01)};
    MapPicture pic;
    ASSERT_TRUE(DrawMap(Sky(stars, {}), {202, 202}, pic));
    const auto discs = Find(pic.drawing, Role::Star, Shape::Kind::Disc);
    ASSERT_EQ(discs.size(), 12u);
    const double expected[4][3] = {{7, 4, 3}, {6, 3, 2}, {6, 3, 2}, {5, 2, 1}};
    for (int s = 0; s < 4; ++s)
        for (int pass = 0; pass < 3; ++pass)
            EXPECT_DOUBLE_EQ(discs[size_t(s * 3 + pass)]->radius, expected[s][pass])
                << "star " << s << " pass " << pass;
    EXPECT_EQ(discs[0]->colour, (Rgb{32, 32, 32}));
    EXPECT_EQ(discs[1]->colour, (Rgb{96, 96, 96}));
    EXPECT_EQ(discs[2]->colour, (Rgb{255, 255, 255}));
    EXPECT_EQ(discs[3]->p1, QPointF(pic.MapPositions(2).x, pic.MapPositions(2).y));
}

TEST(SkyMap, ObservationsTelescopeAndSelections) {
    // Observations taken at LST 1 on the meridian: hour angle = LST - RA.
    Observation used, unused;
    used.LST = unused.LST = 1.0;
    used.RATrue = 1.0;
    used.DecTrue = 45 * M_PI / 180;  // the zenith
    unused.RATrue = 1.0;
    unused.DecTrue = 0.0;  // 45 degrees up in the south
    unused.Use = false;
    const QList<Observation> obs{used, unused};
    const QList<MapStar> stars{StarAt(60, 270)};
    const QList<bool> outliers{true, false};
    MapSky sky = Sky(stars, obs);
    sky.outliers = &outliers;
    sky.siderealAngle = 0.0;
    sky.correctedRAHours = 0.0;
    sky.correctedDecDeg = 45.0;  // the zenith
    sky.selectedStar = 0;
    sky.selectedObservation = 2;
    sky.night = true;
    MapPicture pic;
    ASSERT_TRUE(DrawMap(sky, {202, 202}, pic));

    EXPECT_EQ(pic.MapPositions(-1), (PixelPos{101, 101}));
    EXPECT_EQ(pic.MapPositions(-2), (PixelPos{101, 151}));
    const auto xs = Find(pic.drawing, Role::Observation, Shape::Kind::Line);
    ASSERT_EQ(xs.size(), 4u);
    EXPECT_EQ(xs[0]->p1, QPointF(96, 96));
    EXPECT_EQ(xs[0]->p2, QPointF(106, 106));
    // Pure red stays pure red at night; the dark red follows the night rule.
    EXPECT_EQ(xs[0]->colour, (Rgb{255, 0, 0}));
    EXPECT_EQ(xs[2]->colour, (Rgb{42, 0, 0}));
    const auto ring = Find(pic.drawing, Role::Outlier, Shape::Kind::Circle);
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0]->p1, QPointF(101, 101));

    const auto scope = Find(pic.drawing, Role::Telescope, Shape::Kind::Line);
    ASSERT_EQ(scope.size(), 2u);
    EXPECT_EQ(scope[0]->p1, QPointF(97, 101));
    EXPECT_EQ(scope[0]->p2, QPointF(105, 101));
    EXPECT_EQ(scope[0]->colour, (Rgb{85, 0, 0}));

    const auto star = Find(pic.drawing, Role::SelectedStar, Shape::Kind::Line);
    ASSERT_EQ(star.size(), 2u);
    const PixelPos s = pic.MapPositions(1);
    EXPECT_EQ(star[0]->p1, QPointF(s.x - 7, s.y));
    const auto mark = Find(pic.drawing, Role::SelectedObservation, Shape::Kind::Line);
    ASSERT_EQ(mark.size(), 2u);
    EXPECT_EQ(mark[0]->p1, QPointF(94, 144));
    EXPECT_EQ(mark[0]->colour, (Rgb{42, 0, 0}));
}

// ---- The models on a running program -------------------------------------

namespace {

class ViewsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.filePath("profile.json");
        program = std::make_unique<hub::Program>(ui, path);
        store = std::make_unique<calibration::CalibrationStore>(*program);
    }
    void TearDown() override {
        desktop.reset();
        program->hub().state().ScopeDriver.reset();
        program->hub().state().DriverConnected = false;
        store.reset();
        program.reset();
    }
    test::ScriptedDriver* Connect() {
        auto driver = std::make_unique<test::ScriptedDriver>();
        auto* raw = driver.get();
        program->hub().state().ScopeDriver = std::move(driver);
        program->hub().state().DriverConnected = true;
        return raw;
    }
    QTemporaryDir dir;
    QString path;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<calibration::CalibrationStore> store;
    std::unique_ptr<windows::Desktop> desktop;
};

}  // namespace

TEST_F(ViewsTest, PlotClicksSelectOnlyWithTheListShownAndTipsNameTheDot) {
    AddMapSample(*program, *store);
    ASSERT_EQ(store->ObservationCount(), 26);
    ASSERT_FALSE(store->at(4).Use);
    ASSERT_TRUE(store->statistics().IsOutlier(16));
    ObservationSelection selection;
    PlotModel plot(*store, selection);
    plot.SetSize({300, 300});
    plot.SetVisible(true);
    EXPECT_TRUE(plot.PlotReady);
    EXPECT_EQ(Find(plot.picture().drawing, Role::Dot, Shape::Kind::Disc).size(), 25u);
    EXPECT_EQ(Find(plot.picture().drawing, Role::Outlier, Shape::Kind::Circle).size(), 1u);

    // Observation 4 is not used: moved clear of the others, it has no dot
    // but can still be picked.
    store->at(4).RAResidual = -80 * kArcsec;
    store->at(4).DecResidual = -80 * kArcsec;
    plot.PlotData();
    const PixelPos unused = plot.DotPositions()[3];
    QSignalSpy picked(&selection, &ObservationSelection::selectObservation);
    plot.Click({unused.x, unused.y});
    EXPECT_EQ(picked.count(), 0);  // the list is hidden

    selection.SetListVisible(true);
    QSignalSpy drawn(&plot, &PlotModel::drawn);
    plot.Click({unused.x + 1, unused.y});
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked[0][0].toInt(), 4);
    EXPECT_EQ(selection.selectedIndex(), 4);
    EXPECT_EQ(drawn.count(), 1);
    EXPECT_TRUE(Find(plot.picture().drawing, Role::Cross, Shape::Kind::Line).empty());
    // The same pick again changes nothing but still redraws.
    plot.Click({unused.x, unused.y});
    EXPECT_EQ(drawn.count(), 2);
    // The list selects a line: the plot follows with a cross.
    selection.SetSelected(16);
    EXPECT_EQ(Find(plot.picture().drawing, Role::Cross, Shape::Kind::Line).size(), 2u);

    // Observation 16 is the badly centred one.
    const PixelPos outlier = plot.DotPositions()[15];
    const QString tip = plot.HoverText({outlier.x + 3, outlier.y + 3});
    EXPECT_TRUE(tip.startsWith(store->at(16).Name + ": ")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("Outlier")) << tip.toStdString();
    // No dot, no tip.
    EXPECT_TRUE(plot.HoverText({unused.x, unused.y}).isEmpty());
}

TEST_F(ViewsTest, MapClicksPickWithinTenPixelsAndAlwaysRedraw) {
    const MapSample sample = AddMapSample(*program, *store);
    ObservationSelection selection;
    MapModel map(*program, *store, selection);
    int current = sample.currentStar;
    QList<int> selects;
    map.SetStars({[&] { return sample.pickList; },
                  [&] { return current; },
                  [&](int k) { selects << k; },
                  {}});
    bool mainShown = false;
    map.SetMainVisible([&] { return mainShown; });
    map.SetSize({400, 400});
    map.SetVisible(true);
    ASSERT_EQ(map.picture().stars.size(), size_t(sample.pickList.size()));
    // The sample's first star is observed: its X sits on its disc.
    const PixelPos star = map.picture().MapPositions(1);
    EXPECT_LE(std::abs(map.picture().MapPositions(-1).x - star.x), 2);

    QSignalSpy drawn(&map, &MapModel::drawn);
    QSignalSpy picked(&selection, &ObservationSelection::selectObservation);
    // Far from everything (a corner outside the horizon): nothing, but drawn.
    map.Click({0, 399});
    EXPECT_EQ(drawn.count(), 1);
    EXPECT_EQ(picked.count(), 0);
    EXPECT_TRUE(selects.isEmpty());

    map.Click({star.x + 3, star.y});
    EXPECT_EQ(drawn.count(), 2);  // one drawing for the click and its pick
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked[0][0].toInt(), 1);
    EXPECT_TRUE(selects.isEmpty());  // the main window is hidden
    mainShown = true;
    map.Click({star.x + 3, star.y});
    EXPECT_EQ(selects, QList<int>{0});
    EXPECT_TRUE(map.HoverText({star.x, star.y}).startsWith(store->at(1).Name));
    EXPECT_TRUE(map.HoverText({0, 399}).isEmpty());

    // The status loop redraws while connected only.
    const int before = int(drawn.count());
    emit program->status().statusChanged(QString());
    EXPECT_EQ(drawn.count(), before);
    Connect();
    emit program->status().statusChanged(QString());
    EXPECT_EQ(drawn.count(), before + 1);
}

TEST_F(ViewsTest, DoubleClickSlewsOnlyWhenTheMountIsFree) {
    ObservationSelection selection;
    MapModel map(*program, *store, selection);
    QList<int> slews;
    int current = 2;
    map.SetStars(
        {[] { return QList<MapStar>{}; }, [&] { return current; }, {}, [&](int k) { slews << k; }});
    map.DoubleClick();  // not connected
    EXPECT_TRUE(slews.isEmpty());

    auto* driver = Connect();
    map.DoubleClick();
    EXPECT_EQ(slews, QList<int>{2});

    driver->Set("Slewing", true);
    map.DoubleClick();
    EXPECT_EQ(slews.size(), 1);
    driver->Set("Slewing", false);

    // A two-leg slew whose final leg is still pending.
    program->settings().AntiBacklash = true;
    program->hub().state().SecondLegDone = false;
    map.DoubleClick();
    EXPECT_EQ(slews.size(), 1);
    program->settings().AntiBacklash = false;  // a leftover flag alone does not block
    map.DoubleClick();
    EXPECT_EQ(slews.size(), 2);

    current = -1;  // no star chosen
    map.DoubleClick();
    EXPECT_EQ(slews.size(), 2);

    // Failures go to the error box.
    current = 0;
    map.SetStars({{},
                  [&] { return current; },
                  {},
                  [](int) {
                      throw dispatch::ComError(1031, QStringLiteral("Celaris"),
                                               QStringLiteral("Slew limits exceeded"));
                  }});
    map.DoubleClick();
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_TRUE(ui.shown()[0].text.contains("Slew limits exceeded"));
}

// ---- The windows -----------------------------------------------------------

TEST_F(ViewsTest, BothWindowsStartHiddenAndCmdMapTogglesTheMap) {
    program->settings().PosMapX = 600;
    program->settings().PosMapY = 900;
    program->settings().MapWidth = 6000;
    program->settings().MapHeight = 4000;  // 266.7 pixels
    program->settings().PlotWidth = 900;   // below the minimum
    desktop = std::make_unique<windows::Desktop>(*program, *store, nullptr);
    auto& plot = desktop->plot();
    auto& map = desktop->map();
    EXPECT_EQ(plot.objectName(), "frmPlot");
    EXPECT_EQ(plot.windowTitle(), "Observation Errors");
    EXPECT_EQ(map.objectName(), "frmMap");
    EXPECT_EQ(map.windowTitle(), "Calibration Sky Map");
    EXPECT_FALSE(plot.isVisible());
    EXPECT_FALSE(map.isVisible());
    EXPECT_NE(plot.findChild<QWidget*>("pboxPlot"), nullptr);
    EXPECT_EQ(map.findChildren<QLabel*>("lblAzScale").size(), 4);
    EXPECT_EQ(map.size(), QSize(400, 266));
    EXPECT_EQ(map.pos(), QPoint(40, 60));
    EXPECT_EQ(plot.width(), windows::kViewMinimumPx);
    plot.resize(50, 500);
    EXPECT_EQ(plot.width(), windows::kViewMinimumPx);

    auto* cmdMap = desktop->main().findChild<QPushButton*>("cmdMap");
    ASSERT_NE(cmdMap, nullptr);
    EXPECT_EQ(cmdMap->toolTip(), "Alt/Az map of stars and observations");
    cmdMap->click();
    EXPECT_TRUE(map.isVisible());
    cmdMap->click();
    EXPECT_FALSE(map.isVisible());
    desktop->TogglePlot();
    EXPECT_TRUE(plot.isVisible());

    // Unloading writes the map's place and size, the plot's place only; a
    // size left alone keeps its twips.
    map.move(90, 120);
    map.resize(500, map.height());
    plot.move(30, 45);
    plot.resize(300, 300);
    desktop->Unload();
    const auto& s = program->settings();
    EXPECT_EQ(s.PosMapX, 90 * 15);
    EXPECT_EQ(s.PosMapY, 120 * 15);
    EXPECT_EQ(s.MapWidth, 500 * 15);
    EXPECT_EQ(s.MapHeight, 4000);
    EXPECT_EQ(s.PosPlotX, 30 * 15);
    EXPECT_EQ(s.PlotWidth, 900);
}

TEST_F(ViewsTest, ScreenshotsShowTheSampleAndLeaveTheModelAsItWas) {
    program->settings().HourOffsetRad = 1e-4;
    desktop = std::make_unique<windows::Desktop>(*program, *store, nullptr);
    const QString shots = QStringLiteral(SCREENSHOT_DIR);
    const QStringList files = desktop->Screenshots(shots);
    for (const char* name : {"frmPlot", "frmMap"}) {
        const QFileInfo f(shots + QStringLiteral("/%1.png").arg(name));
        EXPECT_TRUE(files.contains(f.filePath())) << name;
        EXPECT_GT(f.size(), 5000) << name;
    }
    EXPECT_EQ(store->ObservationCount(), 0);  // the sample goes with the pictures
    EXPECT_FALSE(desktop->map().isVisible());
    EXPECT_EQ(desktop->observationSelection().selectedIndex(), 0);
    EXPECT_DOUBLE_EQ(program->settings().HourOffsetRad, 1e-4);
    double engineTerm = 0;
    program->hub().engine()->get_HOffset(&engineTerm);
    EXPECT_DOUBLE_EQ(engineTerm, 1e-4);
    profile::Profile reread(path);
    EXPECT_DOUBLE_EQ(profile::ReadAllSettings(reread).HourOffsetRad, 1e-4);
}
