#include "celaris/drivers/camera/sky_view.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "celaris/units/angles.h"

namespace celaris::camera {

namespace {

constexpr double kDeg = units::kDegreesToRadians;

// Sine and cosine of the position angle.
struct Turn {
    double c;
    double s;
    explicit Turn(double angleDeg) : c(std::cos(angleDeg * kDeg)), s(std::sin(angleDeg * kDeg)) {}
};

// Fraction of a unit Gaussian's light between a and b (in sigmas).
double GaussianShare(double a, double b) {
    constexpr double kRootHalf = 0.7071067811865476;
    return 0.5 * (std::erf(b * kRootHalf) - std::erf(a * kRootHalf));
}

}  // namespace

double SkyViewGeometry::radiusDeg() const {
    return 0.5 * std::hypot(widthDeg(), heightDeg());
}

std::optional<StandardCoordinates> Gnomonic(double ra0, double dec0, double ra, double dec,
                                            double minCos) {
    const double cosc =
        std::sin(dec0) * std::sin(dec) + std::cos(dec0) * std::cos(dec) * std::cos(ra - ra0);
    if (cosc <= minCos) return std::nullopt;
    return StandardCoordinates{
        std::cos(dec) * std::sin(ra - ra0) / cosc,
        (std::cos(dec0) * std::sin(dec) - std::sin(dec0) * std::cos(dec) * std::cos(ra - ra0)) /
            cosc};
}

PixelPosition ProjectStar(const SkyViewGeometry& g, double raDeg, double decDeg) {
    PixelPosition p;
    // A star this close to 90 degrees off the centre would land far outside
    // any grid.
    const auto standard =
        Gnomonic(g.centreRaDeg * kDeg, g.centreDecDeg * kDeg, raDeg * kDeg, decDeg * kDeg, 1e-6);
    if (!standard) return p;
    const double xi = standard->xi, eta = standard->eta;
    // Turned by the position angle, then east to the left.
    const Turn t(g.positionAngleDeg);
    const double north = eta * t.c + xi * t.s;
    const double east = -eta * t.s + xi * t.c;
    const double perPixel = g.arcsecPerPixel / 3600.0 * kDeg;
    p.x = 0.5 * (g.width - 1) - east / perPixel;
    p.y = 0.5 * (g.height - 1) + north / perPixel;
    p.inFront = true;
    return p;
}

void PixelToSky(const SkyViewGeometry& g, double x, double y, double& raDeg, double& decDeg) {
    const double perPixel = g.arcsecPerPixel / 3600.0 * kDeg;
    const double east = -(x - 0.5 * (g.width - 1)) * perPixel;
    const double north = (y - 0.5 * (g.height - 1)) * perPixel;
    const Turn t(g.positionAngleDeg);
    const double xi = east * t.c + north * t.s;
    const double eta = -east * t.s + north * t.c;
    const double a0 = g.centreRaDeg * kDeg, d0 = g.centreDecDeg * kDeg;
    const double denom = std::cos(d0) - eta * std::sin(d0);
    const double a = a0 + std::atan2(xi, denom);
    const double d = std::atan2(std::sin(d0) + eta * std::cos(d0), std::hypot(xi, denom));
    raDeg = std::fmod(a / kDeg + 360.0, 360.0);
    decDeg = d / kDeg;
}

std::vector<float> DrawStars(const SkyViewGeometry& g, const std::vector<CatalogueStar>& stars,
                             const StarLight& light, double seconds) {
    std::vector<float> image(size_t(std::max(g.width, 0)) * size_t(std::max(g.height, 0)), 0.0f);
    if (image.empty()) return image;
    const double sigma =
        std::max(light.seeingFwhmArcsec / 2.3548200450309493 / g.arcsecPerPixel, 0.05);
    const int reach = int(std::ceil(5.0 * sigma)) + 1;
    std::vector<double> shareX(size_t(2 * reach + 1)), shareY(size_t(2 * reach + 1));
    for (const CatalogueStar& s : stars) {
        const PixelPosition p = ProjectStar(g, s.raDeg, s.decDeg);
        if (!p.inFront) continue;
        if (p.x < -reach || p.y < -reach || p.x > g.width + reach || p.y > g.height + reach)
            continue;
        const double electrons =
            light.zeroPointElectronsPerSec * std::pow(10.0, -0.4 * s.mag) * seconds;
        const int x0 = int(std::lround(p.x)), y0 = int(std::lround(p.y));
        // The Gaussian separates: the share of each column times that of
        // each row, each integrated over the pixel's width.
        for (int k = -reach; k <= reach; ++k) {
            shareX[size_t(k + reach)] =
                GaussianShare((x0 + k - 0.5 - p.x) / sigma, (x0 + k + 0.5 - p.x) / sigma);
            shareY[size_t(k + reach)] =
                GaussianShare((y0 + k - 0.5 - p.y) / sigma, (y0 + k + 0.5 - p.y) / sigma);
        }
        for (int j = -reach; j <= reach; ++j) {
            const int y = y0 + j;
            if (y < 0 || y >= g.height) continue;
            const double row = electrons * shareY[size_t(j + reach)];
            float* line = image.data() + size_t(y) * size_t(g.width);
            for (int i = -reach; i <= reach; ++i) {
                const int x = x0 + i;
                if (x < 0 || x >= g.width) continue;
                line[x] += float(row * shareX[size_t(i + reach)]);
            }
        }
    }
    return image;
}

std::vector<uint16_t> ReadOut(const std::vector<float>& electrons, double arcsecPerPixel,
                              const Exposure& e) {
    std::mt19937_64 random(e.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double sky = e.skyElectronsPerSecPerArcsec2 * arcsecPerPixel * arcsecPerPixel * e.seconds;
    std::vector<uint16_t> out(electrons.size());
    for (size_t i = 0; i < electrons.size(); ++i) {
        const double mean = std::max(0.0, double(electrons[i]) + sky);
        // Photon noise: Poisson, through its normal limit beyond a few
        // dozen electrons, where the two agree to well below the read noise.
        double got;
        if (mean < 30.0) {
            std::poisson_distribution<long> poisson(mean);
            got = double(poisson(random));
        } else {
            got = mean + std::sqrt(mean) * gauss(random);
        }
        got = std::min(got, e.fullWellElectrons);
        const double adu =
            e.biasAdu + (got + e.readNoiseElectrons * gauss(random)) / e.gainElectronsPerAdu;
        out[i] = uint16_t(std::clamp(std::lround(adu), 0L, 65535L));
    }
    return out;
}

}  // namespace celaris::camera
