// The brightest star in a camera image: the 3 x 3 window with the highest
// score (its sum without its highest and its lowest value, so a single hot
// or cold pixel does not count), at least 10 pixels from every edge, the
// first in row-major order among equals; then the intensity-weighted
// centroid of the 11 x 11 box around it, without background subtraction.
//
// Scores are exact for every 32-bit input. The search runs in tiles of
// columns: the vertical sums, maxima and minima of three rows first, then the
// windows from three neighbouring columns of those. For pixel values within
// +-2^27 (any camera) all of it stays in 32-bit lanes the compiler
// vectorises; a tile with larger values is scored in 64 bits instead.
#include "star_search.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "celaris/com/safearray.h"

namespace trimcore {

namespace {

constexpr ptrdiff_t kBorder = 10;  // no window centre nearer an edge
constexpr ptrdiff_t kBoxHalf = 5;  // centroid box offsets -5 ... +5
constexpr ptrdiff_t kMinSide = 2 * kBorder + 1;
constexpr ptrdiff_t kTile = 512;     // columns scored per tile
constexpr int32_t kSmall = 1 << 27;  // nine of these still fit in 32 bits

struct Best {
    int64_t score = 0;
    ptrdiff_t col = kBorder;  // memory offsets from the array's first element
    ptrdiff_t row = kBorder;
};

// By value, so the vectoriser sees arithmetic rather than a choice between
// addresses.
inline int32_t Max3(int32_t a, int32_t b, int32_t c) {
    return std::max(a, std::max(b, c));
}
inline int32_t Min3(int32_t a, int32_t b, int32_t c) {
    return std::min(a, std::min(b, c));
}

// Score of the window centred on column c of the row mid, rows up and dn
// above and below it: exact in 64 bits.
int64_t WindowScore(const int32_t* up, const int32_t* mid, const int32_t* dn, ptrdiff_t c) {
    int64_t sum = 0;
    int32_t hi = up[c], lo = up[c];
    for (const int32_t* row : {up, mid, dn}) {
        for (ptrdiff_t k = c - 1; k <= c + 1; ++k) {
            sum += row[k];
            hi = std::max(hi, row[k]);
            lo = std::min(lo, row[k]);
        }
    }
    return sum - hi - lo;
}

// Highest value of three rows over columns [first, first + n). Inlined so
// that it is built for each processor Search is built for.
[[gnu::always_inline]] inline int32_t TileMax(const int32_t* up, const int32_t* mid,
                                              const int32_t* dn, ptrdiff_t first, ptrdiff_t n) {
    int32_t hi = INT32_MIN;
    for (ptrdiff_t j = first; j < first + n; ++j) hi = std::max(hi, Max3(up[j], mid[j], dn[j]));
    return hi;
}

// Scores the windows centred on columns [c0, c0 + n) of one row (n <= kTile)
// and records the first one that beats best. Inlined like TileMax.
[[gnu::always_inline]] inline void ScoreTile(const int32_t* up, const int32_t* mid,
                                             const int32_t* dn, ptrdiff_t c0, ptrdiff_t n,
                                             ptrdiff_t row, Best& best) {
    // Vertical sum, maximum and minimum of the columns c0 - 1 ... c0 + n.
    // Sums wrap in unsigned arithmetic; they are used only when the tile's
    // range shows that they did not.
    uint32_t vsum[kTile + 2];
    int32_t vmax[kTile + 2], vmin[kTile + 2];
    int32_t hi = INT32_MIN, lo = INT32_MAX;
    const ptrdiff_t first = c0 - 1;
    for (ptrdiff_t j = 0; j < n + 2; ++j) {
        const int32_t a = up[first + j], b = mid[first + j], c = dn[first + j];
        vsum[j] = uint32_t(a) + uint32_t(b) + uint32_t(c);
        vmax[j] = Max3(a, b, c);
        vmin[j] = Min3(a, b, c);
        hi = std::max(hi, vmax[j]);
        lo = std::min(lo, vmin[j]);
    }

    int64_t tileBest;
    if (hi < kSmall && lo > -kSmall) {
        int32_t m = INT32_MIN;
        for (ptrdiff_t j = 0; j < n; ++j) {
            const uint32_t sum = vsum[j] + vsum[j + 1] + vsum[j + 2];
            const int32_t top = Max3(vmax[j], vmax[j + 1], vmax[j + 2]);
            const int32_t bottom = Min3(vmin[j], vmin[j + 1], vmin[j + 2]);
            m = std::max(m, int32_t(sum - uint32_t(top) - uint32_t(bottom)));
        }
        tileBest = m;
    } else {
        tileBest = INT64_MIN;
        for (ptrdiff_t j = 0; j < n; ++j)
            tileBest = std::max(tileBest, WindowScore(up, mid, dn, c0 + j));
    }
    if (tileBest <= best.score) return;

    // A new best: the first column in the tile that reaches it.
    for (ptrdiff_t j = 0; j < n; ++j) {
        if (WindowScore(up, mid, dn, c0 + j) == tileBest) {
            best = {tileBest, c0 + j, row};
            return;
        }
    }
}

// The best window centre of a width x height image, width and height at
// least kMinSide. Built for the widest vector unit the processor has.
// clang-format off
[[gnu::target_clones("avx512f", "avx2", "default")]]
Best Search(const int32_t* image, ptrdiff_t width, ptrdiff_t height) {
    // clang-format on
    Best best;
    const ptrdiff_t lastCol = width - 1 - kBorder;
    const ptrdiff_t lastRow = height - 1 - kBorder;
    for (ptrdiff_t r = kBorder; r <= lastRow; ++r) {
        const int32_t* mid = image + r * width;
        for (ptrdiff_t c0 = kBorder; c0 <= lastCol; c0 += kTile) {
            const ptrdiff_t n = std::min(kTile, lastCol + 1 - c0);
            const int32_t* up = mid - width;
            const int32_t* dn = mid + width;
            // Ask for the next row's new line of pixels while this one is
            // scored, one 64-byte cache line at a time (the border keeps it
            // inside the image).
            for (ptrdiff_t j = c0 - 1; j < c0 + n + 1; j += 16) __builtin_prefetch(dn + width + j);
            // A window scores at most seven times its highest value: once a
            // star has been found, the sky around it is passed over after
            // one look at its maximum.
            if (7 * int64_t(TileMax(up, mid, dn, c0 - 1, n + 2)) <= best.score) continue;
            ScoreTile(up, mid, dn, c0, n, r, best);
        }
    }
    return best;
}

}  // namespace

HRESULT FindBrightestStar(VARIANT* bm, double& x, double& y) {
    x = -1.0;
    y = -1.0;
    if (bm == nullptr) return E_POINTER;
    if (bm->vt != (VT_ARRAY | VT_I4)) return E_FAIL;

    SAFEARRAY* psa = bm->parray;
    LONG u1 = 0, u2 = 0, l1 = 0, l2 = 0;
    HRESULT hr = SafeArrayGetUBound(psa, 1, &u1);
    if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(psa, 2, &u2);
    if (SUCCEEDED(hr)) hr = SafeArrayGetLBound(psa, 1, &l1);
    if (SUCCEEDED(hr)) hr = SafeArrayGetLBound(psa, 2, &l2);
    if (FAILED(hr)) return hr;
    // Only a two-dimensional array of 4-byte elements is an image; anything
    // else would be read with the wrong stride or past its end.
    if (SafeArrayGetDim(psa) != 2 || psa->cbElements != sizeof(int32_t)) return E_FAIL;

    void* data = nullptr;
    hr = SafeArrayAccessData(psa, &data);
    if (FAILED(hr)) return hr;
    if (data == nullptr) {
        SafeArrayUnaccessData(psa);
        return E_FAIL;
    }

    // Too small for a window 10 pixels from every edge: no star, x = y = -1.
    const ptrdiff_t width = ptrdiff_t(u1) - l1 + 1;
    const ptrdiff_t height = ptrdiff_t(u2) - l2 + 1;
    if (width >= kMinSide && height >= kMinSide) {
        const auto* image = static_cast<const int32_t*>(data);
        const Best best = Search(image, width, height);

        // Intensity-weighted centroid of the box around the best window.
        double s = 0.0, sx = 0.0, sy = 0.0;
        for (ptrdiff_t dr = -kBoxHalf; dr <= kBoxHalf; ++dr) {
            const int32_t* row = image + (best.row + dr) * width + best.col;
            for (ptrdiff_t dc = -kBoxHalf; dc <= kBoxHalf; ++dc) {
                const double v = row[dc];
                s += v;
                sx += double(dc) * v;
                sy += double(dr) * v;
            }
        }
        // A box summing to 0 has no centroid: no star, x = y = -1.
        if (s != 0.0) {
            // Positions count from the array's lower bounds.
            x = double(l1 + best.col) + sx / s;
            y = double(l2 + best.row) + sy / s;
        }
    }
    SafeArrayUnaccessData(psa);
    return hr;
}

}  // namespace trimcore
