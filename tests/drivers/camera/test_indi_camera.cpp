// The INDI camera against Debian's indi_simulator_ccd (with the filter
// wheel simulator beside it) under a test indiserver: linking, binning, the
// sensor, the filter wheels, real exposures of a fraction of a second, the
// saved FITS file read back with cfitsio, abort, compressed images and a
// lost server. One server serves the suite; the crash test has its own.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <thread>

#include <fitsio.h>
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/camera/camera_choice.h"
#include "celaris/drivers/camera/fits_image.h"
#include "celaris/drivers/camera/indi_camera.h"
#include "celaris/drivers/indi/indi_server.h"
#include "error_of.h"

namespace celaris::camera {
namespace {

using namespace std::chrono_literals;
using test::ErrorOf;

const QString kCcd = QStringLiteral("CCD Simulator");
const QString kWheel = QStringLiteral("Filter Simulator");

CameraContext WithIndi(const IndiCameraOptions& options) {
    CameraContext context;
    context.indi = options;
    return context;
}

bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return pred();
}

// indiserver with the CCD and wheel simulators under a fresh HOME, and a
// client of its own to change what Celaris leaves alone.
class SimulatorServer {
  public:
    static std::unique_ptr<SimulatorServer> Start() {
        for (const char* program : {"indiserver", "indi_simulator_ccd", "indi_simulator_wheel"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
                ADD_FAILURE() << program
                              << " is not installed: install Debian's indi-bin "
                                 "(scripts/install-deps).";
                return nullptr;
            }
        return std::unique_ptr<SimulatorServer>(new SimulatorServer);
    }

    QString Id() const { return QStringLiteral("indi:127.0.0.1:%1/%2").arg(port()).arg(kCcd); }
    int port() const { return server_->port(); }
    void Crash() { server_->Stop(); }

    std::unique_ptr<IndiCamera> Camera(IndiCameraOptions options = {}) const {
        options.connectTimeout = std::min<std::chrono::milliseconds>(options.connectTimeout, 5s);
        options.deviceTimeout = 10s;
        options.commandTimeout = 5s;
        options.wheelTimeout = 10s;
        auto camera = std::unique_ptr<IndiCamera>(
            dynamic_cast<IndiCamera*>(CreateCamera(Id(), WithIndi(options)).release()));
        EXPECT_NE(camera, nullptr);
        return camera;
    }

    // Switches an element of the CCD on, as another client, and waits until
    // the camera has heard of it too.
    void SwitchOn(const char* name, const char* element, const IndiCamera& camera) {
        tuner_->SendSwitches(kCcd, QString::fromLatin1(name),
                             {{QString::fromLatin1(element), true}});
        camera.client()->WaitUntil(
            indi::IndiClient::Clock::now() + 5s, [&](const indi::CacheView& v) {
                const indi::Property* p = v.Find(kCcd, QString::fromLatin1(name));
                return p != nullptr && p->IsOn(QString::fromLatin1(element));
            });
    }
    // The device the CCD snoops for its filter.
    void SnoopWheel(const QString& wheel) {
        const QString name = QStringLiteral("ACTIVE_DEVICES");
        tuner_->SendTexts(kCcd, name, {{QStringLiteral("ACTIVE_FILTER"), wheel}});
        tuner_->WaitUntil(indi::IndiClient::Clock::now() + 5s, [&](const indi::CacheView& v) {
            const indi::Property* p = v.Find(kCcd, name);
            return p != nullptr && p->Text(QStringLiteral("ACTIVE_FILTER")) == wheel;
        });
    }
    std::optional<indi::Property> Find(const QString& device, const char* name) const {
        return tuner_->Find(device, QString::fromLatin1(name));
    }

  private:
    SimulatorServer() {
        indi::IndiServerOptions o;
        o.drivers = {QStringLiteral("indi_simulator_ccd"), QStringLiteral("indi_simulator_wheel")};
        o.home = home_.path();
        server_ = indi::IndiServer::Start(o, QStringLiteral("test"));
        tuner_ = std::make_unique<indi::IndiClient>(QStringLiteral("127.0.0.1"), port());
        EXPECT_TRUE(tuner_->Open(5s, nullptr));
        tuner_->GetProperties();
        // indiserver starts its drivers in their own time (slowly on a busy
        // machine): the tests begin once both have defined themselves.
        tuner_->WaitUntil(indi::IndiClient::Clock::now() + 30s, [](const indi::CacheView& v) {
            const QString connection = QStringLiteral("CONNECTION");
            return v.Find(kCcd, connection) != nullptr && v.Find(kWheel, connection) != nullptr;
        });
    }

    QTemporaryDir home_;
    std::unique_ptr<indi::IndiServer> server_;
    std::unique_ptr<indi::IndiClient> tuner_;
};

class IndiCameraTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = SimulatorServer::Start(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { ASSERT_NE(server_, nullptr); }

    static std::unique_ptr<SimulatorServer> server_;
    QTemporaryDir dir_;
};
std::unique_ptr<SimulatorServer> IndiCameraTest::server_;

TEST_F(IndiCameraTest, LinksAndServesBinningTheSensorAndTheCamerasOwnWheel) {
    auto c = server_->Camera();
    EXPECT_FALSE(c->Linked());
    EXPECT_EQ(ErrorOf([&] { c->BinX(); }).number(), ascom_error::kNotConnected);
    c->SetLinked(true);
    EXPECT_TRUE(c->Linked());
    EXPECT_EQ(c->MaxBinX(), 4);
    EXPECT_EQ(c->MaxBinY(), 4);
    EXPECT_NEAR(c->PixelSizeX(), 5.2, 1e-4);
    EXPECT_NEAR(c->PixelSizeY(), 5.2, 1e-4);

    c->SetBinX(2);
    c->SetBinY(4);
    EXPECT_EQ(c->BinX(), 2);
    EXPECT_EQ(c->BinY(), 4);
    // The simulator bins 1, 2 or 4: its refusal comes with its reason.
    const auto refused = ErrorOf([&] { c->SetBinX(3); });
    EXPECT_EQ(refused.number(), ascom_error::kInvalidValue);
    EXPECT_TRUE(refused.description().contains(QStringLiteral("not supported")))
        << refused.description().toStdString();
    for (int bad : {0, 5}) {
        EXPECT_EQ(ErrorOf([&] { c->SetBinX(bad); }).number(), ascom_error::kInvalidValue);
        EXPECT_EQ(ErrorOf([&] { c->SetBinY(bad); }).number(), ascom_error::kInvalidValue);
    }
    EXPECT_EQ(c->BinX(), 2);
    c->SetBinY(1);

    // The CCD simulator is its own wheel: INDI's slot 3 is filter 2 here.
    ASSERT_TRUE(c->HasFilterWheel());
    EXPECT_EQ(c->WheelDevice(), kCcd);
    const QStringList names = c->FilterNames();
    ASSERT_EQ(names.size(), 8);
    EXPECT_EQ(names.front(), QStringLiteral("Red"));
    c->SetFilter(2);
    EXPECT_EQ(c->Filter(), 2);
    EXPECT_TRUE(Eventually([&] {
        return server_->Find(kCcd, "FILTER_SLOT")->Number(QStringLiteral("FILTER_SLOT_VALUE")) ==
               3.0;
    }));
    EXPECT_EQ(ErrorOf([&] { c->SetFilter(8); }).number(), ascom_error::kInvalidValue);
    c->SetFilter(0);

    // Unlinking leaves the device connected for its other clients.
    c->SetLinked(false);
    EXPECT_FALSE(c->Linked());
    EXPECT_TRUE(server_->Find(kCcd, "CONNECTION")->IsOn(QStringLiteral("CONNECT")));
}

TEST_F(IndiCameraTest, AnExposureArrivesAndIsSavedAsABinnedFitsFile) {
    auto c = server_->Camera();
    c->SetLinked(true);
    const QString path = dir_.filePath(QStringLiteral("image.fits"));
    EXPECT_EQ(ErrorOf([&] { c->SaveImage(path); }).number(), kCameraFailure);

    c->SetBinX(2);
    c->SetBinY(2);
    ASSERT_TRUE(c->StartExposure(0.3, true, 1));
    EXPECT_FALSE(c->ImageReady());
    EXPECT_EQ(c->Filter(), 1);
    // An exposure under way is not replaced by another.
    EXPECT_EQ(ErrorOf([&] { c->StartExposure(0.3, true, 1); }).number(),
              ascom_error::kInvalidOperation);
    ASSERT_TRUE(Eventually([&] { return c->ImageReady(); }));
    c->PrepareImage();
    c->SaveImage(path);

    const auto fits = ReadFitsSummary(path);
    ASSERT_TRUE(fits.has_value());
    EXPECT_EQ(fits->width, 640);
    EXPECT_EQ(fits->height, 512);
    EXPECT_EQ(fits->bitpix, 16);
    EXPECT_DOUBLE_EQ(ReadFitsKeyword(path, "EXPTIME").value_or(QString()).toDouble(), 0.3);
    EXPECT_EQ(ReadFitsKeyword(path, "XBINNING"), QStringLiteral("2"));
    EXPECT_NEAR(ReadFitsKeyword(path, "XPIXSZ").value_or(QString()).toDouble(), 10.4, 1e-3);
    EXPECT_TRUE(ReadFitsKeyword(path, "DATE-OBS").has_value());
    EXPECT_EQ(ReadFitsKeyword(path, "FILTER"), QStringLiteral("Green"));
    c->SetBinX(1);
    c->SetBinY(1);
    c->SetFilter(0);
}

TEST_F(IndiCameraTest, AnAbortedExposureLeavesNoImageAndTheCameraReady) {
    auto c = server_->Camera();
    c->SetLinked(true);
    c->SetBinX(4);
    c->SetBinY(4);
    ASSERT_TRUE(c->StartExposure(5.0, true, 0));
    std::this_thread::sleep_for(200ms);
    c->AbortExposure();
    // Seen by another client, a moment later.
    EXPECT_TRUE(Eventually(
        [&] { return server_->Find(kCcd, "CCD_EXPOSURE")->state != indi::PropertyState::Busy; }));
    EXPECT_FALSE(c->ImageReady());
    EXPECT_EQ(ErrorOf([&] { c->SaveImage(dir_.filePath(QStringLiteral("none.fits"))); }).number(),
              kCameraFailure);
    // Aborting with nothing under way is harmless, and the next exposure
    // delivers.
    c->AbortExposure();
    // A zero-second dark is taken at the device's shortest exposure.
    ASSERT_TRUE(c->StartExposure(0.0, false, 0));
    ASSERT_TRUE(Eventually([&] { return c->ImageReady(); }));
    const QString path = dir_.filePath(QStringLiteral("dark.fits"));
    c->SaveImage(path);
    EXPECT_EQ(ReadFitsSummary(path)->width, 320);
    EXPECT_EQ(ReadFitsKeyword(path, "IMAGETYP"), QStringLiteral("Dark Frame"));
    EXPECT_NEAR(ReadFitsKeyword(path, "EXPTIME").value_or(QString()).toDouble(), 0.01, 1e-6);
    c->SetBinX(1);
    c->SetBinY(1);
}

TEST_F(IndiCameraTest, CompressedImagesAreRefusedWithWhatToDo) {
    auto c = server_->Camera();
    c->SetLinked(true);
    c->SetBinX(4);
    c->SetBinY(4);
    // Switched on before the exposure: refused before exposing.
    server_->SwitchOn("CCD_COMPRESSION", "INDI_ENABLED", *c);
    const auto before = ErrorOf([&] { c->StartExposure(0.1, true, 0); });
    EXPECT_EQ(before.number(), ascom_error::kInvalidOperation);
    EXPECT_TRUE(before.description().contains(QStringLiteral("CCD_COMPRESSION")));
    // Switched on during the exposure: the image arrives as .fits.z and is
    // not saved.
    server_->SwitchOn("CCD_COMPRESSION", "INDI_DISABLED", *c);
    ASSERT_TRUE(c->StartExposure(0.5, true, 0));
    server_->SwitchOn("CCD_COMPRESSION", "INDI_ENABLED", *c);
    ASSERT_TRUE(Eventually([&] { return c->ImageReady(); }));
    const QString path = dir_.filePath(QStringLiteral("z.fits"));
    const auto saved = ErrorOf([&] { c->SaveImage(path); });
    server_->SwitchOn("CCD_COMPRESSION", "INDI_DISABLED", *c);
    EXPECT_EQ(saved.number(), kCameraFailure);
    EXPECT_TRUE(saved.description().contains(QStringLiteral("compressed")))
        << saved.description().toStdString();
    EXPECT_FALSE(QFile::exists(path));
    c->SetBinX(1);
    c->SetBinY(1);
}

TEST_F(IndiCameraTest, AWheelOfItsOwnIsFoundByTheSnoopedNameOrByConfiguration) {
    server_->SnoopWheel(kWheel);
    auto snooping = server_->Camera();
    snooping->SetLinked(true);
    server_->SnoopWheel(kCcd);
    EXPECT_EQ(snooping->WheelDevice(), kWheel);
    // Celaris connected the wheel; the wheel simulator has five slots.
    ASSERT_TRUE(Eventually([&] {
        const auto names = server_->Find(kWheel, "FILTER_NAME");
        return server_->Find(kWheel, "CONNECTION")->IsOn(QStringLiteral("CONNECT")) &&
               names.has_value();
    }));
    EXPECT_EQ(snooping->FilterNames().size(),
              server_->Find(kWheel, "FILTER_NAME")->elements.size());
    snooping->SetFilter(1);
    EXPECT_TRUE(Eventually([&] {
        return server_->Find(kWheel, "FILTER_SLOT")->Number(QStringLiteral("FILTER_SLOT_VALUE")) ==
               2.0;
    }));
    snooping->SetFilter(0);

    // A configured wheel the server does not have.
    IndiCameraOptions configured;
    configured.wheelDevice = QStringLiteral("No Such Wheel");
    configured.connectTimeout = 1s;
    auto wrong = server_->Camera(configured);
    const auto e = ErrorOf([&] { wrong->SetLinked(true); });
    EXPECT_EQ(e.number(), ascom_error::kNotConnected);
    EXPECT_TRUE(e.description().contains(QStringLiteral("No Such Wheel")));
    EXPECT_FALSE(wrong->Linked());
}

TEST(IndiCamera, IdsAndUnreachableServersAndDevicesSayWhatToDo) {
    EXPECT_EQ(ErrorOf([] { CreateCamera(QStringLiteral("indi:"), {}); }).number(),
              int32_t(0x80040154));
    EXPECT_EQ(CreateCamera(QStringLiteral("indi:CCD Simulator"), {})->Description(),
              QStringLiteral("INDI camera \"CCD Simulator\" at localhost:7624"));

    IndiCameraOptions quick;
    quick.connectTimeout = 1s;
    auto nobody =
        CreateCamera(QStringLiteral("indi:127.0.0.1:%1/CCD Simulator").arg(indi::FreeLocalPort()),
                     WithIndi(quick));
    const auto e = ErrorOf([&] { nobody->SetLinked(true); });
    EXPECT_EQ(e.number(), ascom_error::kNotConnected);
    EXPECT_TRUE(e.description().contains(QStringLiteral("start indiserver")));
    EXPECT_FALSE(nobody->Linked());
}

TEST(IndiCamera, ALostServerRaisesNotConnectedAndSaysToLinkAgain) {
    auto server = SimulatorServer::Start();
    ASSERT_NE(server, nullptr);
    IndiCameraOptions quick;
    quick.connectTimeout = 1s;
    auto wrongDevice = CreateCamera(QStringLiteral("indi:127.0.0.1:%1/Nothing").arg(server->port()),
                                    WithIndi(quick));
    const auto missing = ErrorOf([&] { wrongDevice->SetLinked(true); });
    EXPECT_EQ(missing.number(), ascom_error::kNotConnected);
    EXPECT_TRUE(missing.description().contains(kCcd)) << missing.description().toStdString();

    auto c = server->Camera();
    c->SetLinked(true);
    ASSERT_TRUE(c->StartExposure(5.0, true, 0));
    server->Crash();
    ASSERT_TRUE(Eventually([&] { return !c->Linked(); }));
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { c->ImageReady(); }, [&] { c->BinX(); }, [&] { c->AbortExposure(); }}) {
        const auto e = ErrorOf(call);
        EXPECT_EQ(e.number(), ascom_error::kNotConnected);
        EXPECT_TRUE(e.description().contains(QStringLiteral("Lost the connection")));
        EXPECT_TRUE(e.description().contains(QStringLiteral("link the camera again")));
    }
}

// A device that leaves keywords out gets them from what Celaris knows; what
// the device wrote stays.
TEST(IndiCamera, MissingFitsKeywordsAreAddedAndPresentOnesKept) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bare.fits"));
    {
        fitsfile* f = nullptr;
        int status = 0;
        long axes[2] = {4, 3};
        int bin = 3;
        std::vector<uint16_t> pixels(12, 100);
        fits_create_file(&f, path.toLocal8Bit().constData(), &status);
        fits_create_img(f, USHORT_IMG, 2, axes, &status);
        fits_update_key(f, TINT, "XBINNING", &bin, nullptr, &status);
        fits_write_img(f, TUSHORT, 1, 12, pixels.data(), &status);
        fits_close_file(f, &status);
        ASSERT_EQ(status, 0);
    }
    CameraImage known;
    known.dateObs = QDateTime(QDate(2024, 3, 20), QTime(1, 2, 3), Qt::UTC);
    known.exposureSeconds = 2.5;
    known.binX = 2;
    known.binY = 2;
    known.pixelSizeXUm = 3.8;
    AddMissingFitsKeywords(path, known, QStringLiteral("test"));
    EXPECT_EQ(ReadFitsKeyword(path, "XBINNING"), QStringLiteral("3"));
    EXPECT_EQ(ReadFitsKeyword(path, "YBINNING"), QStringLiteral("2"));
    EXPECT_DOUBLE_EQ(ReadFitsKeyword(path, "EXPTIME")->toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(ReadFitsKeyword(path, "XPIXSZ")->toDouble(), 7.6);
    EXPECT_FALSE(ReadFitsKeyword(path, "YPIXSZ").has_value());
    EXPECT_EQ(ReadFitsKeyword(path, "DATE-OBS"), QStringLiteral("2024-03-20T01:02:03.000"));
    EXPECT_EQ(ReadFitsSummary(path)->width, 4);
}

}  // namespace
}  // namespace celaris::camera
