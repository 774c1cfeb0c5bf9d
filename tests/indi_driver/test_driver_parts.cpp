// The driver's parts that need no INDI server: reading the hub's setup
// page and choosing the slew speeds.
#include <gtest/gtest.h>

#include "setup_page.h"
#include "slew_steps.h"

using namespace celaris;
using namespace celaris::indi_driver;

TEST(SetupPage, RowsAreReadWithTheirEntitiesDecoded) {
    const std::string page =
        "<table>\n<tr><th>Driver</th><td>alpaca:host:1/0 &amp; more &lt;x&gt;</td></tr>\n"
        "<tr><th>Collimation</th><td>-12.5&quot;</td></tr>\n"
        "<tr><th>Status</th><td>a &amp;lt; b</td></tr></table>";
    const auto rows = ParseSetupRows(page);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(RowValue(rows, "Driver").value_or(""), "alpaca:host:1/0 & more <x>");
    EXPECT_EQ(ArcSeconds(*RowValue(rows, "Collimation")).value_or(0), -12.5);
    // Decoded once: an escaped entity stays an entity.
    EXPECT_EQ(RowValue(rows, "Status").value_or(""), "a &lt; b");
    EXPECT_FALSE(RowValue(rows, "Fork flexure"));
    EXPECT_FALSE(ArcSeconds("12.5"));
    EXPECT_FALSE(ArcSeconds("twelve\""));
}

TEST(SlewSteps, FourRisingSpeedsInsideWhatTheMountOffers) {
    // One continuous range: guide and centering by sidereal multiples.
    const auto steps = SlewSteps({{0.0, 4.0}});
    ASSERT_EQ(steps.size(), 4);
    EXPECT_NEAR(steps[0], 8 * kSiderealDegPerSec, 1e-12);
    EXPECT_NEAR(steps[1], 64 * kSiderealDegPerSec, 1e-12);
    EXPECT_DOUBLE_EQ(steps[2], 2.0);
    EXPECT_DOUBLE_EQ(steps[3], 4.0);

    // Discrete rates: each speed moves to the nearest one offered, never
    // slower than the step before, never zero: half of 3 is nearer 0.5.
    const auto discrete = SlewSteps({{0.0, 0.0}, {0.5, 0.5}, {3.0, 3.0}});
    ASSERT_EQ(discrete.size(), 4);
    EXPECT_DOUBLE_EQ(discrete[0], 0.5);
    EXPECT_DOUBLE_EQ(discrete[1], 0.5);
    EXPECT_DOUBLE_EQ(discrete[2], 0.5);
    EXPECT_DOUBLE_EQ(discrete[3], 3.0);

    // A slow mount: nothing faster than it can go.
    for (double s : SlewSteps({{0.01, 0.1}})) EXPECT_LE(s, 0.1);
    // Nothing to move with.
    EXPECT_TRUE(SlewSteps({}).isEmpty());
    EXPECT_TRUE(SlewSteps({{0.0, 0.0}}).isEmpty());
}
