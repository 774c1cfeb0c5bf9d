// The stars of astrometry.net's index files (Debian: astrometry-data-tycho2-*,
// Tycho-2 with its VT magnitudes), read with astrometry.net's query-starkd.
// The simulated camera draws them and the plate solver counts them.
//
// Each index file holds a selection of the catalogue spread evenly over the
// sky (the brighter stars of each patch), so the union over the installed
// files is what can be drawn: with the 10-19 files, about 10 stars a square
// degree down to V 11-12; the files for smaller fields add many more.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

namespace celaris::camera {

struct CatalogueStar {
    double raDeg = 0.0;   // J2000
    double decDeg = 0.0;  // J2000
    double mag = 99.0;    // V (Tycho VT); 99 when the file has none
};

// One index file and the quad sizes it was built for (radians): it serves
// fields from about its smallest quad to about ten times its largest.
struct IndexFile {
    QString path;
    double quadMinRad = 0.0;
    double quadMaxRad = 0.0;
    int indexId = 0;
};

// The index files in a folder ("index-*.fits", also compressed ones are
// skipped), smallest quads first; empty when there are none or the folder
// cannot be read.
std::vector<IndexFile> FindIndexFiles(const QString& folder);

// The index files that can solve a field of this width and height
// (degrees): those whose quads fit in the field and are not far smaller.
std::vector<IndexFile> IndexFilesForField(const std::vector<IndexFile>& files, double widthDeg,
                                          double heightDeg);

struct CatalogueQuery {
    double raDeg = 0.0;
    double decDeg = 0.0;
    double radiusDeg = 1.0;
    // Only stars at most this faint (V); none: all.
    std::optional<double> faintestMag;
};

// The stars of the given files within the circle, each once (the files
// share stars), brightest first. Runs query-starkd once per file and
// waits for it (about 0.05 s each); a file it cannot read is passed over.
// `cancel` set from another thread stops between files and kills a running
// query. Raises a ComError of `source` when query-starkd cannot be run.
std::vector<CatalogueStar> QueryStars(const std::vector<IndexFile>& files,
                                      const CatalogueQuery& query, const QString& source,
                                      const std::atomic<bool>* cancel = nullptr);

// Parses query-starkd's text output ("# RA, Dec, MAG_VT" then one star a
// line); lines it cannot read are skipped.
std::vector<CatalogueStar> ParseQueryOutput(const QByteArray& text);

}  // namespace celaris::camera
