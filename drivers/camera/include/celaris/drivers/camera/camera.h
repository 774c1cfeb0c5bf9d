// A camera as the automatic calibration uses it: the operations of the
// camera-control application's object, each named for what it does, with
// the dispatch id it stands for. Every failure is a ComError whose source
// names the camera.
//
// Dispatch ids 33 and 34 (Booleans set before exposing) have no meaning
// here and no member; the rest map one to one.
//
// One thread at a time; nothing here waits for an exposure: StartExposure
// returns at once and ImageReady says when the image can be saved.
#pragma once

#include <QString>
#include <QStringList>

#include "celaris/dispatch/com_error.h"

namespace celaris::camera {

using dispatch::ComError;

// A camera's own failure (no image, a file that cannot be written, a
// device that does not answer): the first driver-specific number.
inline constexpr int32_t kCameraFailure = static_cast<int32_t>(0x80040500);

class Camera {
  public:
    virtual ~Camera() = default;

    // What the camera is, for status texts and errors ("Celaris camera
    // simulator", "INDI camera CCD Simulator at 127.0.0.1:7624").
    virtual QString Description() const = 0;

    // 10: link to the camera. Linking opens the connection to the device;
    // reading says whether it is open now.
    virtual void SetLinked(bool linked) = 0;
    virtual bool Linked() = 0;

    // 13, 14: the largest binning along X and Y.
    virtual int MaxBinX() = 0;
    virtual int MaxBinY() = 0;
    // 4, 5: the binning along X and Y of the next exposure (1 to the
    // largest; outside: InvalidValue 0x80040401).
    virtual int BinX() = 0;
    virtual void SetBinX(int bin) = 0;
    virtual int BinY() = 0;
    virtual void SetBinY(int bin) = 0;

    // 25: a filter wheel is attached.
    virtual bool HasFilterWheel() = 0;
    // 59: the filters' names, position 0 first.
    virtual QStringList FilterNames() = 0;
    // 63: the filter in the beam, from 0.
    virtual int Filter() = 0;
    virtual void SetFilter(int position) = 0;

    // 40: starts an exposure of `seconds` through filter `filter` (ignored
    // without a wheel), a light frame or a dark one; true when it started.
    // A refusal the device explains raises instead.
    virtual bool StartExposure(double seconds, bool lightFrame, int filter) = 0;
    // 38: ends the exposure under way; nothing is kept of it.
    virtual void AbortExposure() = 0;
    // 19: the last exposure has ended and its image has arrived.
    virtual bool ImageReady() = 0;
    // 48: calibrates the image before saving (dark, flat). The cameras here
    // deliver images as they are, so this only checks that one is there.
    virtual void PrepareImage() = 0;

    // 23, 24: pixel width and height, micrometres (unbinned).
    virtual double PixelSizeX() = 0;
    virtual double PixelSizeY() = 0;

    // 32 then 10: writes the current image to `path` as a FITS file (16-bit
    // integers, with DATE-OBS, EXPTIME, XBINNING/YBINNING, XPIXSZ/YPIXSZ and
    // FOCALLEN when known), replacing the file.
    virtual void SaveImage(const QString& path) = 0;
};

}  // namespace celaris::camera
