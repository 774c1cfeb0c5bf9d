// frmHorizon "Horizon Editor": sixteen sliders and boxes, one per 22.5
// degrees of azimuth from north through east, over the horizon profile;
// and the reading of the horizon files other programs write.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <optional>

#include "celaris/hub/program.h"

namespace celaris::models {

class HorizonModel : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPoints = profile::kHorizonPoints;

    explicit HorizonModel(hub::Program& program, QObject* parent = nullptr);

    // Slider positions 0 (zenith, top) .. 90 (horizon); texts in degrees.
    std::array<int, kPoints> sldrHorizon{};
    std::array<QString, kPoints> txtHorizon;

    // Showing the editor: the controls from the profile.
    void Activate();
    // Mouse released on slider k.
    void SliderReleased(int k, int position);
    // Text k typed.
    void TextChanged(int k, const QString& text);
    void Reset();
    // OK: the profile from the texts (text that is not a number gives 0).
    void Ok();
    // Cancel: nothing changes.
    void Cancel() {}

    // Fills the boxes from a horizon file (the profile changes only on OK);
    // a message names what could not be read.
    std::optional<QString> Import(const QString& path);

  signals:
    void changed();

  private:
    hub::Program& program_;
};

struct HorizonPoint {
    double azDeg;
    double altDeg;
};

// Azimuth/altitude pairs from the text of a horizon file: N.I.N.A. / APCC
// .hrz and MountWizzard4 .hpts ("az alt" per line, or "az,alt"), and
// Stellarium's polygonal horizon.txt ("az alt" lines, with # comments).
// MountWizzard4's JSON form ([[az, alt], ...]) is read too.
std::optional<QList<HorizonPoint>> ParseHorizonFile(const QByteArray& text);
// The highest altitude of each of the sixteen 22.5-degree sectors centred
// on their azimuths, the outline between two points taken as a straight
// line; sectors with no point take the interpolated altitude.
std::array<double, profile::kHorizonPoints> SectorMaxima(const QList<HorizonPoint>& points);

}  // namespace celaris::models
