// frmPlot "Observation Errors": every observation the fit uses as a dot at
// its residual around the centre of a target, with circles at one and three
// times the RMS residual. Clicking near a dot selects that observation in
// the observation list; the list's selected observation carries a cross.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <vector>

#include "celaris/calibration/calibration_store.h"
#include "drawing.h"
#include "observation_selection.h"

namespace celaris::models {

// The scale of the chart: the sigma it is drawn for (radians) and the
// labels of its inner (1 sigma) and outer (3 sigma) circles.
struct PlotScale {
    double sigma = 0.0;
    QString inner, outer;
};
// Degrees from 1 degree up, arc-minutes from 1', arc-seconds from 1";
// below 1" the chart is drawn for 1" and the labels read "<1.0 sec".
PlotScale ScaleForSigma(double sigmaRad);

struct PlotPicture {
    Drawing drawing;
    // Every observation's pixel position, used or not: observation i at
    // [i - 1].
    std::vector<PixelPos> DotPositions;
    PlotScale scale;
    double pixelsPerRadian = 0.0;
};

// What one drawing shows. selected: the observation (1-based) to cross, 0
// for none. outliers: per record, flagged by the fit's statistics (may be
// shorter than the list).
struct PlotInput {
    const QList<calibration::Observation>* observations = nullptr;
    const QList<bool>* outliers = nullptr;
    QSize box;
    bool night = false;
    int selected = 0;
};

// Builds the chart into out (its buffers are reused).
void DrawPlot(const PlotInput& in, PlotPicture& out);

class PlotModel : public QObject {
    Q_OBJECT
  public:
    PlotModel(calibration::CalibrationStore& store, ObservationSelection& selection,
              QObject* parent = nullptr);

    // No drawing is in progress.
    bool PlotReady = true;

    // The picture box's size in pixels; a new size redraws.
    void SetSize(QSize box);
    void SetNightMode(bool night);
    // The window was shown (redraws) or hidden; hidden, changes of the data
    // wait until it shows again.
    void SetVisible(bool visible);
    bool visible() const { return visible_; }

    // Redraws the chart and emits drawn().
    void PlotData();

    const PlotPicture& picture() const { return picture_; }
    const std::vector<PixelPos>& DotPositions() const { return picture_.DotPositions; }

    // The mouse button was released at point: with the observation list
    // shown, the nearest observation's line is selected there.
    void Click(QPoint point);
    // The observation under point (within 10 pixels): its name and residual.
    QString HoverText(QPoint point) const;

  signals:
    void drawn();

  private:
    void RedrawIfVisible();

    calibration::CalibrationStore& store_;
    ObservationSelection& selection_;
    QSize box_{100, 100};
    bool night_ = false;
    bool visible_ = false;
    PlotPicture picture_;
    QList<bool> outliers_;
};

// An observation's residual in words: "Vega: 12.3" (RA 4.1", Dec -11.6")",
// with the outlier flag or "not used by the fit" appended.
QString ResidualText(const calibration::Observation& o, bool outlier);

// Within this many pixels a click or the mouse pointer is on a symbol.
inline constexpr double kPickRadius = 10.0;

}  // namespace celaris::models
