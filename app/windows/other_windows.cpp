#include "other_windows.h"

#include <dlfcn.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>

#include "celaris/profile/settings.h"
#include "window_place.h"

namespace celaris::windows {

namespace {

QLineEdit* Box(const char* name, const QString& tip = QString()) {
    auto* e = new QLineEdit;
    e->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) e->setToolTip(tip);
    e->setMaximumWidth(140);
    return e;
}

QCheckBox* Check(const char* name, const QString& caption, const QString& tip = QString()) {
    auto* c = new QCheckBox(caption);
    c->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) c->setToolTip(tip);
    return c;
}

QPushButton* Button(const char* name, const QString& caption, const QString& tip = QString()) {
    auto* b = new QPushButton(caption);
    b->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) b->setToolTip(tip);
    return b;
}

}  // namespace

// ---- Setup -------------------------------------------------------------

SetupWindow::SetupWindow(models::SetupModel& model, hub::Program& program, HorizonWindow* horizon,
                         QWidget* parent)
    : QDialog(parent), model_(model), program_(program) {
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Telescope Setup"));
    auto* top = new QVBoxLayout(this);
    auto* station = new QGroupBox(QStringLiteral("Station"));
    auto* sf = new QFormLayout(station);
    const QStringList siteCaptions{QStringLiteral("Lat (deg N+)"), QStringLiteral("Long (deg E+)"),
                                   QStringLiteral("Atm (kPa)"), QStringLiteral("T (C)")};
    for (int i = 0; i < 4; ++i) {
        site_[i] = new QLineEdit;
        site_[i]->setObjectName(QStringLiteral("SiteParam_%1").arg(i));
        site_[i]->setMaximumWidth(140);
        sf->addRow(siteCaptions[i], site_[i]);
    }
    auto* fromMount = Button("cmdFromMount", QStringLiteral("From mount"),
                             QStringLiteral("Copy the connected mount's latitude and longitude"));
    sf->addRow(QString(), fromMount);
    top->addWidget(station);

    auto* scope = new QGroupBox(QStringLiteral("Telescope"));
    auto* tg = new QGridLayout(scope);
    german_ = Check("German", QStringLiteral("German"));
    flipE_ = Box("txtFlipLimitE");
    flipW_ = Box("txtFlipLimitW");
    decLimit_ = Box("txtDeclimit", QStringLiteral("Maximum declination allowed by mount"));
    altLimit_ = Box("txtAltLimit", QStringLiteral("Maximum altitude allowed by mount"));
    enforce_ = Check("chkEnforce", QStringLiteral("Enforce Slew Limits"),
                     QStringLiteral("Prevent Controlling program from exceeding Alt/Dec Limits"));
    antiBacklash_ = Check("chkAntiBacklash", QStringLiteral("Anti Backlash"),
                          QStringLiteral("Removes backlash from all slews"));
    backlash_ = Box("txtBacklash", QStringLiteral("Backlash in gears of mount"));
    firstPause_ = Check("chkFirstSlewPause", QStringLiteral("1st AB Slew Pause"),
                        QStringLiteral("Pause after first slew of anti-backlash slew"));
    slewPause_ = Box("txtSlewPause",
                     QStringLiteral("For automatic calibration and anti-backlash first slew"));
    j2000_ = Check("chkJ2000", QStringLiteral("J2000"),
                   QStringLiteral("Check if scope automatically corrects to J2000"));
    poll_ = Box("txtPollInterval", QStringLiteral("Maximum scope polling interval"));
    int r = 0;
    const auto row = [&](const QString& caption, QWidget* w) {
        tg->addWidget(new QLabel(caption), r, 0);
        tg->addWidget(w, r++, 1);
    };
    tg->addWidget(german_, r++, 0, 1, 2);
    row(QStringLiteral("Flip limit E (deg)"), flipE_);
    row(QStringLiteral("Flip limit W (deg)"), flipW_);
    row(QStringLiteral("Dec Limit (deg)"), decLimit_);
    row(QStringLiteral("Alt Limit"), altLimit_);
    tg->addWidget(enforce_, r++, 0, 1, 2);
    tg->addWidget(antiBacklash_, r++, 0, 1, 2);
    row(QStringLiteral("Backlash (Arc Sec)"), backlash_);
    tg->addWidget(firstPause_, r++, 0, 1, 2);
    row(QStringLiteral("Slew Pause (sec)"), slewPause_);
    tg->addWidget(j2000_, r++, 0, 1, 2);
    row(QStringLiteral("Poll Interval (sec)"), poll_);
    top->addWidget(scope);

    auto* bottom = new QHBoxLayout;
    choose_ = Button("ChooseButton", QStringLiteral("Select Telescope"));
    auto* horizonButton = Button("cmdHorizon", QStringLiteral("Horizon"));
    auto* ok = Button("OKButton", QStringLiteral("OK"));
    auto* cancel = Button("CancelButton", QStringLiteral("Cancel"));
    ok->setDefault(true);
    bottom->addWidget(choose_);
    bottom->addWidget(horizonButton);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    top->addLayout(bottom);

    connect(german_, &QCheckBox::clicked, this, [this](bool on) {
        Collect();
        model_.SetGerman(on);
    });
    connect(antiBacklash_, &QCheckBox::clicked, this, [this](bool on) {
        Collect();
        model_.SetAntiBacklash(on);
    });
    connect(choose_, &QPushButton::clicked, this, [this] {
        Collect();
        model_.Choose();
    });
    connect(fromMount, &QPushButton::clicked, this, [this] {
        Collect();
        model_.FromMount();
    });
    connect(horizonButton, &QPushButton::clicked, this, [this, horizon] {
        if (!horizon) return;
        SetTopmost(horizon, true);
        horizon->exec();
    });
    connect(ok, &QPushButton::clicked, this, [this] {
        Collect();
        if (!model_.Ok()) return;
        RememberWindowPlace(this, program_.settings().PosSetupX, program_.settings().PosSetupY);
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        Collect();  // edited texts stay in the boxes
        RememberWindowPlace(this, program_.settings().PosSetupX, program_.settings().PosSetupY);
        reject();
    });
    connect(&model_, &models::SetupModel::changed, this, &SetupWindow::Sync);
    Sync();
}

void SetupWindow::Collect() {
    for (int i = 0; i < 4; ++i) model_.SiteParam[i] = site_[i]->text();
    model_.txtFlipLimitE = flipE_->text();
    model_.txtFlipLimitW = flipW_->text();
    model_.txtDeclimit = decLimit_->text();
    model_.txtAltLimit = altLimit_->text();
    model_.txtBacklash = backlash_->text();
    model_.txtSlewPause = slewPause_->text();
    model_.txtPollInterval = poll_->text();
    model_.German = german_->isChecked();
    model_.chkEnforce = enforce_->isChecked();
    model_.chkAntiBacklash = antiBacklash_->isChecked();
    model_.chkFirstSlewPause = firstPause_->isChecked();
    model_.chkJ2000 = j2000_->isChecked();
}

void SetupWindow::Sync() {
    for (int i = 0; i < 4; ++i) site_[i]->setText(model_.SiteParam[i]);
    flipE_->setText(model_.txtFlipLimitE);
    flipW_->setText(model_.txtFlipLimitW);
    decLimit_->setText(model_.txtDeclimit);
    altLimit_->setText(model_.txtAltLimit);
    backlash_->setText(model_.txtBacklash);
    slewPause_->setText(model_.txtSlewPause);
    poll_->setText(model_.txtPollInterval);
    german_->setChecked(model_.German);
    enforce_->setChecked(model_.chkEnforce);
    antiBacklash_->setChecked(model_.chkAntiBacklash);
    firstPause_->setChecked(model_.chkFirstSlewPause);
    j2000_->setChecked(model_.chkJ2000);
    flipE_->setEnabled(model_.flipLimitsEnabled());
    flipW_->setEnabled(model_.flipLimitsEnabled());
    backlash_->setEnabled(model_.backlashEnabled());
    firstPause_->setEnabled(model_.backlashEnabled());
    choose_->setText(model_.ChooseButton);
}

void SetupWindow::showEvent(QShowEvent* e) {
    model_.Activate();
    PlaceWindow(this, program_.settings().PosSetupX, program_.settings().PosSetupY);
    QDialog::showEvent(e);
}

// ---- Horizon -----------------------------------------------------------

HorizonWindow::HorizonWindow(models::HorizonModel& model, hub::Program& program, QWidget* parent)
    : QDialog(parent), model_(model), program_(program) {
    setObjectName(QStringLiteral("frmHorizon"));
    setWindowTitle(QStringLiteral("Horizon Editor"));
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    static const char* names[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                  "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
    grid->addWidget(new QLabel(QStringLiteral("Zenith")), 0, 0, Qt::AlignTop);
    grid->addWidget(new QLabel(QStringLiteral("Horizon")), 0, 0, Qt::AlignBottom);
    for (int k = 0; k < models::HorizonModel::kPoints; ++k) {
        auto* s = new QSlider(Qt::Vertical);
        s->setObjectName(QStringLiteral("sldrHorizon_%1").arg(k));
        // Position 0 (the zenith) at the top: the slider runs upside down.
        s->setRange(0, 90);
        s->setInvertedAppearance(true);
        s->setTickPosition(QSlider::TicksBothSides);
        s->setTickInterval(10);
        s->setMinimumHeight(180);
        s->setToolTip(QStringLiteral("%1° azimuth (%2)").arg(k * 22.5).arg(names[k]));
        // The hidden band, from the slider's position down to the horizon.
        s->setStyleSheet(QStringLiteral(
            "QSlider::add-page:vertical { background: #7a5a3a; }"
            "QSlider::sub-page:vertical { background: #9cc3e6; }"
            "QSlider::groove:vertical { width: 8px; }"
            "QSlider::handle:vertical { background: #303030; height: 8px; margin: 0 -4px; }"));
        auto* t = new QLineEdit;
        t->setObjectName(QStringLiteral("txtHorizon_%1").arg(k));
        t->setFixedWidth(44);
        grid->addWidget(new QLabel(QString::fromLatin1(names[k])), 1, k + 1, Qt::AlignCenter);
        grid->addWidget(s, 0, k + 1, Qt::AlignHCenter);
        grid->addWidget(t, 2, k + 1);
        sliders_[k] = s;
        texts_[k] = t;
        connect(s, &QSlider::sliderMoved, this,
                [s](int pos) { s->setToolTip(QString::number(90 - pos)); });
        connect(s, &QSlider::sliderReleased, this,
                [this, k, s] { model_.SliderReleased(k, s->value()); });
        connect(t, &QLineEdit::textEdited, this,
                [this, k](const QString& text) { model_.TextChanged(k, text); });
    }
    top->addLayout(grid);
    auto* bottom = new QHBoxLayout;
    auto* reset =
        Button("cmdReset", QStringLiteral("Reset"), QStringLiteral("Resets all values to 30"));
    auto* import =
        Button("cmdImport", QStringLiteral("Import…"),
               QStringLiteral("Read a horizon file (.hrz, .hpts, Stellarium horizon.txt)"));
    auto* ok = Button("cmdOK", QStringLiteral("OK"));
    auto* cancel = Button("CmdCancel", QStringLiteral("Cancel"));
    bottom->addWidget(reset);
    bottom->addWidget(import);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    top->addLayout(bottom);
    connect(reset, &QPushButton::clicked, this, [this] { model_.Reset(); });
    connect(import, &QPushButton::clicked, this, [this] {
        const QString path = program_.ui().GetOpenFileName(
            {QStringLiteral("Import Horizon"), QDir::homePath(), QString(),
             QStringLiteral("Horizon files (*.hrz *.hpts *.txt);;All files (*)")});
        if (path.isEmpty()) return;
        if (const auto err = model_.Import(path))
            program_.ui().ShowMessage({*err, QStringLiteral("Import Horizon"),
                                       dispatch::MessageIcon::Warning, dispatch::MessageButtons::Ok,
                                       std::nullopt});
    });
    const auto remember = [this] {
        RememberWindowPlace(this, program_.settings().PosHorizX, program_.settings().PosHorizY);
    };
    connect(ok, &QPushButton::clicked, this, [this, remember] {
        model_.Ok();
        remember();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this, remember] {
        model_.Cancel();
        remember();
        reject();
    });
    connect(&model_, &models::HorizonModel::changed, this, &HorizonWindow::Sync);
    Sync();
}

void HorizonWindow::Sync() {
    for (int k = 0; k < models::HorizonModel::kPoints; ++k) {
        sliders_[k]->setValue(model_.sldrHorizon[k]);
        if (texts_[k]->text() != model_.txtHorizon[k]) texts_[k]->setText(model_.txtHorizon[k]);
    }
}

void HorizonWindow::showEvent(QShowEvent* e) {
    model_.Activate();
    PlaceWindow(this, program_.settings().PosHorizX, program_.settings().PosHorizY);
    QDialog::showEvent(e);
}

// ---- Model terms -------------------------------------------------------

ErrorsWindow::ErrorsWindow(models::ErrorsModel& model, hub::Program& program, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), program_(program) {
    setObjectName(QStringLiteral("frmErrors"));
    setWindowTitle(QStringLiteral("Telescope Pointing Errors"));
    auto* top = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("Errors, DMS"));
    auto* grid = new QGridLayout(frame);
    const QStringList captions{
        QStringLiteral("Hour Angle Bias"), QStringLiteral("Declination Bias"),
        QStringLiteral("Collimation"),     QStringLiteral("Axes Misalignment"),
        QStringLiteral("Polar Azimuth"),   QStringLiteral("Polar Altitude"),
        QStringLiteral("Tube Droop"),      QStringLiteral("Mount Flexure")};
    const QStringList names{QStringLiteral("lblHourOffset"),  QStringLiteral("lblDecOffset"),
                            QStringLiteral("lblCollimation"), QStringLiteral("lblAxisNonPerp"),
                            QStringLiteral("lblPolarLR"),     QStringLiteral("lblPolarVert"),
                            QStringLiteral("lblTubeFlex"),    QStringLiteral("lblMountFlex")};
    for (int i = 0; i < 8; ++i) {
        values_[i] = new QLabel(QStringLiteral("0.0"));
        values_[i]->setObjectName(names[i]);
        values_[i]->setMinimumWidth(110);
        values_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        stdErrors_[i] = new QLabel;
        stdErrors_[i]->setObjectName(QStringLiteral("lblStdError_%1").arg(i));
        stdErrors_[i]->setMinimumWidth(80);
        stdErrors_[i]->setToolTip(QStringLiteral("Standard error of the term in the last fit"));
        grid->addWidget(new QLabel(captions[i]), i, 0);
        grid->addWidget(values_[i], i, 1);
        grid->addWidget(stdErrors_[i], i, 2);
    }
    top->addWidget(frame);

    // The figures of the last fit.
    auto* fit = new QGroupBox(QStringLiteral("Last fit"));
    auto* form = new QFormLayout(fit);
    const auto figure = [&](const char* name, const QString& caption, const QString& tip) {
        auto* l = new QLabel;
        l->setObjectName(QString::fromLatin1(name));
        l->setToolTip(tip);
        form->addRow(caption, l);
        return l;
    };
    fitUsed_ = figure("lblFitUsed", QStringLiteral("Observations used"),
                      QStringLiteral("Observations in the fit of all in the list"));
    fitRms_ = figure("lblFitRMS", QStringLiteral("RMS"),
                     QStringLiteral("Root mean square of the residuals on the sky"));
    fitPsd_ = figure("lblFitPSD", QStringLiteral("PSD"),
                     QStringLiteral("The RMS corrected for the number of fitted terms"));
    fitEastWest_ = figure("lblFitEastWest", QStringLiteral("RMS east / west"),
                          QStringLiteral("RMS and observations on each side of the pier"));
    fitWarnings_ = new QLabel;
    fitWarnings_->setObjectName(QStringLiteral("lblFitWarnings"));
    fitWarnings_->setWordWrap(true);
    fitWarnings_->setFixedWidth(320);
    form->addRow(fitWarnings_);
    top->addWidget(fit);
    // Never smaller than the rows need, however many warnings there are.
    top->setSizeConstraint(QLayout::SetMinimumSize);
    connect(&model_, &models::ErrorsModel::changed, this, &ErrorsWindow::Sync);
    Sync();
    PlaceWindow(this, program_.settings().PosErrorsX, program_.settings().PosErrorsY);
}

void ErrorsWindow::Sync() {
    const QString* v[] = {&model_.lblHourOffset,  &model_.lblDecOffset, &model_.lblCollimation,
                          &model_.lblAxisNonPerp, &model_.lblPolarLR,   &model_.lblPolarVert,
                          &model_.lblTubeFlex,    &model_.lblMountFlex};
    for (int i = 0; i < 8; ++i) {
        values_[i]->setText(*v[i]);
        stdErrors_[i]->setText(model_.lblStdError[i]);
    }
    fitUsed_->setText(model_.lblFitUsed);
    fitRms_->setText(model_.lblFitRMS);
    fitPsd_->setText(model_.lblFitPSD);
    fitEastWest_->setText(model_.lblFitEastWest);
    fitWarnings_->setText(model_.lblFitWarnings);
}

void ErrorsWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            KeepWindowOnScreen(this);
        else
            RememberWindowPlace(this, program_.settings().PosErrorsX,
                                program_.settings().PosErrorsY);
    }
    QWidget::changeEvent(e);
}

// ---- Slewing -----------------------------------------------------------

SlewingWindow::SlewingWindow(hub::Hub& hub, QWidget* mainWindow)
    : QDialog(mainWindow), hub_(hub), main_(mainWindow) {
    setObjectName(QStringLiteral("frmSlewing"));
    setWindowTitle(QStringLiteral("Slewing"));
    setFixedSize(220, 140);
    setWindowModality(Qt::ApplicationModal);
    hub_.SetSlewingWindow(this);
}

SlewingWindow::~SlewingWindow() {
    hub_.SetSlewingWindow(nullptr);
}

void SlewingWindow::RunSynchronousSlew() {
    // Shown without an event loop of its own: the blocking driver call runs
    // in the caller's step, and the window only tells the user why nothing
    // answers meanwhile.
    if (main_) move(main_->pos());
    SetTopmost(this, true);
    show();
    repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        hub_.ConnectedDriver().Call(QStringLiteral("SlewToTarget"));
        hub_.state().ObservationTaken = false;
    } catch (...) {
        QApplication::restoreOverrideCursor();
        hide();
        hub_.ui().ShowCurrentError();
        return;
    }
    QApplication::restoreOverrideCursor();
    hide();
}

void SlewingWindow::paintEvent(QPaintEvent*) {
    // A telescope on its mount, its tube swinging across the sky.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(12, 16, 40));
    p.setPen(Qt::white);
    for (int i = 0; i < 12; ++i) p.drawPoint((i * 53) % width(), (i * 31) % 70 + 5);
    const QPointF pivot(width() / 2.0, height() - 40.0);
    p.setPen(QPen(QColor(180, 180, 190), 4));
    p.drawLine(pivot, pivot + QPointF(-20, 32));
    p.drawLine(pivot, pivot + QPointF(20, 32));
    p.save();
    p.translate(pivot);
    p.rotate(-35 + (frame_++ % 8) * 10);
    p.fillRect(QRectF(-8, -60, 16, 62), QColor(220, 220, 230));
    p.fillRect(QRectF(-10, -64, 20, 8), QColor(60, 60, 70));
    p.restore();
    p.setPen(Qt::white);
    p.drawText(rect().adjusted(0, 0, 0, -6), Qt::AlignBottom | Qt::AlignHCenter,
               QStringLiteral("Slewing…"));
}

// ---- About -------------------------------------------------------------

QString AboutBox::SystemInfo(hub::Program& program) {
    QString enginePath = QStringLiteral("(unknown)");
    Dl_info info{};
    // The engine object's v-table lives in the library that made it.
    if (ISVD* e = program.hub().engine().get();
        e && dladdr(*reinterpret_cast<void**>(e), &info) && info.dli_fname)
        enginePath = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
    const QString scope = program.settings().Scope;
    return QStringLiteral(
               "Celaris %1\nQt %2 (built with %3)\nOperating system: %4 (%5, %6)\n"
               "Engine: %7 (Trimcore.SVD, version %1)\nTelescope driver: %8\nSettings file: %9")
        .arg(QCoreApplication::applicationVersion(), QString::fromLatin1(qVersion()),
             QStringLiteral(QT_VERSION_STR), QSysInfo::prettyProductName(),
             QSysInfo::kernelType() + ' ' + QSysInfo::kernelVersion(),
             QSysInfo::currentCpuArchitecture(), enginePath,
             scope.isEmpty() ? QStringLiteral("none selected") : scope, program.profile().path());
}

AboutBox::AboutBox(hub::Program& program, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Celaris"));
    auto* top = new QVBoxLayout(this);
    auto* title = new QLabel(
        QStringLiteral("<h2>Celaris %1</h2>").arg(QCoreApplication::applicationVersion()));
    title->setObjectName(QStringLiteral("lblVersion"));
    top->addWidget(title);
    top->addWidget(new QLabel(QStringLiteral(
        "Telescope pointing correction for Linux.\nA hub between astronomy programs (ASCOM "
        "Alpaca clients) and your mount\nthat corrects every position through a mount error "
        "model.")));
    auto* buttons = new QHBoxLayout;
    auto* sysInfo = Button("cmdSysInfo", QStringLiteral("System Info"),
                           QStringLiteral("Qt, operating system, engine, driver and settings"));
    auto* ok = Button("cmdOK", QStringLiteral("OK"));
    ok->setDefault(true);
    buttons->addWidget(sysInfo);
    buttons->addStretch();
    buttons->addWidget(ok);
    top->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, [this, &program] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("System Info"),
                        SystemInfo(program), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("msgSystemInfo"));
        box.setTextInteractionFlags(Qt::TextSelectableByMouse);
        box.exec();
    });
}

QString ManualPath() {
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& p : {bin + QStringLiteral("/../share/doc/celaris/manual/index.html"),
                             bin + QStringLiteral("/../docs/index.html"),
                             QStringLiteral(CELARIS_SOURCE_DOCS "/index.html")})
        if (QFileInfo::exists(p)) return QFileInfo(p).absoluteFilePath();
    return {};
}

}  // namespace celaris::windows
