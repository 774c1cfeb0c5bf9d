// A camera that is an Alpaca device, id "alpaca:HOST:PORT/N": each
// operation is a request to /api/v1/camera/N/<member>. The image comes as
// `imagearray`, asked for as application/imagebytes and read as JSON when
// the device answers that way, and is written to FITS with DATE-OBS,
// EXPTIME, XBINNING/YBINNING and XPIXSZ/YPIXSZ. Alpaca cameras have no
// filter wheel of their own (that is a separate device).
//
// Errors: the device's Alpaca error n as 0x80040000 + n with its message;
// a device that cannot be reached or answers something else than Alpaca
// as 0x80040500. Time-outs: 3 s to connect, 10 s a call, 120 s an image.
#pragma once

#include <memory>

#include "celaris/drivers/camera/camera.h"
#include "celaris/drivers_list/installed_drivers.h"

namespace celaris::camera {

class AlpacaCamera : public Camera {
  public:
    explicit AlpacaCamera(drivers_list::AlpacaAddress address);
    ~AlpacaCamera() override;

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
