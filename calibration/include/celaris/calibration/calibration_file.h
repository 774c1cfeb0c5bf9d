// The calibration file (".clb"): a count line, then one line per
// observation with eight comma-separated fields, CR LF line ends, numbers
// in the C locale with up to 15 significant digits. Reading and writing as
// pure functions; the store opens and saves through them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "celaris/calibration/observation.h"

namespace celaris::calibration {

// The file dialogs' filter and the extension they add.
inline constexpr char kCalibrationFilter[] = "Calibration (*.clb)| *.clb|All Files (*.*)|*.*";
inline constexpr char kCalibrationExtension[] = ".clb";

// Source of the file errors.
inline constexpr char kCalibrationFileSource[] = "Celaris calibration file";

// The whole file's bytes for the list (observations with and without Use,
// in list order).
QByteArray FormatCalibrationFile(const QList<Observation>& list);

// The observations of a file's bytes, residuals zero. Raises a ComError
// whose description names the line and, where it applies, the field of the
// first fault. An empty list (count 0) reads as an empty list.
QList<Observation> ParseCalibrationFile(const QByteArray& bytes);

// Reads a file; a file that cannot be opened raises with the reason.
QList<Observation> ReadCalibrationFile(const QString& path);

// Writes the file through a temporary file in the same folder renamed over
// the old one, so a failed save leaves the old file as it was. Raises with
// the reason on failure.
void WriteCalibrationFile(const QString& path, const QList<Observation>& list);

// A number as the file writes it: "." separator, up to 15 significant
// digits, an exponent form for very large or small magnitudes.
QByteArray FormatFileNumber(double value);

}  // namespace celaris::calibration
