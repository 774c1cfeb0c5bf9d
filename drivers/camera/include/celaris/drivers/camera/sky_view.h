// What a telescope shows of the sky: stars of a catalogue drawn onto a
// pixel grid through the gnomonic (tangent-plane) projection with a
// Gaussian star image of the seeing's width, and, for a camera, the sky
// background and the noise of a real exposure. Plain buffers and the
// standard library only, so an eyepiece view can draw from the same code.
//
// Orientation: with position angle 0, north is towards +y (row index up)
// and east towards -x, the sky as seen through a telescope without a
// diagonal. The position angle is that of the +y direction on the sky,
// from north through east: at 90 degrees east is up and north to the right.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "celaris/drivers/camera/star_catalogue.h"

namespace celaris::camera {

// Standard coordinates on the plane tangent to the sky at a centre,
// radians: xi towards the east, eta towards the north.
struct StandardCoordinates {
    double xi = 0.0;
    double eta = 0.0;
};

// The gnomonic projection of (ra, dec) about (ra0, dec0), radians; nothing
// unless the cosine of the position's distance from the centre exceeds
// minCos (0: in front of the tangent plane).
std::optional<StandardCoordinates> Gnomonic(double ra0, double dec0, double ra, double dec,
                                            double minCos);

struct SkyViewGeometry {
    double centreRaDeg = 0.0;  // of the centre of the grid, same frame as the stars
    double centreDecDeg = 0.0;
    int width = 0;   // pixels
    int height = 0;  // pixels
    double arcsecPerPixel = 1.0;
    double positionAngleDeg = 0.0;
    // The grid's size on the sky, degrees.
    double widthDeg() const { return width * arcsecPerPixel / 3600.0; }
    double heightDeg() const { return height * arcsecPerPixel / 3600.0; }
    // The radius of the circle round the centre that holds the whole grid.
    double radiusDeg() const;
};

// Where a star falls: pixel coordinates with (0, 0) the centre of the
// first pixel; nothing behind the tangent plane.
struct PixelPosition {
    double x = 0.0;
    double y = 0.0;
    bool inFront = false;
};
PixelPosition ProjectStar(const SkyViewGeometry& g, double raDeg, double decDeg);
// The inverse: the sky position (degrees) at a pixel position.
void PixelToSky(const SkyViewGeometry& g, double x, double y, double& raDeg, double& decDeg);

struct StarLight {
    double seeingFwhmArcsec = 2.5;
    // Electrons a second from a star of magnitude 0 (aperture, optics and
    // quantum efficiency together).
    double zeroPointElectronsPerSec = 1.0e7;
};

// The light of the stars alone, electrons per pixel for `seconds`, row 0 at
// the bottom; each star's light is integrated over the pixels it covers.
std::vector<float> DrawStars(const SkyViewGeometry& g, const std::vector<CatalogueStar>& stars,
                             const StarLight& light, double seconds);

struct Exposure {
    double seconds = 1.0;
    double skyElectronsPerSecPerArcsec2 = 0.5;
    double readNoiseElectrons = 8.0;
    double gainElectronsPerAdu = 1.0;
    double biasAdu = 500.0;
    double fullWellElectrons = 60000.0;
    uint64_t seed = 1;
};

// A camera's reading of the light: sky background added, photon (Poisson)
// and read (Gaussian) noise drawn from the seed, converted to ADU with the
// bias, clipped to the full well and to 16 bits.
std::vector<uint16_t> ReadOut(const std::vector<float>& electrons, double arcsecPerPixel,
                              const Exposure& exposure);

}  // namespace celaris::camera
