// Rules every window shares: keeping a window on the screen, the night
// colours, the altitude and azimuth of the main window's rows, and the
// display formats of positions.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace celaris::models {

// Twips per pixel at 96 dots per inch: window places in the settings are
// kept in twips.
inline constexpr int kTwipsPerPixel = 15;

struct TwipRect {
    int top = 0, left = 0, height = 0, width = 0;
    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

// Moves a window (twips) back onto a screen of the given size (pixels): a
// negative top or left becomes 0, a window reaching past the bottom or the
// right edge moves up or left until it fits.
TwipRect KeepOnScreen(TwipRect window, int screenWidthPx, int screenHeightPx);

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// In night mode every drawing colour is a red of the mean brightness.
Rgb NightColour(int r, int g, int b, bool nightMode);

struct AltAzDeg {
    double altDeg;
    double azDeg;  // from north through east, 0..360
};

// Local mean sidereal time (hours, 0..24) for a UTC instant and a longitude
// (degrees, east positive), by the Julian day of the Gregorian calendar.
double LocalSiderealHours(const QDateTime& utc, double longitudeDeg);

// The altitude and azimuth of (RA hours, Dec degrees) at a latitude
// (degrees) for a local sidereal time (hours).
AltAzDeg RaDecToAltAz(double raHours, double decDeg, double latitudeDeg, double lstHours);

// The main window's display formats.
QString FormatRA(double hours);   // 12:34:56.7
QString FormatDec(double deg);    // +45° 30' 12"
QString FormatAltAz(double deg);  // 45° 30'
QString FormatLST(double hours);  // 12:34:56

// "##0.000" style: fixed decimals, no grouping, "." as the point.
QString FormatFixed(double value, int decimals);

// A file dialog's filter, given either as "Text|*.a|Text|*.b" pairs or as
// Qt's "Text (*.a);;Text (*.b)", as Qt's name filters: each text with its
// patterns in brackets, "*.*" meaning every file.
QStringList FileDialogFilters(const QString& filter);
// The extension a dialog adds to a typed name without one: that of the
// first filter's first pattern ("clb"), or none.
QString FileDialogSuffix(const QString& filter);
// The folder "Catalog Path" chose, as the catalogue path is kept: ending
// in "/", never in two.
QString CatalogFolderPath(const QString& chosen);

}  // namespace celaris::models
