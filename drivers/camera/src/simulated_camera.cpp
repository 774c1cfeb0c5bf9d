#include "celaris/drivers/camera/simulated_camera.h"

#include <QtGlobal>

#include <atomic>
#include <cmath>
#include <future>
#include <mutex>

#include "celaris/com/loader.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/camera/fits_image.h"
#include "celaris/drivers/camera/sky_view.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/units/angles.h"
#include "trimcore/isvd.h"

namespace celaris::camera {

namespace {

const QString kSource = QStringLiteral("Celaris camera simulator");

bool ReadNumber(const char* name, double& out) {
    if (!qEnvironmentVariableIsSet(name)) return false;
    bool ok = false;
    const double v = qEnvironmentVariable(name).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    out = v;
    return true;
}

// Light through each filter of the simulated wheel, as a share of the
// clear (luminance) filter's.
double FilterShare(int position) {
    return position <= 0 ? 1.0 : 0.4;
}

struct Drawn {
    CameraImage image;
    RaDecHours centre;
};

}  // namespace

SimulatedCameraOptions SimulatedCameraOptions::FromEnvironment() {
    SimulatedCameraOptions o;
    double v = 0.0;
    if (ReadNumber("CELARIS_SIM_CAMERA_WIDTH", v) && v >= 16 && v <= 16384) o.widthPx = int(v);
    if (ReadNumber("CELARIS_SIM_CAMERA_HEIGHT", v) && v >= 16 && v <= 16384) o.heightPx = int(v);
    if (ReadNumber("CELARIS_SIM_CAMERA_PIXEL_SIZE", v) && v > 0.0) o.pixelSizeUm = v;
    if (ReadNumber("CELARIS_SIM_CAMERA_FOCAL_LENGTH", v) && v > 0.0) o.focalLengthMm = v;
    if (ReadNumber("CELARIS_SIM_CAMERA_ANGLE", v)) o.positionAngleDeg = v;
    if (ReadNumber("CELARIS_SIM_SEEING", v) && v > 0.0) o.seeingFwhmArcsec = v;
    if (ReadNumber("CELARIS_SIM_SEED", v) && v >= 0.0) o.seed = uint64_t(v);
    if (ReadNumber("CELARIS_SIM_CLOUDS", v)) o.clouds = v != 0.0;
    if (qEnvironmentVariableIsSet("CELARIS_SIM_CATALOG_PATH"))
        o.catalogPath = qEnvironmentVariable("CELARIS_SIM_CATALOG_PATH");
    return o;
}

ApparentToJ2000 EngineApparentToJ2000() {
    ISVD* raw = nullptr;
    const HRESULT hr = com::CreateInstance(CLSID_SVD, IID_ISVD, reinterpret_cast<void**>(&raw));
    if (FAILED(hr) || raw == nullptr)
        dispatch::Raise(hr, kSource,
                        QStringLiteral("The camera simulator needs the pointing engine "
                                       "(libtrimcore.so) to place its stars; it could not be "
                                       "created (error 0x%1).")
                            .arg(uint32_t(hr), 8, 16, QLatin1Char('0')));
    std::shared_ptr<ISVD> engine(raw, [](ISVD* e) { e->Release(); });
    return [engine](RaDecHours apparent, const QDateTime&) {
        double ra2k = 0.0, dec2k = 0.0;
        const HRESULT r =
            engine->ApparentToJ2k(apparent.raHours * units::kHoursToRadians,
                                  apparent.decDeg * units::kDegreesToRadians, &ra2k, &dec2k);
        if (FAILED(r))
            dispatch::Raise(r, kSource,
                            QStringLiteral("The pointing engine failed in ApparentToJ2k."));
        double hours = std::fmod(ra2k * units::kRadiansToHours, 24.0);
        if (hours < 0.0) hours += 24.0;
        return RaDecHours{hours, dec2k * units::kRadiansToDegrees};
    };
}

struct SimulatedCamera::Impl {
    SimulatedMount& mount;
    std::shared_ptr<SimulatorClock> clock;
    ApparentToJ2000 toJ2000;
    SimulatedCameraOptions o;

    bool linked = false;
    int binX = 1;
    int binY = 1;
    int filter = 0;
    uint64_t exposures = 0;

    // The exposure under way or the last one.
    bool exposing = false;
    double endUnix = 0.0;
    std::future<Drawn> drawing;
    std::shared_ptr<std::atomic<bool>> cancel;
    std::optional<Drawn> last;

    Impl(SimulatedMount& m, std::shared_ptr<SimulatorClock> c, ApparentToJ2000 f,
         SimulatedCameraOptions opt)
        : mount(m), clock(std::move(c)), toJ2000(std::move(f)), o(std::move(opt)) {}

    ~Impl() { StopDrawing(); }

    void RequireLinked() const {
        if (!linked) ascom_error::NotConnected(kSource);
    }

    void StopDrawing() {
        if (cancel) cancel->store(true);
        if (drawing.valid()) {
            try {
                drawing.get();
            } catch (...) {
            }
        }
        cancel.reset();
    }

    // Collects the drawing once it is done; its failure goes to the caller.
    void Collect() {
        if (drawing.valid()) {
            last = drawing.get();
            cancel.reset();
        }
    }
};

SimulatedCamera::SimulatedCamera(SimulatedMount& mount, std::shared_ptr<SimulatorClock> clock,
                                 ApparentToJ2000 toJ2000, SimulatedCameraOptions options)
    : d_(std::make_unique<Impl>(mount, std::move(clock), std::move(toJ2000), std::move(options))) {}

SimulatedCamera::~SimulatedCamera() = default;

const SimulatedCameraOptions& SimulatedCamera::options() const {
    return d_->o;
}

RaDecHours SimulatedCamera::lastCentreJ2000() const {
    return d_->last ? d_->last->centre : RaDecHours{};
}

const CameraImage* SimulatedCamera::readyImage() {
    return ImageReady() ? &d_->last->image : nullptr;
}

QString SimulatedCamera::Description() const {
    return kSource;
}

void SimulatedCamera::SetLinked(bool linked) {
    if (!linked) d_->StopDrawing();
    d_->exposing = false;
    d_->linked = linked;
}

bool SimulatedCamera::Linked() {
    return d_->linked;
}

int SimulatedCamera::MaxBinX() {
    d_->RequireLinked();
    return d_->o.maxBin;
}

int SimulatedCamera::MaxBinY() {
    d_->RequireLinked();
    return d_->o.maxBin;
}

int SimulatedCamera::BinX() {
    d_->RequireLinked();
    return d_->binX;
}

int SimulatedCamera::BinY() {
    d_->RequireLinked();
    return d_->binY;
}

void SimulatedCamera::SetBinX(int bin) {
    d_->RequireLinked();
    if (bin < 1 || bin > d_->o.maxBin)
        ascom_error::InvalidValue(
            kSource, QStringLiteral("BinX %1 is outside 1 to %2").arg(bin).arg(d_->o.maxBin));
    d_->binX = bin;
}

void SimulatedCamera::SetBinY(int bin) {
    d_->RequireLinked();
    if (bin < 1 || bin > d_->o.maxBin)
        ascom_error::InvalidValue(
            kSource, QStringLiteral("BinY %1 is outside 1 to %2").arg(bin).arg(d_->o.maxBin));
    d_->binY = bin;
}

bool SimulatedCamera::HasFilterWheel() {
    d_->RequireLinked();
    return !d_->o.filters.isEmpty();
}

QStringList SimulatedCamera::FilterNames() {
    d_->RequireLinked();
    if (d_->o.filters.isEmpty())
        ascom_error::NotImplemented(kSource, QStringLiteral("FilterNames"));
    return d_->o.filters;
}

int SimulatedCamera::Filter() {
    d_->RequireLinked();
    return d_->filter;
}

void SimulatedCamera::SetFilter(int position) {
    d_->RequireLinked();
    if (position < 0 || position >= std::max<qsizetype>(1, d_->o.filters.size()))
        ascom_error::InvalidValue(
            kSource, QStringLiteral("Filter %1 is not a position of the wheel").arg(position));
    d_->filter = position;
}

bool SimulatedCamera::StartExposure(double seconds, bool lightFrame, int filter) {
    Impl& d = *d_;
    d.RequireLinked();
    if (!(seconds >= 0.0) || seconds > 3600.0)
        ascom_error::InvalidValue(
            kSource, QStringLiteral("Exposure of %1 s is outside 0 to 3600 s").arg(seconds));
    if (d.exposing && d.drawing.valid())
        ascom_error::InvalidOperation(kSource, QStringLiteral("An exposure is already under way"));
    if (!d.o.filters.isEmpty()) SetFilter(filter);

    std::vector<IndexFile> files;
    if (lightFrame && !d.o.clouds) {
        files = FindIndexFiles(d.o.catalogPath);
        if (files.empty())
            dispatch::Raise(kCameraFailure, kSource,
                            QStringLiteral("The camera simulator finds no star catalogue in %1: "
                                           "install the Debian package "
                                           "astrometry-data-tycho2-10-19 or set "
                                           "CELARIS_SIM_CATALOG_PATH.")
                                .arg(d.o.catalogPath));
    }

    // What the tube really sees at the start of the exposure; a tracking
    // mount holds it.
    const SkyPointing truth = d.mount.TruePointing();
    const RaDecHours centre = d.toJ2000({truth.raHours, truth.decDeg}, truth.utc);

    SkyViewGeometry g;
    g.centreRaDeg = centre.raHours * 15.0;
    g.centreDecDeg = centre.decDeg;
    g.width = d.o.widthPx / d.binX;
    g.height = d.o.heightPx / d.binY;
    // Square binning is drawn exactly; unequal binning takes the mean
    // scale (the simulator's pixels stay square).
    g.arcsecPerPixel = d.o.arcsecPerPixel() * 0.5 * (d.binX + d.binY);
    g.positionAngleDeg = d.o.positionAngleDeg;

    CameraImage header;
    header.width = g.width;
    header.height = g.height;
    header.dateObs = truth.utc;
    header.exposureSeconds = seconds;
    header.binX = d.binX;
    header.binY = d.binY;
    header.pixelSizeXUm = d.o.pixelSizeUm;
    header.pixelSizeYUm = d.o.pixelSizeUm;
    header.focalLengthMm = d.o.focalLengthMm;
    header.filter = d.o.filters.value(d.filter);
    header.camera = kSource;
    header.lightFrame = lightFrame;

    StarLight light;
    light.seeingFwhmArcsec = d.o.seeingFwhmArcsec;
    light.zeroPointElectronsPerSec = d.o.zeroPointElectronsPerSec * FilterShare(d.filter);
    Exposure e;
    e.seconds = seconds;
    e.skyElectronsPerSecPerArcsec2 = lightFrame ? d.o.skyElectronsPerSecPerArcsec2 : 0.0;
    e.readNoiseElectrons = d.o.readNoiseElectrons;
    e.gainElectronsPerAdu = d.o.gainElectronsPerAdu;
    e.biasAdu = d.o.biasAdu;
    e.fullWellElectrons = d.o.fullWellElectrons;
    e.seed = d.o.seed * 1000003u + d.exposures++;
    const double faintest = d.o.faintestMag;

    d.StopDrawing();
    d.last.reset();
    d.cancel = std::make_shared<std::atomic<bool>>(false);
    d.drawing = std::async(
        std::launch::async, [g, files, light, e, header, centre, faintest, cancel = d.cancel]() {
            std::vector<CatalogueStar> stars;
            if (!files.empty()) {
                CatalogueQuery q;
                q.raDeg = g.centreRaDeg;
                q.decDeg = g.centreDecDeg;
                q.radiusDeg = g.radiusDeg() * 1.05 + 0.02;
                q.faintestMag = faintest;
                stars = QueryStars(files, q, kSource, cancel.get());
            }
            Drawn out;
            out.centre = centre;
            out.image = header;
            out.image.pixels = ReadOut(DrawStars(g, stars, light, e.seconds), g.arcsecPerPixel, e);
            return out;
        });
    d.endUnix = d.clock->NowUnixSeconds() + seconds;
    d.exposing = true;
    return true;
}

void SimulatedCamera::AbortExposure() {
    d_->RequireLinked();
    d_->StopDrawing();
    d_->exposing = false;
    d_->last.reset();
}

bool SimulatedCamera::ImageReady() {
    Impl& d = *d_;
    d.RequireLinked();
    if (d.last) return true;
    if (!d.exposing || d.clock->NowUnixSeconds() < d.endUnix) return false;
    if (d.drawing.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    d.exposing = false;
    d.Collect();
    return true;
}

void SimulatedCamera::PrepareImage() {
    if (!ImageReady())
        dispatch::Raise(kCameraFailure, kSource, QStringLiteral("There is no image to prepare."));
}

double SimulatedCamera::PixelSizeX() {
    d_->RequireLinked();
    return d_->o.pixelSizeUm;
}

double SimulatedCamera::PixelSizeY() {
    d_->RequireLinked();
    return d_->o.pixelSizeUm;
}

void SimulatedCamera::SaveImage(const QString& path) {
    if (!ImageReady())
        dispatch::Raise(kCameraFailure, kSource,
                        QStringLiteral("There is no image to save: the exposure has not ended."));
    WriteFits(d_->last->image, path, kSource);
}

}  // namespace celaris::camera
