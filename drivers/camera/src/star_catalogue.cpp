#include "celaris/drivers/camera/star_catalogue.h"

#include <fitsio.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cmath>

#include "celaris/drivers/camera/camera.h"
#include "celaris/units/angles.h"

namespace celaris::camera {

namespace {

std::optional<IndexFile> ReadIndexHeader(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    fitsfile* f = nullptr;
    int status = 0;
    IndexFile file{path, 0.0, 0.0, 0};
    fits_open_file(&f, name.constData(), READONLY, &status);
    fits_read_key(f, TDOUBLE, "SCALE_L", &file.quadMinRad, nullptr, &status);
    fits_read_key(f, TDOUBLE, "SCALE_U", &file.quadMaxRad, nullptr, &status);
    int ignored = 0;
    fits_read_key(f, TINT, "INDEXID", &file.indexId, nullptr, &ignored);
    int closed = 0;
    if (f != nullptr) fits_close_file(f, &closed);
    if (status != 0 || file.quadMaxRad <= 0.0) return std::nullopt;
    return file;
}

// Angular distance in degrees.
double SeparationDeg(double ra1, double dec1, double ra2, double dec2) {
    const double d = units::kDegreesToRadians;
    const double s = std::sin(dec1 * d) * std::sin(dec2 * d) +
                     std::cos(dec1 * d) * std::cos(dec2 * d) * std::cos((ra1 - ra2) * d);
    return std::acos(std::clamp(s, -1.0, 1.0)) * units::kRadiansToDegrees;
}

}  // namespace

std::vector<IndexFile> FindIndexFiles(const QString& folder) {
    std::vector<IndexFile> files;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("index-*.fits"), QStringLiteral("index-*.fit")},
                       QDir::Files | QDir::Readable, QDir::Name)) {
        if (auto f = ReadIndexHeader(dir.filePath(name))) files.push_back(*f);
    }
    std::sort(files.begin(), files.end(),
              [](const IndexFile& a, const IndexFile& b) { return a.quadMaxRad < b.quadMaxRad; });
    return files;
}

std::vector<IndexFile> IndexFilesForField(const std::vector<IndexFile>& files, double widthDeg,
                                          double heightDeg) {
    // astrometry.net's own rule of thumb: quads from a tenth of the smaller
    // side up to the diagonal.
    const double d = units::kDegreesToRadians;
    const double smallest = 0.1 * std::min(widthDeg, heightDeg) * d;
    const double largest = std::hypot(widthDeg, heightDeg) * d;
    std::vector<IndexFile> out;
    for (const IndexFile& f : files)
        if (f.quadMaxRad >= smallest && f.quadMinRad <= largest) out.push_back(f);
    return out;
}

std::vector<CatalogueStar> ParseQueryOutput(const QByteArray& text) {
    std::vector<CatalogueStar> stars;
    int magColumn = -1;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty()) continue;
        if (line.startsWith('#')) {
            // "# RA, Dec, MAG_VT": the first tag-along column named MAG* is
            // the magnitude.
            const QList<QByteArray> names = line.mid(1).split(',');
            for (int i = 2; i < names.size(); ++i)
                if (names[i].trimmed().toUpper().startsWith("MAG")) {
                    magColumn = i;
                    break;
                }
            continue;
        }
        const QList<QByteArray> cols = line.split(',');
        if (cols.size() < 2) continue;
        bool okRa = false, okDec = false;
        CatalogueStar s;
        s.raDeg = cols[0].trimmed().toDouble(&okRa);
        s.decDeg = cols[1].trimmed().toDouble(&okDec);
        if (!okRa || !okDec) continue;
        if (magColumn >= 0 && magColumn < cols.size()) {
            bool okMag = false;
            const double mag = cols[magColumn].trimmed().toDouble(&okMag);
            if (okMag && std::isfinite(mag)) s.mag = mag;
        }
        stars.push_back(s);
    }
    return stars;
}

std::vector<CatalogueStar> QueryStars(const std::vector<IndexFile>& files,
                                      const CatalogueQuery& query, const QString& source,
                                      const std::atomic<bool>* cancel) {
    std::vector<CatalogueStar> all;
    for (const IndexFile& file : files) {
        if (cancel != nullptr && cancel->load()) break;
        QProcess p;
        p.setProgram(QStringLiteral("query-starkd"));
        p.setArguments({QStringLiteral("-r"), QString::number(query.raDeg, 'f', 8),
                        QStringLiteral("-d"), QString::number(query.decDeg, 'f', 8),
                        QStringLiteral("-R"), QString::number(query.radiusDeg, 'f', 8),
                        QStringLiteral("-T"), file.path});
        p.start();
        if (!p.waitForStarted(5000))
            dispatch::Raise(kCameraFailure, source,
                            QStringLiteral("Cannot run query-starkd to read the star catalogue "
                                           "(%1). Install the Debian package astrometry.net.")
                                .arg(p.errorString()));
        // Waits in slices so that a cancel ends a query at once.
        QElapsedTimer waited;
        waited.start();
        bool done = false;
        while (!done) {
            done = p.waitForFinished(50);
            if (done) break;
            if ((cancel != nullptr && cancel->load()) || waited.elapsed() > 20000) {
                p.kill();
                p.waitForFinished(1000);
                break;
            }
        }
        if (!done || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) continue;
        std::vector<CatalogueStar> stars = ParseQueryOutput(p.readAllStandardOutput());
        all.insert(all.end(), stars.begin(), stars.end());
    }
    if (query.faintestMag)
        std::erase_if(all, [&](const CatalogueStar& s) { return s.mag > *query.faintestMag; });
    std::sort(all.begin(), all.end(),
              [](const CatalogueStar& a, const CatalogueStar& b) { return a.mag < b.mag; });
    // The same star from two files lies within a fraction of an arc second.
    std::vector<CatalogueStar> unique;
    for (const CatalogueStar& s : all) {
        const bool seen = std::any_of(unique.begin(), unique.end(), [&](const CatalogueStar& u) {
            return std::abs(u.decDeg - s.decDeg) < 1e-3 &&
                   SeparationDeg(u.raDeg, u.decDeg, s.raDeg, s.decDeg) < 1.0 / 3600.0;
        });
        if (!seen) unique.push_back(s);
    }
    return unique;
}

}  // namespace celaris::camera
