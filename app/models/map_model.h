// frmMap "Calibration Sky Map": the visible sky seen from below, zenith in
// the centre and horizon at the rim, north up and east left, with the
// mount's limits, the horizon profile, the pick-list stars, the
// observations, the telescope and the selections. A click selects the
// nearest star or observation, a double click slews to the selected star.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"
#include "drawing.h"
#include "observation_selection.h"

namespace celaris::models {

// A pick-list star as the map needs it (radians, in the mount's frame).
struct MapStar {
    QString name;
    double raRad = 0.0;
    double decRad = 0.0;
    double mag = 0.0;
    bool used = false;
};

// The star pick list, reached through functions so the map does not depend
// on the catalogue. Positions are 0-based places in the list.
struct MapStars {
    // The pick list in its order.
    std::function<QList<MapStar>()> list;
    // The place of cmbNearStars' selected line; -1 when none.
    std::function<int()> selected;
    // A click picked the entry at this place: select its cmbNearStars line
    // (it becomes the current star).
    std::function<void(int)> select;
    // A double click: slew to the current star, the entry at this place.
    std::function<void(int)> slew;
};

// Everything one drawing reads.
struct MapSky {
    double latitudeRad = 0.0;
    double siderealAngle = 0.0;  // radians
    double decLimitRad = 1.570796327;
    double altLimitRad = 1.570796327;
    std::array<double, 16> horizonRad{};
    double correctedRAHours = 0.0;
    double correctedDecDeg = 0.0;
    const QList<MapStar>* stars = nullptr;
    int selectedStar = -1;  // 0-based place, -1 none
    const QList<calibration::Observation>* observations = nullptr;
    const QList<bool>* outliers = nullptr;  // per record, may be shorter
    int selectedObservation = 0;            // 1-based, 0 none
    bool night = false;
};

// The centre, the horizon's radius and the pixels per radian of zenith
// distance of a box.
struct MapFrame {
    double cx = 0.0, cy = 0.0, R = 0.0, k = 0.0;
};
MapFrame FrameOf(QSize box);
// Where altitude and azimuth (radians, azimuth from north through east)
// fall, as 16-bit pixels.
PixelPos ProjectAltAz(const MapFrame& f, double altRad, double azRad);

// One of the four lblAzScale captions with the corner of its box that
// touches the rim.
struct AzLabel {
    QString text;
    QPointF corner;
    Anchor anchor = Anchor::TopLeft;
};

struct MapPicture {
    Drawing drawing;
    // MapPositions: observation i at index -i, pick-list entry k at +k
    // (both 1-based) are kept as observations[i - 1] and stars[k - 1].
    std::vector<PixelPos> observations;
    std::vector<PixelPos> stars;
    std::array<AzLabel, 4> azLabels;
    Rgb labelColour;

    PixelPos MapPositions(int index) const {
        return index < 0 ? observations.at(static_cast<size_t>(-index - 1))
                         : stars.at(static_cast<size_t>(index - 1));
    }
};

// Builds the map into out (its buffers are reused). With no observation
// and no star nothing is drawn, out is left as it was and the result is
// false.
bool DrawMap(const MapSky& sky, QSize box, MapPicture& out);

class MapModel : public QObject {
    Q_OBJECT
  public:
    MapModel(hub::Program& program, calibration::CalibrationStore& store,
             ObservationSelection& selection, QObject* parent = nullptr);

    // No drawing is in progress.
    bool MapReady = true;

    void SetStars(MapStars stars) { stars_ = std::move(stars); }
    const MapStars& stars() const { return stars_; }
    // Whether the main window is shown (clicks pick stars only then).
    void SetMainVisible(std::function<bool()> fn) { mainVisible_ = std::move(fn); }

    void SetSize(QSize box);
    void SetNightMode(bool night);
    // Shown (redraws) or hidden; hidden, the map is not redrawn.
    void SetVisible(bool visible);
    bool visible() const { return visible_; }
    // The window was activated: ready again, and redrawn.
    void Activate();

    // Redraws the map (emits drawn()); false when there was nothing to draw.
    bool MapData();
    // Redraws when the window is shown.
    void RedrawIfVisible();
    const MapPicture& picture() const { return picture_; }
    // The inputs of the next drawing, from the hub, the settings, the store
    // and the pick list.
    MapSky Sky(QList<MapStar>& stars);

    // Mouse button pressed at point.
    void Click(QPoint point);
    // Double click: slews to the current star unless the mount is busy.
    void DoubleClick();
    // The star or observation under point: its name and what it is.
    QString HoverText(QPoint point) const;

  signals:
    void drawn();

  private:
    hub::Program& program_;
    calibration::CalibrationStore& store_;
    ObservationSelection& selection_;
    MapStars stars_;
    std::function<bool()> mainVisible_;
    QSize box_{100, 100};
    bool night_ = false;
    bool visible_ = false;
    bool inClick_ = false;
    MapPicture picture_;
    QList<MapStar> shownStars_;
    QList<bool> outliers_;
};

}  // namespace celaris::models
