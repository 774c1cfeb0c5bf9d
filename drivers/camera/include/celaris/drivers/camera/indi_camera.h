// A camera that is an INDI CCD device, id "indi:HOST:PORT/DEVICE" (or
// "indi:DEVICE" on localhost:7624), over the INDI client of drivers/indi.
//
// The operations map onto the standard CCD properties: CCD_BINNING (its
// defined maximum is the largest binning), CCD_INFO (pixel size),
// CCD_FRAME_TYPE, CCD_EXPOSURE, CCD_ABORT_EXPOSURE and the image BLOB CCD1,
// which the client asks the server for (enableBLOB). The image is ready once
// that BLOB has arrived after the exposure started; it is saved as the
// device sent it (plain FITS only), with DATE-OBS, EXPTIME, XBINNING and
// XPIXSZ added when the device left them out.
//
// The filter wheel: the configured wheel device; else the device the CCD
// snoops for its filter (ACTIVE_DEVICES.ACTIVE_FILTER) when the server
// offers FILTER_SLOT there; else the CCD device's own FILTER_SLOT. Slots
// count from 1 in INDI and from 0 here.
//
// Errors: a lost or unreachable server and a missing or unconnectable
// device raise NotConnected (0x80040407); a refused command InvalidValue or
// InvalidOperation with the device's own message; no answer in time or a
// failed exposure 0x80040500. Each description says what to do about it.
#pragma once

#include <chrono>
#include <memory>

#include "celaris/drivers/camera/camera.h"
#include "celaris/drivers/indi/indi_telescope.h"

namespace celaris::camera {

struct IndiCameraOptions {
    // The filter wheel's device; empty: found as above.
    QString wheelDevice;
    // Reaching the server and the device's definitions.
    std::chrono::milliseconds connectTimeout{5000};
    // The device's CONNECTION going Ok.
    std::chrono::milliseconds deviceTimeout{30000};
    // The device's answer to a setting (binning, frame type, the exposure).
    std::chrono::milliseconds commandTimeout{5000};
    // A filter wheel's move.
    std::chrono::milliseconds wheelTimeout{60000};
};

class IndiCamera : public Camera {
  public:
    explicit IndiCamera(indi::IndiAddress address, IndiCameraOptions options = {});
    ~IndiCamera() override;

    // The filter wheel's device in use once linked; empty without a wheel.
    QString WheelDevice() const;
    // The connection to the server; null before the first link.
    const indi::IndiClient* client() const;

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
