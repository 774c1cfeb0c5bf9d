// The residual plot frmPlot and the sky map frmMap: each paints the picture
// its model builds and forwards the mouse to it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

#include "drawing_painter.h"
#include "map_model.h"
#include "plot_model.h"

class QLabel;

namespace celaris::windows {

// A picture box (pboxPlot, pboxMap): shows a model's picture, reports the
// mouse and asks for the tooltip of the point under it.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(const QString& name, QWidget* parent = nullptr);
    void SetPicture(const models::Drawing* drawing) { drawing_ = drawing; }

    std::function<void(QPoint)> onPress, onRelease;
    std::function<void()> onDoubleClick;
    std::function<void(QSize)> onResize;
    std::function<QString(QPoint)> tipAt;

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    const models::Drawing* drawing_ = nullptr;
    PaintCache cache_;
};

// Both windows keep at least 1500 x 1500 twips.
inline constexpr int kViewMinimumPx = 100;

class PlotWindow : public QWidget {
    Q_OBJECT
  public:
    PlotWindow(models::PlotModel& model, hub::Program& program, QWidget* parent = nullptr);
    models::PlotModel& model() { return model_; }
    PictureBox* pboxPlot() { return box_; }
    // PosPlotX/Y and PlotWidth/Height; only the place is written back.
    void PlaceFromSettings();
    void RememberPlace();

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    models::PlotModel& model_;
    hub::Program& program_;
    PictureBox* box_;
};

class MapWindow : public QWidget {
    Q_OBJECT
  public:
    MapWindow(models::MapModel& model, hub::Program& program, QWidget* parent = nullptr);
    models::MapModel& model() { return model_; }
    PictureBox* pboxMap() { return box_; }
    // PosMapX/Y and MapWidth/Height, all four written back.
    void PlaceFromSettings();
    void RememberPlace();

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void PlaceLabels();

    models::MapModel& model_;
    hub::Program& program_;
    PictureBox* box_;
    std::array<QLabel*, 4> lblAzScale_{};
};

// Renders both windows with the sample calibration (when the store holds
// none) to dir/frmPlot.png and dir/frmMap.png; the settings and the model
// terms are as before afterwards. The files written.
QStringList ScreenshotViews(hub::Program& program, calibration::CalibrationStore& store,
                            models::ObservationSelection& selection, PlotWindow& plot,
                            MapWindow& map, const QString& dir);

}  // namespace celaris::windows
