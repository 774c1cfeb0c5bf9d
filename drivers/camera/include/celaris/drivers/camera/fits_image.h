// A camera image in memory and as a FITS file (cfitsio): 16-bit unsigned
// pixels, row 0 at the bottom as FITS stores them, with the keywords a
// plate solver or an image viewer looks for.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace celaris::camera {

struct CameraImage {
    int width = 0;   // pixels (binned)
    int height = 0;  // pixels (binned)
    // width x height values, row by row from the bottom row.
    std::vector<uint16_t> pixels;

    // What the header says about the exposure; unknown values are left out.
    QDateTime dateObs;  // UTC start of the exposure
    double exposureSeconds = 0.0;
    int binX = 1;
    int binY = 1;
    std::optional<double> pixelSizeXUm;  // unbinned
    std::optional<double> pixelSizeYUm;
    std::optional<double> focalLengthMm;
    QString filter;
    QString camera;  // INSTRUME
    bool lightFrame = true;

    uint16_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// Writes the image to path, replacing any file there; raises a ComError of
// `source` with cfitsio's reason when it cannot.
void WriteFits(const CameraImage& image, const QString& path, const QString& source);

// Writes the bytes of a FITS file (an image as a device sent it) to path,
// replacing any file there, after checking that cfitsio reads it as an
// image; raises a ComError of `source` otherwise.
void WriteFitsBytes(const QByteArray& fits, const QString& path, const QString& source);

// Adds to the primary header of the FITS file at path what `known` says and
// the header lacks: DATE-OBS, EXPTIME, XBINNING/YBINNING, XPIXSZ/YPIXSZ
// (binned) and FOCALLEN; keywords already there stay as the device wrote
// them. Raises a ComError of `source` with cfitsio's reason when it cannot.
void AddMissingFitsKeywords(const QString& path, const CameraImage& known, const QString& source);

// The size of the primary image of a FITS file and one keyword's value as
// text, for checks; nothing when the file or keyword cannot be read.
struct FitsSummary {
    int width = 0;
    int height = 0;
    int bitpix = 0;
};
std::optional<FitsSummary> ReadFitsSummary(const QString& path);
std::optional<QString> ReadFitsKeyword(const QString& path, const char* keyword);

}  // namespace celaris::camera
