// The simulated camera through the Camera interface: linking, binning, the
// filter wheel, exposures on the simulator's clock, abort, and the FITS
// file it saves, read back with cfitsio.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <numeric>

#include <fitsio.h>
#include "camera_rig.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/camera/camera_choice.h"

#include "celaris/drivers/camera/fits_image.h"
#include "error_of.h"

namespace celaris::camera {
namespace {

using test::CameraRig;
using test::ErrorOf;

// Sum of the pixels less the bias and sky level, the starlight.
double StarLightIn(const QString& path, double level) {
    fitsfile* f = nullptr;
    int status = 0;
    long axes[2] = {0, 0};
    fits_open_image(&f, path.toLocal8Bit().constData(), READONLY, &status);
    fits_get_img_size(f, 2, axes, &status);
    std::vector<uint16_t> px(size_t(axes[0] * axes[1]));
    fits_read_img(f, TUSHORT, 1, LONGLONG(px.size()), nullptr, px.data(), nullptr, &status);
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0);
    double sum = 0;
    for (uint16_t v : px) sum += v - level;
    return sum;
}

TEST(SimulatedCamera, RefusesEverythingButLinkingUntilLinked) {
    CameraRig rig;
    Camera& c = rig.camera;
    EXPECT_FALSE(c.Linked());
    EXPECT_EQ(ErrorOf([&] { c.BinX(); }).number(), ascom_error::kNotConnected);
    EXPECT_EQ(ErrorOf([&] { c.StartExposure(1.0, true, 0); }).number(), ascom_error::kNotConnected);
    c.SetLinked(true);
    EXPECT_TRUE(c.Linked());
    EXPECT_EQ(c.MaxBinX(), 4);
    EXPECT_EQ(c.MaxBinY(), 4);
    EXPECT_DOUBLE_EQ(c.PixelSizeX(), 9.0);
    EXPECT_TRUE(c.HasFilterWheel());
    EXPECT_EQ(c.FilterNames().size(), 4);
    EXPECT_EQ(c.FilterNames().front(), QStringLiteral("Luminance"));
}

TEST(SimulatedCamera, BinningAndFilterStayWithinTheCamerasLimits) {
    CameraRig rig;
    Camera& c = rig.camera;
    c.SetLinked(true);
    c.SetBinX(2);
    c.SetBinY(3);
    EXPECT_EQ(c.BinX(), 2);
    EXPECT_EQ(c.BinY(), 3);
    for (int bad : {0, 5, -1}) {
        EXPECT_EQ(ErrorOf([&] { c.SetBinX(bad); }).number(), ascom_error::kInvalidValue);
        EXPECT_EQ(ErrorOf([&] { c.SetBinY(bad); }).number(), ascom_error::kInvalidValue);
    }
    EXPECT_EQ(c.BinX(), 2);
    c.SetFilter(3);
    EXPECT_EQ(c.Filter(), 3);
    EXPECT_EQ(ErrorOf([&] { c.SetFilter(4); }).number(), ascom_error::kInvalidValue);
    // The exposure's filter argument moves the wheel.
    ASSERT_TRUE(c.StartExposure(0.5, true, 1));
    EXPECT_EQ(c.Filter(), 1);
    EXPECT_EQ(ErrorOf([&] { c.StartExposure(0.5, true, 9); }).number(),
              ascom_error::kInvalidOperation);  // still exposing
}

TEST(SimulatedCamera, AnExposureEndsOnTheSimulatorsClockAndSavesABinnedFitsImage) {
    CameraRig rig;
    Camera& c = rig.camera;
    c.SetLinked(true);
    rig.PointAt(5.6, 22.0);
    c.SetBinX(2);
    c.SetBinY(2);
    ASSERT_TRUE(c.StartExposure(3.0, true, 0));
    const SkyPointing truth = rig.mount->TruePointing();
    rig.clock->Advance(2.9);
    EXPECT_FALSE(c.ImageReady());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("temp.fit"));
    EXPECT_EQ(ErrorOf([&] { c.SaveImage(path); }).number(), kCameraFailure);
    rig.Finish(0.1);
    ASSERT_TRUE(c.ImageReady());
    c.PrepareImage();
    c.SaveImage(path);
    const auto summary = ReadFitsSummary(path);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->width, 160);
    EXPECT_EQ(summary->height, 120);
    EXPECT_EQ(summary->bitpix, 16);
    EXPECT_EQ(ReadFitsKeyword(path, "EXPTIME")->toDouble(), 3.0);
    EXPECT_EQ(ReadFitsKeyword(path, "XBINNING")->toInt(), 2);
    EXPECT_EQ(ReadFitsKeyword(path, "XPIXSZ")->toDouble(), 18.0);
    EXPECT_EQ(ReadFitsKeyword(path, "FOCALLEN")->toDouble(), 500.0);
    EXPECT_EQ(*ReadFitsKeyword(path, "DATE-OBS"),
              truth.utc.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")));
    // The image centre is where the tube really pointed, not the report.
    EXPECT_NEAR(rig.camera.lastCentreJ2000().raHours, truth.raHours, 1e-9);
    EXPECT_NEAR(rig.camera.lastCentreJ2000().decDeg, truth.decDeg, 1e-9);
    EXPECT_GT(std::abs(truth.decDeg - 22.0), 10.0 / 3600.0);
}

TEST(SimulatedCamera, LightGrowsWithTheExposureAndCloudsOrADarkFrameHideTheStars) {
    QTemporaryDir dir;
    auto expose = [&](SimulatedCameraOptions o, double seconds, bool light, const char* name) {
        CameraRig rig(o);
        rig.camera.SetLinked(true);
        rig.PointAt(5.6, 22.0);  // the Crab's field, with stars of V 8 to 12
        EXPECT_TRUE(rig.camera.StartExposure(seconds, light, 0));
        rig.Finish(seconds);
        const QString path = dir.filePath(QString::fromLatin1(name));
        rig.camera.SaveImage(path);
        const double sky = light ? o.skyElectronsPerSecPerArcsec2 * o.arcsecPerPixel() *
                                       o.arcsecPerPixel() * seconds
                                 : 0.0;
        return StarLightIn(path, o.biasAdu + sky / o.gainElectronsPerAdu);
    };
    SimulatedCameraOptions o = CameraRig::Small();
    o.seed = 3;
    o.widthPx = 1280;
    o.heightPx = 960;
    // Bright stars and a deep well, so the starlight stands far above the
    // noise summed over a million pixels.
    // The read noise of an ADU keeps the rounding to whole ADU unbiased.
    o.zeroPointElectronsPerSec = 1.0e8;
    o.fullWellElectrons = 1.0e12;
    o.gainElectronsPerAdu = 20.0;
    o.readNoiseElectrons = 20.0;
    const double one = expose(o, 1.0, true, "one.fit");
    const double four = expose(o, 4.0, true, "four.fit");
    EXPECT_GT(one, 1.0e4);
    EXPECT_NEAR(four / one, 4.0, 0.4);
    EXPECT_LT(std::abs(expose(o, 4.0, false, "dark.fit")), 0.05 * four);
    o.clouds = true;
    EXPECT_LT(std::abs(expose(o, 4.0, true, "clouds.fit")), 0.05 * four);
}

TEST(SimulatedCamera, AbortLeavesNoImageAndAnotherExposureCanStart) {
    CameraRig rig;
    Camera& c = rig.camera;
    c.SetLinked(true);
    ASSERT_TRUE(c.StartExposure(10.0, true, 0));
    c.AbortExposure();
    rig.clock->Advance(20.0);
    EXPECT_FALSE(c.ImageReady());
    ASSERT_TRUE(c.StartExposure(0.0, true, 0));
    rig.Finish(0.0);
    EXPECT_TRUE(c.ImageReady());
}

TEST(SimulatedCamera, AMissingCatalogueIsNamedWithThePackageToInstall) {
    SimulatedCameraOptions o = CameraRig::Small();
    o.catalogPath = QStringLiteral("/nonexistent/catalogue");
    CameraRig rig(o);
    rig.camera.SetLinked(true);
    const auto e = ErrorOf([&] { rig.camera.StartExposure(1.0, true, 0); });
    EXPECT_TRUE(e.description().contains(QStringLiteral("/nonexistent/catalogue")));
    EXPECT_TRUE(e.description().contains(QStringLiteral("astrometry-data-tycho2-10-19")));
}

TEST(CameraChoice, TheSimulatedCameraIsTheDefaultOnlyOnTheSimulatedMount) {
    profile::Settings s;
    s.Scope = QStringLiteral("Celaris.Simulator");
    EXPECT_EQ(CameraIdFor(s), QStringLiteral("Celaris.SimulatedCamera"));
    s.Camera = QStringLiteral(" indi:127.0.0.1:7624/CCD Simulator ");
    EXPECT_EQ(CameraIdFor(s), QStringLiteral("indi:127.0.0.1:7624/CCD Simulator"));
    s.Camera.clear();
    s.Scope = QStringLiteral("alpaca:192.168.1.20:11111/0");
    EXPECT_TRUE(CameraIdFor(s).isEmpty());

    CameraContext context;  // no mount
    EXPECT_TRUE(ErrorOf([&] { CreateCamera(QStringLiteral("Celaris.SimulatedCamera"), context); })
                    .description()
                    .contains(QStringLiteral("Celaris.Simulator")));
    EXPECT_EQ(ErrorOf([&] { CreateCamera(QStringLiteral("webcam"), context); }).number(),
              int32_t(0x80040154));
    EXPECT_EQ(ErrorOf([&] { CreateCamera(QString(), context); }).number(), int32_t(0x80040154));
}

}  // namespace
}  // namespace celaris::camera
