// The simulated camera, id "Celaris.SimulatedCamera": it sits on the
// simulated mount's tube and takes pictures of where the tube really
// points (SimulatedMount::TruePointing, with the mount's hidden errors), so
// a plate solve of its images measures the mount as on a real telescope.
//
// Stars come from the astrometry.net index files in the catalogue folder
// (star_catalogue.h), drawn by sky_view.h with seeing, sky background,
// photon and read noise (seeded: the n-th exposure of a camera with the same
// seed is the same image), binned pixels and light in proportion to the
// exposure time. "Clouds" leave only the sky and the noise.
//
// An exposure is drawn on a thread of its own while it runs; ImageReady is
// true once the simulator's clock has passed its end and the drawing is
// done. One caller thread at a time.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "celaris/drivers/camera/camera.h"
#include "celaris/drivers/simulator/simulator_clock.h"

namespace celaris {
class SimulatedMount;
struct SkyPointing;
}  // namespace celaris

namespace celaris::camera {

inline constexpr char kSimulatedCameraId[] = "Celaris.SimulatedCamera";

struct SimulatedCameraOptions {
    // Sensor, unbinned.
    int widthPx = 1280;
    int heightPx = 960;
    double pixelSizeUm = 9.0;
    int maxBin = 4;
    // The optics the camera sits behind (millimetres): with the defaults
    // 3.71 arc seconds a pixel, a field of 1.3 x 1.0 degrees.
    double focalLengthMm = 500.0;
    // Turn of the camera on the tube: north towards east, degrees.
    double positionAngleDeg = 0.0;

    // Sky and sensor.
    double seeingFwhmArcsec = 3.0;
    double zeroPointElectronsPerSec = 1.0e7;
    double skyElectronsPerSecPerArcsec2 = 0.3;
    double readNoiseElectrons = 8.0;
    double gainElectronsPerAdu = 1.0;
    double biasAdu = 500.0;
    double fullWellElectrons = 60000.0;
    uint64_t seed = 1;
    bool clouds = false;

    // Stars fainter than this are not drawn.
    double faintestMag = 13.0;
    QString catalogPath = QStringLiteral("/usr/share/astrometry");
    // An empty list: no filter wheel.
    QStringList filters = {QStringLiteral("Luminance"), QStringLiteral("Red"),
                           QStringLiteral("Green"), QStringLiteral("Blue")};

    // The defaults changed by whichever of these is set and readable:
    // CELARIS_SIM_CAMERA_WIDTH, CELARIS_SIM_CAMERA_HEIGHT (pixels),
    // CELARIS_SIM_CAMERA_PIXEL_SIZE (micrometres),
    // CELARIS_SIM_CAMERA_FOCAL_LENGTH (millimetres),
    // CELARIS_SIM_CAMERA_ANGLE (degrees), CELARIS_SIM_SEEING (arc seconds),
    // CELARIS_SIM_SEED, CELARIS_SIM_CLOUDS (1 or 0),
    // CELARIS_SIM_CATALOG_PATH (folder of index files).
    static SimulatedCameraOptions FromEnvironment();

    double arcsecPerPixel() const { return 206.264806 * pixelSizeUm / focalLengthMm; }
};

// The true apparent place of date (right ascension hours, declination
// degrees) at an instant, as the J2000 mean place of the star catalogue.
struct RaDecHours {
    double raHours = 0.0;
    double decDeg = 0.0;
};
using ApparentToJ2000 = std::function<RaDecHours(RaDecHours apparent, const QDateTime& utc)>;

// The conversion of Celaris's pointing engine (libtrimcore, loaded through
// its class id). The engine reduces for the computer's clock, not `utc`:
// right for a simulator on real time (celaris-sim and the hub); a second of
// arc off after about five simulated days. Raises when the engine cannot
// be loaded.
ApparentToJ2000 EngineApparentToJ2000();

class SimulatedCamera : public Camera {
  public:
    // The camera takes its pictures of `mount`, which must outlive it, on
    // the mount's clock.
    SimulatedCamera(SimulatedMount& mount, std::shared_ptr<SimulatorClock> clock,
                    ApparentToJ2000 toJ2000, SimulatedCameraOptions options = {});
    ~SimulatedCamera() override;

    const SimulatedCameraOptions& options() const;
    // The image of the last exposure once it is ready (ImageReady), else
    // nothing; for serving it as an array.
    const struct CameraImage* readyImage();
    // The J2000 centre of the last exposure's image (where the tube really
    // pointed when it began), for checks of a plate solve.
    RaDecHours lastCentreJ2000() const;

    QString Description() const override;
    void SetLinked(bool linked) override;
    bool Linked() override;
    int MaxBinX() override;
    int MaxBinY() override;
    int BinX() override;
    void SetBinX(int bin) override;
    int BinY() override;
    void SetBinY(int bin) override;
    bool HasFilterWheel() override;
    QStringList FilterNames() override;
    int Filter() override;
    void SetFilter(int position) override;
    bool StartExposure(double seconds, bool lightFrame, int filter) override;
    void AbortExposure() override;
    bool ImageReady() override;
    void PrepareImage() override;
    double PixelSizeX() override;
    double PixelSizeY() override;
    void SaveImage(const QString& path) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace celaris::camera
