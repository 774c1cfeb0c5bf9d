// The reference star catalogue file "SitingStars02.csv": one star a line,
// six comma-separated fields, no header:
//   name (may be in double quotes), magnitude, RA (degrees, J2000),
//   Dec (degrees, J2000), RA motion, Dec motion (milliarcseconds a year;
//   the RA motion is the rate of right ascension itself, not taken on the
//   sky: databases/README.md).
// Decimals use a point.
#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "celaris/dispatch/com_error.h"

namespace celaris::catalogue {

// One line of the file, in the file's units.
struct CatalogueLine {
    QString name;
    double magnitude = 0.0;
    double raDeg = 0.0;
    double decDeg = 0.0;
    double pmRaMasPerYear = 0.0;
    double pmDecMasPerYear = 0.0;
};

// One line read, or why it is not a star (the text names the fault).
std::optional<CatalogueLine> ParseCatalogueLine(const QString& line, QString* why = nullptr);

struct CatalogueFile {
    QList<CatalogueLine> lines;  // every good line before the first fault
    // The fault that ended reading: the file cannot be opened (53), or a
    // line is not a star (13).
    std::optional<dispatch::ComError> error;
};

// Reads the whole file. Blank lines are passed over.
CatalogueFile ReadCatalogue(const QString& path);

}  // namespace celaris::catalogue
