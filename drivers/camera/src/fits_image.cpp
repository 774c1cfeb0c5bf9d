#include "celaris/drivers/camera/fits_image.h"

#include <fitsio.h>

#include <QByteArray>
#include <QFile>
#include <QSaveFile>

#include "celaris/drivers/camera/camera.h"

namespace celaris::camera {

namespace {

QString FitsReason(int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return QString::fromLatin1(text);
}

[[noreturn]] void CannotWrite(const QString& source, const QString& path, const QString& why) {
    dispatch::Raise(kCameraFailure, source,
                    QStringLiteral("Cannot write the image to %1: %2.").arg(path, why));
}

// Closes the file on every path out; the status of the close is not
// wanted once an earlier call failed.
struct FitsFile {
    fitsfile* f = nullptr;
    ~FitsFile() {
        int ignored = 0;
        if (f != nullptr) fits_close_file(f, &ignored);
    }
    int Close() {
        int status = 0;
        fits_close_file(f, &status);
        f = nullptr;
        return status;
    }
};

}  // namespace

void WriteFits(const CameraImage& image, const QString& path, const QString& source) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != size_t(image.width) * size_t(image.height))
        CannotWrite(source, path, QStringLiteral("there is no image"));
    // A leading '!' makes cfitsio replace an existing file.
    const QByteArray name = ("!" + path).toLocal8Bit();
    FitsFile file;
    int status = 0;
    fits_create_file(&file.f, name.constData(), &status);
    long axes[2] = {image.width, image.height};
    fits_create_img(file.f, USHORT_IMG, 2, axes, &status);
    auto putDouble = [&](const char* key, double v, const char* comment) {
        fits_update_key(file.f, TDOUBLE, key, &v, comment, &status);
    };
    auto putInt = [&](const char* key, int v, const char* comment) {
        fits_update_key(file.f, TINT, key, &v, comment, &status);
    };
    auto putText = [&](const char* key, const QString& v, const char* comment) {
        QByteArray text = v.toLatin1();
        fits_update_key(file.f, TSTRING, key, text.data(), comment, &status);
    };
    if (image.dateObs.isValid())
        putText("DATE-OBS",
                image.dateObs.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")),
                "UTC start of exposure");
    putDouble("EXPTIME", image.exposureSeconds, "exposure time, seconds");
    putDouble("EXPOSURE", image.exposureSeconds, "exposure time, seconds");
    putInt("XBINNING", image.binX, "binning along X");
    putInt("YBINNING", image.binY, "binning along Y");
    if (image.pixelSizeXUm)
        putDouble("XPIXSZ", *image.pixelSizeXUm * image.binX, "pixel width, um");
    if (image.pixelSizeYUm)
        putDouble("YPIXSZ", *image.pixelSizeYUm * image.binY, "pixel height, um");
    if (image.focalLengthMm) putDouble("FOCALLEN", *image.focalLengthMm, "focal length, mm");
    putText("IMAGETYP",
            image.lightFrame ? QStringLiteral("Light Frame") : QStringLiteral("Dark Frame"),
            "frame type");
    if (!image.filter.isEmpty()) putText("FILTER", image.filter, "filter in the beam");
    if (!image.camera.isEmpty()) putText("INSTRUME", image.camera, "camera");
    fits_write_img(file.f, TUSHORT, 1, LONGLONG(image.pixels.size()),
                   const_cast<uint16_t*>(image.pixels.data()), &status);
    if (status != 0) CannotWrite(source, path, FitsReason(status));
    if (const int closed = file.Close(); closed != 0) CannotWrite(source, path, FitsReason(closed));
}

void WriteFitsBytes(const QByteArray& fits, const QString& path, const QString& source) {
    // Checked in memory first, so a broken image never replaces a file.
    {
        void* memory = const_cast<char*>(fits.constData());
        size_t size = size_t(fits.size());
        FitsFile file;
        int status = 0;
        int dims = 0;
        fits_open_memfile(&file.f, "image", READONLY, &memory, &size, 0, nullptr, &status);
        fits_get_img_dim(file.f, &dims, &status);
        if (status != 0 || dims != 2)
            CannotWrite(
                source, path,
                status != 0
                    ? QStringLiteral("the camera's data is not FITS (%1)").arg(FitsReason(status))
                    : QStringLiteral("the camera's FITS file holds no 2-D image"));
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(fits) != fits.size() || !out.commit())
        CannotWrite(source, path, out.errorString());
}

void AddMissingFitsKeywords(const QString& path, const CameraImage& known, const QString& source) {
    const QByteArray name = path.toLocal8Bit();
    FitsFile file;
    int status = 0;
    fits_open_image(&file.f, name.constData(), READWRITE, &status);
    if (status != 0) CannotWrite(source, path, FitsReason(status));
    auto missing = [&](const char* key) {
        char card[FLEN_CARD] = {};
        int probe = 0;
        fits_read_card(file.f, key, card, &probe);
        return probe == KEY_NO_EXIST;
    };
    auto putDouble = [&](const char* key, double v, const char* comment) {
        if (missing(key)) fits_update_key(file.f, TDOUBLE, key, &v, comment, &status);
    };
    auto putInt = [&](const char* key, int v, const char* comment) {
        if (missing(key)) fits_update_key(file.f, TINT, key, &v, comment, &status);
    };
    if (known.dateObs.isValid() && missing("DATE-OBS")) {
        QByteArray text =
            known.dateObs.toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")).toLatin1();
        fits_update_key(file.f, TSTRING, "DATE-OBS", text.data(), "UTC start of exposure", &status);
    }
    putDouble("EXPTIME", known.exposureSeconds, "exposure time, seconds");
    putInt("XBINNING", known.binX, "binning along X");
    putInt("YBINNING", known.binY, "binning along Y");
    if (known.pixelSizeXUm)
        putDouble("XPIXSZ", *known.pixelSizeXUm * known.binX, "pixel width, um");
    if (known.pixelSizeYUm)
        putDouble("YPIXSZ", *known.pixelSizeYUm * known.binY, "pixel height, um");
    if (known.focalLengthMm) putDouble("FOCALLEN", *known.focalLengthMm, "focal length, mm");
    if (status != 0) CannotWrite(source, path, FitsReason(status));
    if (const int closed = file.Close(); closed != 0) CannotWrite(source, path, FitsReason(closed));
}

std::optional<FitsSummary> ReadFitsSummary(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    FitsFile file;
    int status = 0;
    FitsSummary s;
    long axes[2] = {0, 0};
    int dims = 0;
    fits_open_image(&file.f, name.constData(), READONLY, &status);
    fits_get_img_param(file.f, 2, &s.bitpix, &dims, axes, &status);
    if (status != 0 || dims != 2) return std::nullopt;
    s.width = int(axes[0]);
    s.height = int(axes[1]);
    return s;
}

std::optional<QString> ReadFitsKeyword(const QString& path, const char* keyword) {
    const QByteArray name = path.toLocal8Bit();
    FitsFile file;
    int status = 0;
    char value[FLEN_VALUE] = {};
    fits_open_image(&file.f, name.constData(), READONLY, &status);
    fits_read_keyword(file.f, keyword, value, nullptr, &status);
    if (status != 0) return std::nullopt;
    QString text = QString::fromLatin1(value).trimmed();
    // String values come quoted.
    if (text.startsWith(QLatin1Char('\'')) && text.endsWith(QLatin1Char('\'')) && text.size() >= 2)
        text = text.mid(1, text.size() - 2).trimmed();
    return text;
}

}  // namespace celaris::camera
