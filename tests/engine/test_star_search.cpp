// The star search on images in safe arrays, as a camera application hands
// them over, against the search done word for word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "celaris/com/safearray.h"
#include "star_search.h"

namespace {

// A width x height VT_I4 image, dimension 1 the column, in a VARIANT.
struct Image {
    Image(LONG w, LONG h, int32_t background = 0, LONG lb1 = 0, LONG lb2 = 0) : w(w), h(h) {
        SAFEARRAYBOUND b[2] = {{ULONG(w), lb1}, {ULONG(h), lb2}};
        psa = SafeArrayCreate(VT_I4, 2, b);
        std::fill(px(), px() + w * h, background);
        var.vt = VT_ARRAY | VT_I4;
        var.parray = psa;
    }
    ~Image() { SafeArrayDestroy(psa); }
    int32_t* px() { return static_cast<int32_t*>(psa->pvData); }
    int32_t& at(LONG c, LONG r) { return px()[r * w + c]; }
    void Block(LONG c, LONG r, int32_t v) {
        for (LONG k = 0; k < 9; ++k) at(c - 1 + k % 3, r - 1 + k / 3) = v;
    }
    // (x, y), or (-1, -1) and the failure; never leaves the array locked.
    std::pair<double, double> Find(HRESULT expected = S_OK) {
        double x = 0, y = 0;
        EXPECT_EQ(trimcore::FindBrightestStar(&var, x, y), expected);
        EXPECT_EQ(psa->cLocks, 0u);
        return {x, y};
    }
    LONG w, h;
    SAFEARRAY* psa;
    VARIANT var{};
};

using XY = std::pair<double, double>;

// Every window in scan order with a strict comparison, then the centroid.
XY LiteralSearch(Image& img) {
    int64_t best = 0;
    LONG bx = 10, by = 10;
    for (LONG r = 10; r <= img.h - 11; ++r)
        for (LONG c = 10; c <= img.w - 11; ++c) {
            int64_t sum = 0;
            int32_t hi = INT32_MIN, lo = INT32_MAX;
            for (LONG k = 0; k < 9; ++k) {
                const int32_t v = img.at(c - 1 + k % 3, r - 1 + k / 3);
                sum += v;
                hi = std::max(hi, v);
                lo = std::min(lo, v);
            }
            if (sum - hi - lo > best) std::tie(best, bx, by) = std::tuple(sum - hi - lo, c, r);
        }
    double s = 0, sx = 0, sy = 0;
    for (LONG dr = -5; dr <= 5; ++dr)
        for (LONG dc = -5; dc <= 5; ++dc) {
            const double v = img.at(bx + dc, by + dr);
            s += v;
            sx += dc * v;
            sy += dr * v;
        }
    return {bx + sx / s, by + sy / s};
}

}  // namespace

TEST(StarSearch, ScoreScanOrderAndBorder) {
    Image img(100, 80, 10);
    img.Block(40, 30, 100);
    EXPECT_EQ(img.Find(), XY(40, 30));

    // A lone hot pixel is every window's dropped maximum; a faint star wins.
    Image hot(100, 80);
    hot.at(60, 50) = 1000000;
    hot.Block(30, 40, 5);
    EXPECT_EQ(hot.Find(), XY(30, 40));

    // Equal stars: the lower row, then the lower column (tiles apart).
    Image ties(1300, 80);
    for (auto [c, r] : {std::pair{1200, 25}, {700, 25}, {80, 60}}) ties.Block(c, r, 50);
    EXPECT_EQ(ties.Find(), XY(700, 25));

    // Centres run over columns 10 ... 89 and rows 10 ... 69, ends included.
    Image edge(100, 80);
    for (auto [c, r] : {std::pair{7, 40}, {92, 40}, {50, 72}, {50, 7}}) edge.Block(c, r, 1000);
    edge.Block(89, 69, 500);
    edge.Block(10, 10, 400);
    EXPECT_EQ(edge.Find(), XY(89, 69));
    edge.Block(89, 69, 0);
    EXPECT_EQ(edge.Find(), XY(10, 10));
}

TEST(StarSearch, MatchesTheLiteralSearch) {
    // Narrow value ranges tie everywhere; full-range values overflow 32-bit
    // sums; widths beyond 532 span several tiles.
    std::mt19937 rng(5);
    const int32_t ranges[][2] = {{0, 3}, {-2, 2}, {0, 65535}, {INT32_MIN, INT32_MAX}};
    for (int trial = 0; trial < 24; ++trial) {
        Image img(std::uniform_int_distribution<LONG>(21, 1200)(rng),
                  std::uniform_int_distribution<LONG>(21, 60)(rng));
        std::uniform_int_distribution<int32_t> value(ranges[trial % 4][0], ranges[trial % 4][1]);
        std::generate(img.px(), img.px() + img.w * img.h, [&] { return value(rng); });
        if (trial % 3 == 0) img.at(img.w / 2, img.h / 2) = INT32_MAX;
        EXPECT_EQ(img.Find(), LiteralSearch(img)) << trial << ": " << img.w << " x " << img.h;
    }
}

TEST(StarSearch, LowerBoundsNumberTheResult) {
    Image img(60, 50, 3, -7, 100), ref(60, 50, 3);
    for (Image* i : {&img, &ref}) {
        i->Block(12, 33, 400);
        i->at(13, 33) = 600;
    }
    const XY q = ref.Find();
    EXPECT_GT(q.first, 12.0);
    EXPECT_EQ(img.Find(), XY(q.first - 7, q.second + 100));
}

TEST(StarSearch, NoStarOrNoImage) {
    // All zero (the box sums to 0), or no window 10 pixels from every edge.
    for (auto [w, h] : {std::pair{50, 50}, {20, 100}, {100, 20}, {1, 1}})
        EXPECT_EQ(Image(w, h, w == 50 ? 0 : 500).Find(), XY(-1, -1)) << w << " x " << h;
    Image smallest(21, 21);
    smallest.Block(10, 10, 7);
    EXPECT_EQ(smallest.Find(), XY(10, 10));

    Image img(40, 40, 10);
    img.Block(20, 20, 100);
    img.var.vt = VT_BYREF | VT_ARRAY | VT_I4;
    img.var.pparray = &img.psa;
    EXPECT_EQ(img.Find(E_FAIL), XY(-1, -1));
    img.var.vt = VT_I4;
    img.Find(E_FAIL);
    img.var = {};
    img.var.vt = VT_ARRAY | VT_I4;
    EXPECT_EQ(img.Find(E_INVALIDARG), XY(-1, -1));  // no array
    double x = 0, y = 0;
    EXPECT_EQ(trimcore::FindBrightestStar(nullptr, x, y), E_POINTER);

    // Other element types and shapes, labelled VT_I4 or not: never read.
    auto refuse = [](VARTYPE vt, std::vector<SAFEARRAYBOUND> b, VARTYPE label, HRESULT hr) {
        SAFEARRAY* psa = SafeArrayCreate(vt, UINT(b.size()), b.data());
        VARIANT v{};
        v.vt = VT_ARRAY | label;
        v.parray = psa;
        double vx = 0, vy = 0;
        EXPECT_EQ(trimcore::FindBrightestStar(&v, vx, vy), hr);
        EXPECT_EQ(vx, -1.0);
        EXPECT_EQ(psa->cLocks, 0u);
        SafeArrayDestroy(psa);
    };
    refuse(VT_I2, {{40, 0}, {40, 0}}, VT_I2, E_FAIL);
    refuse(VT_I2, {{40, 0}, {40, 0}}, VT_I4, E_FAIL);
    refuse(VT_I4, {{400, 0}}, VT_I4, DISP_E_BADINDEX);
    refuse(VT_I4, {{30, 0}, {30, 0}, {2, 0}}, VT_I4, E_FAIL);
}

TEST(StarSearch, CentroidOfAGaussianStarInANoisyField) {
    // Background 100, noise, fainter stars about, the brightest between pixels.
    Image img(300, 200);
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 8.0);
    const double stars[][4] = {{123.37, 87.81, 20000, 1.4},
                               {40.6, 150.2, 9000, 1.4},
                               {250.1, 30.9, 12000, 1.6},
                               {200.5, 160.5, 4000, 1.2}};
    for (LONG r = 0; r < img.h; ++r)
        for (LONG c = 0; c < img.w; ++c) {
            double v = 100.0 + noise(rng);
            for (const auto& s : stars)
                v += s[2] *
                     std::exp(-(std::pow(c - s[0], 2) + std::pow(r - s[1], 2)) / (2 * s[3] * s[3]));
            img.at(c, r) = int32_t(std::lround(v));
        }
    const XY xy = img.Find();
    EXPECT_NEAR(xy.first, 123.37, 0.1);
    EXPECT_NEAR(xy.second, 87.81, 0.1);
}
