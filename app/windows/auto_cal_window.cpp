#include "auto_cal_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "celaris/profile/settings.h"
#include "window_rules.h"

namespace celaris::windows {

namespace {

template <typename W>
W* Named(W* w, const char* name, const QString& tip = {}) {
    w->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) w->setToolTip(tip);
    return w;
}

QLineEdit* Box(const char* name, const QString& tip = {}) {
    return Named(new QLineEdit, name, tip);
}

}  // namespace

PixelCalculator::PixelCalculator(hub::Program& program, calibration::AutoCalibration& run,
                                 QWidget* parent)
    : QDialog(parent), model_(program, run) {
    setObjectName(QStringLiteral("frmPixelCalc"));
    setWindowTitle(QStringLiteral("Pixel Size Calculator"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* sizes = new QGroupBox(QStringLiteral("Pixel Size (microns)"));
    auto* sf = new QFormLayout(sizes);
    txtSizeX_ = Box("txtSizeX");
    txtSizeY_ = Box("txtSizeY");
    sf->addRow(QStringLiteral("X"), txtSizeX_);
    sf->addRow(QStringLiteral("Y"), txtSizeY_);
    layout->addWidget(sizes);
    auto* ff = new QFormLayout;
    txtFocalLength_ = Box("txtFocalLength");
    ff->addRow(QStringLiteral("Focal Length (mm)"), txtFocalLength_);
    layout->addLayout(ff);
    auto* scale = new QGroupBox(QStringLiteral("Pixel Size (Arc Sec)"));
    auto* rf = new QFormLayout(scale);
    lblAPPX_ = Named(new QLabel, "lblAPPX");
    lblAPPY_ = Named(new QLabel, "lblAPPY");
    rf->addRow(QStringLiteral("X"), lblAPPX_);
    rf->addRow(QStringLiteral("Y"), lblAPPY_);
    layout->addWidget(scale);
    auto* calc = Named(new QPushButton(QStringLiteral("Calculate")), "cmdCalculate");
    auto* get = Named(new QPushButton(QStringLiteral("Get sizes")), "cmdGetSizes",
                      QStringLiteral("Get the LumacamCCD reportesd pixel dimensions"));
    auto* close = Named(new QPushButton(QStringLiteral("Close")), "cmdClose");
    auto* buttons = new QHBoxLayout;
    for (auto* b : {calc, get, close}) buttons->addWidget(b);
    layout->addLayout(buttons);
    connect(txtSizeX_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.txtSizeX = t; });
    connect(txtSizeY_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.txtSizeY = t; });
    connect(txtFocalLength_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.txtFocalLength = t; });
    connect(calc, &QPushButton::clicked, &model_, &models::PixelCalculatorModel::Calculate);
    connect(get, &QPushButton::clicked, &model_, &models::PixelCalculatorModel::GetSizes);
    connect(close, &QPushButton::clicked, this, [this] {
        model_.CloseAndKeep();
        hide();
    });
    connect(&model_, &models::PixelCalculatorModel::changed, this, &PixelCalculator::Refresh);
}

void PixelCalculator::Refresh() {
    auto set = [](QLineEdit* box, const QString& text) {
        if (box->text() != text) box->setText(text);
    };
    set(txtSizeX_, model_.txtSizeX);
    set(txtSizeY_, model_.txtSizeY);
    set(txtFocalLength_, model_.txtFocalLength);
    lblAPPX_->setText(model_.lblAPPX);
    lblAPPY_->setText(model_.lblAPPY);
}

AutoCalWindow::AutoCalWindow(hub::Program& program, calibration::AutoCalibration& run,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), program_(program), run_(run) {
    setObjectName(QStringLiteral("frmStarfixCal"));
    setWindowTitle(QStringLiteral("Auto Calibration"));
    auto* layout = new QVBoxLayout(this);

    auto* align = new QGroupBox(QStringLiteral("Auto Alignment"));
    auto* al = new QVBoxLayout(align);
    lblCalStatus_ = Named(new QLabel, "lblCalStatus");
    lblStarfixStatus_ = Named(new QLabel, "lblStarfixStatus");
    lblCameraStatus_ = Named(new QLabel, "lblCameraStatus");
    lblTimeLeft_ = Named(new QLabel, "lblTimeLeft");
    progbarCal_ = Named(new QProgressBar, "progbarCal");
    progbarCal_->setRange(0, calibration::kGridPoints);
    cmbAccuracy_ = Named(new QComboBox, "cmbAccuracy");
    cmbAccuracy_->addItems(calibration::AutoCalibration::AccuracyItems());
    cmdStart_ = Named(new QPushButton(QStringLiteral("Start")), "cmdStart");
    cmdStop_ = Named(new QPushButton(QStringLiteral("STOP")), "cmdStop",
                     QStringLiteral("Stop automatic calibration"));
    cmdResume_ = Named(new QPushButton(QStringLiteral("Resume")), "cmdResume");
    auto* row = new QHBoxLayout;
    for (auto* b : {cmdStart_, cmdStop_, cmdResume_}) row->addWidget(b);
    row->addWidget(cmbAccuracy_);
    al->addLayout(row);
    al->addWidget(progbarCal_);
    for (auto* l : {lblCalStatus_, lblStarfixStatus_, lblCameraStatus_, lblTimeLeft_}) {
        l->setWordWrap(true);
        al->addWidget(l);
    }
    layout->addWidget(align);

    auto* cam = new QGroupBox(QStringLiteral("Camera"));
    auto* cf = new QFormLayout(cam);
    txtExposure_ = Box("txtExposure");
    txtBin_ = Box("txtBin");
    lblBin_ = Named(new QLabel, "lblBin");
    lstFilters_ = Named(new QListWidget, "lstFilters");
    lstFilters_->setMaximumHeight(80);
    cf->addRow(QStringLiteral("Exposure (sec)"), txtExposure_);
    cf->addRow(lblBin_, txtBin_);
    cf->addRow(QStringLiteral("Filter"), lstFilters_);
    layout->addWidget(cam);

    auto* starfix = new QGroupBox(QStringLiteral("Starfix"));
    auto* sl = new QVBoxLayout(starfix);
    auto* catalog = new QGroupBox(QStringLiteral("Catalog Type"));
    auto* cl = new QVBoxLayout(catalog);
    optCatalog_ = new QButtonGroup(this);
    const char* catalogs[] = {"", "", "", "GSC-ACT", "Tycho2", "USNO A2.0"};
    for (int i = 0; i < 6; ++i) {
        auto* o = Named(new QRadioButton(QString::fromLatin1(catalogs[i])),
                        qPrintable(QStringLiteral("optCatalog_%1").arg(i)),
                        QStringLiteral("The Guide Star Catalog V1.1"));
        optCatalog_->addButton(o, i);
        cl->addWidget(o);
        o->setVisible(i >= 3);
    }
    auto* projection = new QGroupBox(QStringLiteral("Projection"));
    auto* pl = new QVBoxLayout(projection);
    optProjection_ = new QButtonGroup(this);
    const char* projections[] = {"", "TAN", "ARC", "", "", "", ""};
    const char* tips[] = {"The orthographic/synthesis (sinusoidal) projection",
                          "The gnomonic (tangent plane) projection, DEFAULT",
                          "The zenithal/azimuthal equidistant projection",
                          "(obsolete) Special case of SIN used by old AIPS versions",
                          "The Sanson-Flamsteed (global sinusoidal) projection",
                          "The mercator projection",
                          "The Hammer-Aitoff projection"};
    for (int i = 0; i < 7; ++i) {
        auto* o = Named(new QRadioButton(QString::fromLatin1(projections[i])),
                        qPrintable(QStringLiteral("optProjection_%1").arg(i)),
                        QString::fromLatin1(tips[i]));
        optProjection_->addButton(o, i);
        pl->addWidget(o);
        o->setVisible(i == 1 || i == 2);
    }
    auto* options = new QHBoxLayout;
    options->addWidget(catalog);
    options->addWidget(projection);
    sl->addLayout(options);
    auto* limits = new QGroupBox(QStringLiteral("Limits"));
    auto* lf = new QFormLayout(limits);
    txtResolution_ = Box("txtResolution", QStringLiteral("Resolution in arc seconds per pixel"));
    txtCatMaxMag_ = Box("txtCatMaxMag", QStringLiteral("The maximum (fainter) magnitude for "
                                                       "selection of stars from the reference "
                                                       "catalog"));
    txtMinStar_ = Box("txtMinStar",
                      QStringLiteral("The minimum diameter (pixels) for a star to be detected"));
    txtMinBright_ =
        Box("txtMinBright",
            QStringLiteral("The minimum integrated brightness for a star to be detected"));
    txtSigma_ = Box("txtSigma", QStringLiteral("The minimum brightness ratio (sigmas) above "
                                               "background for a star to be detected"));
    txtCatExp_ = Box("txtCatExp");
    txtMaxStars_ = Box("txtMaxStars");
    txtMaxTime_ = Box("txtMaxTime");
    auto* maxTimeLabel = Named(new QLabel(QStringLiteral("Max time")), "lblMaxTime",
                               QStringLiteral("Max allowable time to solve image"));
    lf->addRow(QStringLiteral("Unbinned Pixel Size (Arc Sec)"), txtResolution_);
    lf->addRow(QStringLiteral("Cat Max Mag"), txtCatMaxMag_);
    lf->addRow(QStringLiteral("Min Star Dia"), txtMinStar_);
    lf->addRow(QStringLiteral("Min Bright"), txtMinBright_);
    lf->addRow(QStringLiteral("Sigma"), txtSigma_);
    lf->addRow(QStringLiteral("Cat Expand"), txtCatExp_);
    lf->addRow(QStringLiteral("Max Stars"), txtMaxStars_);
    lf->addRow(maxTimeLabel, txtMaxTime_);
    sl->addWidget(limits);
    txtCatPath_ = Box("txtCatPath");
    auto* browse = Named(new QPushButton(QStringLiteral("Browse...")), "cmdBrowse");
    auto* advanced = Named(new QPushButton(QStringLiteral("Pixel Calculator...")), "cmdAdvanced");
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("Cat Path")));
    pathRow->addWidget(txtCatPath_, 1);
    pathRow->addWidget(browse);
    sl->addLayout(pathRow);
    sl->addWidget(advanced);
    layout->addWidget(starfix);

    calculator_ = new PixelCalculator(program, run, this);

    connect(cmdStart_, &QPushButton::clicked, this, [this] {
        TakeBoxes();
        run_.Start();
    });
    connect(cmdStop_, &QPushButton::clicked, this, [this] { run_.Stop(); });
    connect(cmdResume_, &QPushButton::clicked, this, [this] {
        TakeBoxes();
        run_.Resume();
    });
    connect(lstFilters_, &QListWidget::itemClicked, this,
            [this] { run_.SelectFilter(lstFilters_->currentRow()); });
    connect(cmbAccuracy_, &QComboBox::activated, this, [this](int i) { run_.SelectAccuracy(i); });
    connect(optCatalog_, &QButtonGroup::idClicked, this, [this](int id) { run_.optCatalog = id; });
    connect(optProjection_, &QButtonGroup::idClicked, this,
            [this](int id) { run_.optProjection = id; });
    connect(browse, &QPushButton::clicked, this, &AutoCalWindow::Browse);
    connect(advanced, &QPushButton::clicked, this, [this] {
        if (calculator_->isVisible()) {
            calculator_->hide();
            return;
        }
        TakeBoxes();
        calculator_->move(x(), y() + height() / 3);
        calculator_->model().Load();
        calculator_->exec();
    });
    connect(&run_, &calibration::AutoCalibration::changed, this, &AutoCalWindow::Refresh);
    connect(&run_, &calibration::AutoCalibration::hideRequested, this, &QWidget::hide);
    Refresh();
}

void AutoCalWindow::TakeBoxes() {
    run_.txtExposure = txtExposure_->text();
    run_.txtBin = txtBin_->text();
    run_.txtCatPath = txtCatPath_->text();
    run_.txtSigma = txtSigma_->text();
    run_.txtMinBright = txtMinBright_->text();
    run_.txtMinStar = txtMinStar_->text();
    run_.txtCatMaxMag = txtCatMaxMag_->text();
    run_.txtResolution = txtResolution_->text();
    run_.txtCatExp = txtCatExp_->text();
    run_.txtMaxStars = txtMaxStars_->text();
    run_.txtMaxTime = txtMaxTime_->text();
}

void AutoCalWindow::Browse() {
    // A folder chooser stands in for the drive and directory lists.
    QFileDialog dialog(this, QStringLiteral("Catalog Path"), txtCatPath_->text());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    run_.SetCatalogPath(models::CatalogFolderPath(dialog.selectedFiles().first()));
}

void AutoCalWindow::Refresh() {
    auto set = [](QLineEdit* box, const QString& text) {
        if (box->text() != text) box->setText(text);
    };
    lblCalStatus_->setText(run_.lblCalStatus);
    lblStarfixStatus_->setText(run_.lblStarfixStatus);
    lblCameraStatus_->setText(run_.lblCameraStatus);
    lblBin_->setText(run_.lblBin);
    lblTimeLeft_->setText(run_.lblTimeLeft);
    cmdStart_->setEnabled(run_.cmdStartEnabled);
    cmdStop_->setEnabled(run_.cmdStopEnabled);
    cmdResume_->setEnabled(run_.cmdResumeEnabled);
    txtCatPath_->setEnabled(run_.txtCatPathEnabled);
    progbarCal_->setEnabled(run_.progbarCalEnabled);
    progbarCal_->setValue(run_.progbarCal);
    if (lstFilters_->count() != run_.lstFilters.size()) {
        lstFilters_->clear();
        lstFilters_->addItems(run_.lstFilters);
    }
    lstFilters_->setCurrentRow(run_.lstFiltersIndex);
    cmbAccuracy_->setCurrentIndex(run_.cmbAccuracy);
    if (auto* b = optCatalog_->button(run_.optCatalog)) b->setChecked(true);
    if (auto* b = optProjection_->button(run_.optProjection)) b->setChecked(true);
    set(txtExposure_, run_.txtExposure);
    set(txtBin_, run_.txtBin);
    set(txtCatPath_, run_.txtCatPath);
    set(txtSigma_, run_.txtSigma);
    set(txtMinBright_, run_.txtMinBright);
    set(txtMinStar_, run_.txtMinStar);
    set(txtCatMaxMag_, run_.txtCatMaxMag);
    set(txtResolution_, run_.txtResolution);
    set(txtCatExp_, run_.txtCatExp);
    set(txtMaxStars_, run_.txtMaxStars);
    set(txtMaxTime_, run_.txtMaxTime);
    txtMaxStars_->setEnabled(run_.txtMaxStarsEnabled);
}

bool AutoCalWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        if (!loaded_) {
            run_.Load();
            loaded_ = true;
        }
        if (!run_.activated()) run_.Activate();
    }
    return QWidget::event(e);
}

void AutoCalWindow::closeEvent(QCloseEvent* e) {
    if (!run_.ConfirmClose()) {
        e->ignore();
        return;
    }
    TakeBoxes();
    calculator_->model().Unload();
    auto& s = program_.settings();
    s.PosStarfixCalX = static_cast<int16_t>(std::clamp(x() * 15, -32768, 32767));
    s.PosStarfixCalY = static_cast<int16_t>(std::clamp(y() * 15, -32768, 32767));
    run_.Unload();
    loaded_ = false;
    e->accept();
}

}  // namespace celaris::windows
