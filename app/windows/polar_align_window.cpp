#include "polar_align_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "window_place.h"

namespace celaris::windows {

PolarAlignWindow::PolarAlignWindow(models::PolarAlignModel& model, hub::Program& program,
                                   QWidget* parent)
    : QDialog(parent), model_(model), program_(program) {
    setObjectName(QStringLiteral("frmAlignPolar"));
    setWindowTitle(QStringLiteral("Adjust Polar Alignment"));
    setModal(true);
    lblStep_ = new QLabel(this);
    lblStep_->setObjectName(QStringLiteral("lblStep"));
    lblStep_->setWordWrap(true);
    lblStep_->setMinimumWidth(360);
    ok_ = new QPushButton(this);
    ok_->setObjectName(QStringLiteral("OKButton"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStep_, 1);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, [this] { model_.Next(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { model_.Cancel(); });
    connect(&model_, &models::PolarAlignModel::changed, this, &PolarAlignWindow::Sync);
    connect(&model_, &models::PolarAlignModel::closeRequested, this, [this] { hide(); });
    PlaceWindow(this, program_.settings().PosAlignPolarX, program_.settings().PosAlignPolarY);
    Sync();
}

void PolarAlignWindow::Sync() {
    lblStep_->setText(model_.lblStep);
    ok_->setText(model_.OKButtonCaption);
    ok_->setEnabled(model_.OKButtonEnabled);
}

void PolarAlignWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    KeepWindowOnScreen(this);
    model_.Activate();
}

void PolarAlignWindow::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && !isActiveWindow())
        RememberWindowPlace(this, program_.settings().PosAlignPolarX,
                            program_.settings().PosAlignPolarY);
}

// Closing the window or Esc is Cancel.
void PolarAlignWindow::reject() {
    if (model_.visible) model_.Cancel();
    QDialog::reject();
}

}  // namespace celaris::windows
