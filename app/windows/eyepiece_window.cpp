#include "eyepiece_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace celaris::windows {

EyepieceField::EyepieceField(models::EyepieceModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("pboxEyepiece"));
    setMinimumSize(200, 200);
}

void EyepieceField::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::black);
    const double side = std::min(width(), height());
    const QPointF c(width() / 2.0, height() / 2.0);
    const double pxPerDeg = side / model_.fieldDeg;
    const QColor star = night_ ? QColor(200, 0, 0) : QColor(255, 255, 240);
    const QColor marks = night_ ? QColor(120, 0, 0) : QColor(220, 40, 40);
    // The field stop of the eyepiece.
    p.setPen(QPen(marks.darker(150), 1));
    p.drawEllipse(c, side / 2.0 - 1, side / 2.0 - 1);
    p.setPen(Qt::NoPen);
    p.setBrush(star);
    for (const auto& s : model_.field) {
        // Brighter stars larger: about 8 px at magnitude 0, 2 px at 5.
        const double r = std::clamp(8.0 - 1.2 * s.magnitude, 1.5, 10.0);
        p.drawEllipse(QPointF(c.x() + s.x * pxPerDeg, c.y() - s.y * pxPerDeg), r, r);
    }
    // Cross-hair with a gap in the middle, so a centred star stays visible.
    p.setPen(QPen(marks, 1));
    const double gap = 6;
    p.drawLine(QPointF(c.x() - side / 2, c.y()), QPointF(c.x() - gap, c.y()));
    p.drawLine(QPointF(c.x() + gap, c.y()), QPointF(c.x() + side / 2, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - side / 2), QPointF(c.x(), c.y() - gap));
    p.drawLine(QPointF(c.x(), c.y() + gap), QPointF(c.x(), c.y() + side / 2));
    // Scale: ten arc minutes, and the directions.
    const double bar = pxPerDeg / 6.0;
    const QPointF b0(8, height() - 12);
    p.drawLine(b0, b0 + QPointF(bar, 0));
    p.drawText(b0 + QPointF(0, -4), QStringLiteral("10'"));
    p.drawText(QPointF(c.x() - 4, 14), QStringLiteral("N"));
    p.drawText(QPointF(6, c.y() - 4), QStringLiteral("E"));
    if (!model_.available) {
        p.setPen(marks);
        p.drawText(rect().adjusted(10, 10, -10, -10), Qt::AlignCenter | Qt::TextWordWrap,
                   model_.caption);
    }
}

EyepieceWindow::EyepieceWindow(models::EyepieceModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("frmEyepiece"));
    setWindowTitle(QStringLiteral("Eyepiece"));
    auto* layout = new QVBoxLayout(this);
    field_ = new EyepieceField(model_, this);
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("lblEyepiecePosition"));
    layout->addWidget(field_, 1);
    layout->addWidget(caption_);
    // The simulator's polar axis adjusters, for practising polar alignment.
    auto* knobs = new QGroupBox(QStringLiteral("Polar axis adjusters"), this);
    knobs->setObjectName(QStringLiteral("fraPolarKnobs"));
    auto* row = new QHBoxLayout(knobs);
    const auto knob = [&](const char* name, const QString& caption, const QString& tip,
                          models::EyepieceModel::Knob k, int direction) {
        auto* b = new QPushButton(caption, knobs);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        connect(b, &QPushButton::clicked, this,
                [this, k, direction] { model_.TurnPolarKnob(k, direction); });
        row->addWidget(b);
    };
    using K = models::EyepieceModel::Knob;
    knob("cmdAltUp", QStringLiteral("Alt +"), QStringLiteral("Raise the polar axis"), K::Altitude,
         1);
    knob("cmdAltDown", QStringLiteral("Alt -"), QStringLiteral("Lower the polar axis"), K::Altitude,
         -1);
    knob("cmdAzEast", QStringLiteral("Az +"), QStringLiteral("Turn the polar axis east"),
         K::Azimuth, 1);
    knob("cmdAzWest", QStringLiteral("Az -"), QStringLiteral("Turn the polar axis west"),
         K::Azimuth, -1);
    auto* step = new QComboBox(knobs);
    step->setObjectName(QStringLiteral("cmbKnobStep"));
    step->addItems({QStringLiteral("10\""), QStringLiteral("1'"), QStringLiteral("5'")});
    step->setCurrentIndex(1);
    connect(step, &QComboBox::activated, this, [this](int i) {
        model_.knobStepArcsec = i == 0 ? 10.0 : i == 1 ? 60.0 : 300.0;
    });
    row->addWidget(step);
    layout->addWidget(knobs);
    connect(&model_, &models::EyepieceModel::changed, this, &EyepieceWindow::Sync);
    Sync();
}

void EyepieceWindow::Sync() {
    caption_->setText(model_.caption);
    field_->update();
}

}  // namespace celaris::windows
