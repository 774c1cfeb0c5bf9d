#include "view_windows.h"

#include "celaris/hub/skip_failing_step.h"

#include <QDir>
#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "map_sample.h"
#include "window_place.h"
#include "window_rules.h"

namespace celaris::windows {

using models::kTwipsPerPixel;

namespace {

int ToPx(int16_t twips) {
    return std::max(0, static_cast<int>(twips)) / kTwipsPerPixel;
}

int16_t ToTwips(int px) {
    return static_cast<int16_t>(std::clamp(px * kTwipsPerPixel, 0, 32767));
}

}  // namespace

// ---- Picture box ---------------------------------------------------------

PictureBox::PictureBox(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(1, 1);
}

bool PictureBox::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString text = tipAt ? tipAt(help->pos()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(e);
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (drawing_)
        PaintDrawing(p, *drawing_, &cache_);
    else
        p.fillRect(rect(), Qt::black);
}

void PictureBox::mousePressEvent(QMouseEvent* e) {
    if (onPress) onPress(e->position().toPoint());
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (onRelease) onRelease(e->position().toPoint());
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent*) {
    if (onDoubleClick) onDoubleClick();
}

void PictureBox::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onResize) onResize(size());
}

// ---- Residual plot -------------------------------------------------------

PlotWindow::PlotWindow(models::PlotModel& model, hub::Program& program, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), program_(program) {
    setObjectName(QStringLiteral("frmPlot"));
    setWindowTitle(QStringLiteral("Observation Errors"));
    setMinimumSize(kViewMinimumPx, kViewMinimumPx);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    box_ = new PictureBox(QStringLiteral("pboxPlot"));
    layout->addWidget(box_);
    box_->SetPicture(&model_.picture().drawing);
    box_->onRelease = [this](QPoint p) { model_.Click(p); };
    box_->onResize = [this](QSize s) { model_.SetSize(s); };
    box_->tipAt = [this](QPoint p) { return model_.HoverText(p); };
    connect(&model_, &models::PlotModel::drawn, box_, qOverload<>(&QWidget::update));
    PlaceFromSettings();
}

void PlotWindow::PlaceFromSettings() {
    const auto& s = program_.settings();
    resize(std::max(ToPx(s.PlotWidth), kViewMinimumPx),
           std::max(ToPx(s.PlotHeight), kViewMinimumPx));
    PlaceWindow(this, s.PosPlotX, s.PosPlotY);
}

void PlotWindow::RememberPlace() {
    RememberWindowPlace(this, program_.settings().PosPlotX, program_.settings().PosPlotY);
}

void PlotWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    model_.SetSize(box_->size());
    model_.SetVisible(true);
}

void PlotWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    model_.SetVisible(false);
}

void PlotWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() &&
        !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        KeepWindowOnScreen(this);
        model_.PlotData();
    }
    QWidget::changeEvent(e);
}

// ---- Sky map -------------------------------------------------------------

MapWindow::MapWindow(models::MapModel& model, hub::Program& program, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), program_(program) {
    setObjectName(QStringLiteral("frmMap"));
    setWindowTitle(QStringLiteral("Calibration Sky Map"));
    setMinimumSize(kViewMinimumPx, kViewMinimumPx);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    box_ = new PictureBox(QStringLiteral("pboxMap"));
    layout->addWidget(box_);
    const QStringList captions{QStringLiteral("45"), QStringLiteral("135"), QStringLiteral("225"),
                               QStringLiteral("315")};
    for (int i = 0; i < 4; ++i) {
        lblAzScale_[i] = new QLabel(captions[i], box_);
        lblAzScale_[i]->setObjectName(QStringLiteral("lblAzScale"));
        lblAzScale_[i]->setProperty("index", i);
        lblAzScale_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        lblAzScale_[i]->hide();
    }
    box_->SetPicture(&model_.picture().drawing);
    box_->onPress = [this](QPoint p) { model_.Click(p); };
    box_->onDoubleClick = [this] { model_.DoubleClick(); };
    box_->onResize = [this](QSize s) { model_.SetSize(s); };
    box_->tipAt = [this](QPoint p) { return model_.HoverText(p); };
    connect(&model_, &models::MapModel::drawn, this, [this] {
        PlaceLabels();
        box_->update();
    });
    PlaceFromSettings();
}

void MapWindow::PlaceLabels() {
    const auto& pic = model_.picture();
    for (size_t i = 0; i < lblAzScale_.size(); ++i) {
        QLabel* l = lblAzScale_[i];
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, ToQColor(pic.labelColour));
        l->setPalette(pal);
        l->adjustSize();
        const QPointF tl = TopLeftFor(pic.azLabels[i].corner, l->size(), pic.azLabels[i].anchor);
        l->move(tl.toPoint());
        l->show();
    }
}

void MapWindow::PlaceFromSettings() {
    const auto& s = program_.settings();
    resize(std::max(ToPx(s.MapWidth), kViewMinimumPx), std::max(ToPx(s.MapHeight), kViewMinimumPx));
    PlaceWindow(this, s.PosMapX, s.PosMapY);
}

void MapWindow::RememberPlace() {
    auto& s = program_.settings();
    RememberWindowPlace(this, s.PosMapX, s.PosMapY);
    // Twips to pixels and back loses up to 14 twips: a size the user did
    // not change keeps its stored value.
    if (width() != std::max(ToPx(s.MapWidth), kViewMinimumPx)) s.MapWidth = ToTwips(width());
    if (height() != std::max(ToPx(s.MapHeight), kViewMinimumPx)) s.MapHeight = ToTwips(height());
}

void MapWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    setWindowTitle(QStringLiteral("Calibration Sky Map"));
    model_.SetSize(box_->size());
    model_.MapReady = true;
    model_.SetVisible(true);
}

void MapWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    model_.SetVisible(false);
}

void MapWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() &&
        !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        KeepWindowOnScreen(this);
        setWindowTitle(QStringLiteral("Calibration Sky Map"));
        model_.Activate();
    }
    QWidget::changeEvent(e);
}

// ---- Screenshots ---------------------------------------------------------

QStringList ScreenshotViews(hub::Program& program, calibration::CalibrationStore& store,
                            models::ObservationSelection& selection, PlotWindow& plot,
                            MapWindow& map, const QString& dir) {
    QStringList written;
    std::optional<models::MapSampleRestore> restore;
    models::MapSample sample;
    if (store.ObservationCount() == 0) {
        restore.emplace(program);
        sample = models::AddMapSample(program, store);
    }
    const models::MapStars before = map.model().stars();
    if (!sample.pickList.isEmpty()) {
        map.model().SetStars({[sample] { return sample.pickList; },
                              [sample] { return sample.currentStar; },
                              {},
                              {}});
    }
    const int selectedBefore = selection.selectedIndex();
    const bool listBefore = selection.listVisible();
    // The list shows a line selected, the plot's cross and the map's mark on
    // it: the largest residual that is not an outlier, clear of the crowd.
    selection.SetListVisible(true);
    int pick = 0;
    for (int i = 1; i <= store.ObservationCount(); ++i) {
        const auto& o = store.at(i);
        if (!o.Use || store.statistics().IsOutlier(i)) continue;
        if (pick == 0 || o.SkyError() > store.at(pick).SkyError()) pick = i;
    }
    selection.SetSelected(pick);

    const auto grab = [&](QWidget* w, QSize size) {
        // The user's window size stays what it was.
        const QSize kept = w->size();
        w->resize(size);
        w->setAttribute(Qt::WA_DontShowOnScreen, true);
        w->show();
        const QString path = QDir(dir).filePath(w->objectName() + QStringLiteral(".png"));
        if (w->grab().save(path)) written << path;
        w->hide();
        w->setAttribute(Qt::WA_DontShowOnScreen, false);
        w->resize(kept);
    };
    grab(&plot, QSize(360, 360));
    grab(&map, QSize(520, 520));

    selection.SetSelected(selectedBefore);
    selection.SetListVisible(listBefore);
    map.model().SetStars(before);
    if (restore) {
        // The sample goes again; the terms follow with the restore.
        hub::SkipFailingStep([&] { store.DiscardObservations(); });
        store.UpdateObservationList();
    }
    return written;
}

}  // namespace celaris::windows
