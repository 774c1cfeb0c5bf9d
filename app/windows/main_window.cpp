#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "window_place.h"

namespace celaris::windows {

namespace {
QLabel* ValueLabel(const QString& name) {
    auto* l = new QLabel;
    l->setObjectName(name);
    l->setMinimumWidth(90);
    l->setFrameShape(QFrame::StyledPanel);
    l->setAlignment(Qt::AlignCenter);
    return l;
}
}  // namespace

QPushButton* MainWindow::AddButton(const char* name, const QString& text, const QString& tip) {
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) b->setToolTip(tip);
    return b;
}

MainWindow::MainWindow(models::MainModel& model, QWidget* parent)
    : QMainWindow(parent), model_(model) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Celaris"));
    auto* central = new QWidget;
    auto* top = new QVBoxLayout(central);
    setCentralWidget(central);

    // Status box.
    txtStatus_ = new QPlainTextEdit;
    txtStatus_->setObjectName(QStringLiteral("txtStatus"));
    txtStatus_->setReadOnly(true);
    txtStatus_->setFixedHeight(64);
    top->addWidget(txtStatus_);

    // Scope, Corr and Target rows, and the local sidereal time.
    auto* rows = new QGroupBox(QStringLiteral("Position"));
    auto* grid = new QGridLayout(rows);
    const QStringList heads{QStringLiteral("RA"), QStringLiteral("Dec"), QStringLiteral("Alt"),
                            QStringLiteral("Az")};
    for (int c = 0; c < 4; ++c) {
        auto* h = new QLabel(heads[c]);
        h->setAlignment(Qt::AlignCenter);
        grid->addWidget(h, 0, c + 1);
    }
    const char* rowNames[] = {"Scope", "Corr", "True"};
    const QStringList rowCaptions{QStringLiteral("Scope"), QStringLiteral("Corr"),
                                  QStringLiteral("Target")};
    QLabel** rowLabels[] = {lblScope_, lblCorr_, lblTrue_};
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(new QLabel(rowCaptions[r]), r + 1, 0);
        for (int c = 0; c < 4; ++c) {
            rowLabels[r][c] = ValueLabel(
                QStringLiteral("lbl%1%2").arg(QString::fromLatin1(rowNames[r]), heads[c]));
            grid->addWidget(rowLabels[r][c], r + 1, c + 1);
        }
    }
    auto* lst = new QGroupBox(QStringLiteral("Local ST"));
    auto* lstLayout = new QVBoxLayout(lst);
    lblLST_ = ValueLabel(QStringLiteral("lblLST"));
    lstLayout->addWidget(lblLST_);
    auto* rowsLine = new QHBoxLayout;
    rowsLine->addWidget(rows, 1);
    rowsLine->addWidget(lst);
    top->addLayout(rowsLine);

    // Options.
    auto* options = new QHBoxLayout;
    chkApplyCorr_ = new QCheckBox(QStringLiteral("Apply Correction Model"));
    chkApplyCorr_->setObjectName(QStringLiteral("chkApplyCorr"));
    chkApplyCorr_->setToolTip(QStringLiteral("Apply corrections to current scope coordinates"));
    chkLock_ = new QCheckBox(QStringLiteral("Lock Target"));
    chkLock_->setObjectName(QStringLiteral("chkLock"));
    chkLock_->setToolTip(QStringLiteral("Lock the target RA/Dec"));
    chkOnTop_ = new QCheckBox(QStringLiteral("On Top"));
    chkOnTop_->setObjectName(QStringLiteral("chkOnTop"));
    chkOnTop_->setToolTip(QStringLiteral("This control panel always on top"));
    cmbInverted_ = new QComboBox;
    cmbInverted_->setObjectName(QStringLiteral("cmbInverted"));
    cmbInverted_->setToolTip(QStringLiteral("Pier side model"));
    for (int i = 0; i < 3; ++i)
        cmbInverted_->addItem(models::MainModel::InvertedItems()[i],
                              models::MainModel::InvertedItemData(i));
    options->addWidget(chkApplyCorr_);
    options->addWidget(chkLock_);
    options->addWidget(chkOnTop_);
    options->addStretch();
    options->addWidget(new QLabel(QStringLiteral("Pier side")));
    options->addWidget(cmbInverted_);
    top->addLayout(options);

    // Nudging and the calibration frame side by side.
    auto* middle = new QHBoxLayout;
    auto* nudge = new QGroupBox(QStringLiteral("Scope Nudging"));
    nudgeGrid_ = new QGridLayout(nudge);
    cmdNorth_ =
        AddButton("cmdNorth", QStringLiteral("N"), QStringLiteral("Slew North by user increment"));
    cmdSouth_ =
        AddButton("cmdSouth", QStringLiteral("S"), QStringLiteral("Slew South by user increment"));
    cmdEast_ =
        AddButton("cmdEast", QStringLiteral("E"), QStringLiteral("Slew East by user increment"));
    cmdWest_ =
        AddButton("cmdWest", QStringLiteral("W"), QStringLiteral("Slew West by user increment"));
    for (auto* b : {cmdNorth_, cmdSouth_, cmdEast_, cmdWest_}) b->setFixedWidth(40);
    txtNudgeIncr_ = new QLineEdit;
    txtNudgeIncr_->setObjectName(QStringLiteral("txtNudgeIncr"));
    txtNudgeIncr_->setToolTip(QStringLiteral("User increment"));
    txtNudgeIncr_->setFixedWidth(56);
    updnIncrement_ = new QWidget;
    updnIncrement_->setObjectName(QStringLiteral("updnIncrement"));
    updnIncrement_->setToolTip(QStringLiteral("User increment"));
    auto* updn = new QVBoxLayout(updnIncrement_);
    updn->setContentsMargins(0, 0, 0, 0);
    updn->setSpacing(0);
    auto* up = new QToolButton;
    up->setObjectName(QStringLiteral("updnIncrementUp"));
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton;
    down->setObjectName(QStringLiteral("updnIncrementDown"));
    down->setArrowType(Qt::DownArrow);
    for (auto* b : {up, down}) b->setFixedSize(18, 12);
    updn->addWidget(up);
    updn->addWidget(down);
    cmbDegMinSec_ = new QComboBox;
    cmbDegMinSec_->setObjectName(QStringLiteral("cmbDegMinSec"));
    cmbDegMinSec_->setToolTip(QStringLiteral("User units"));
    cmbDegMinSec_->addItems(models::MainModel::DegMinSecItems());
    auto* step = new QHBoxLayout;
    step->addWidget(txtNudgeIncr_);
    step->addWidget(updnIncrement_);
    step->addWidget(cmbDegMinSec_);
    PlaceNudgeButtons();
    nudgeGrid_->addLayout(step, 3, 0, 1, 3);
    middle->addWidget(nudge);

    auto* cal = new QGroupBox(QStringLiteral("Calibration"));
    cal->setObjectName(QStringLiteral("fraCalibration"));
    auto* calLayout = new QGridLayout(cal);
    optFullCal_ = new QRadioButton(QStringLiteral("Full Calibration"));
    optFullCal_->setObjectName(QStringLiteral("optFullCal"));
    optFullCal_->setToolTip(QStringLiteral("Determine all error terms for the scope"));
    optReCalPerm_ = new QRadioButton(QStringLiteral("Recal Permanent"));
    optReCalPerm_->setObjectName(QStringLiteral("optReCalPerm"));
    optReCalPerm_->setToolTip(QStringLiteral("Reaclibrate a permanently installed scope"));
    optRecalPort_ = new QRadioButton(QStringLiteral("Recal Portable"));
    optRecalPort_->setObjectName(QStringLiteral("optRecalPort"));
    optRecalPort_->setToolTip(QStringLiteral("Recalibrate a portable scope"));
    chkAddToCal_ = new QCheckBox(QStringLiteral("Add to current cal"));
    chkAddToCal_->setObjectName(QStringLiteral("chkAddToCal"));
    cmdStartCal_ = AddButton("cmdStartCal", QStringLiteral("Start"),
                             QStringLiteral("Start a new calibration"));
    cmdStopCal_ = AddButton("cmdStopCal", QStringLiteral("Stop"),
                            QStringLiteral("Stop the calibration currently in progress"));
    btnCorrect_ = AddButton("btnCorrect", QStringLiteral("+"),
                            QStringLiteral("Add the observation to the correction model"));
    auto* autoCal = AddButton("cmdStarfix", QStringLiteral("Auto"), QString());
    btnAlignPolar_ = AddButton("btnAlignPolar", QStringLiteral("Polar Align"), QString());
    lblCalStatus_ = new QLabel(QStringLiteral("Calibration Status"));
    lblCalStatus_->setObjectName(QStringLiteral("lblCalStatus"));
    calLayout->addWidget(optFullCal_, 0, 0);
    calLayout->addWidget(optReCalPerm_, 1, 0);
    calLayout->addWidget(optRecalPort_, 2, 0);
    calLayout->addWidget(chkAddToCal_, 3, 0);
    calLayout->addWidget(cmdStartCal_, 0, 1);
    calLayout->addWidget(cmdStopCal_, 1, 1);
    calLayout->addWidget(btnCorrect_, 2, 1);
    calLayout->addWidget(autoCal, 3, 1);
    calLayout->addWidget(btnAlignPolar_, 4, 1);
    calLayout->addWidget(lblCalStatus_, 4, 0);
    // The automatic calibration comes with its window.
    calibration_ = {autoCal};
    middle->addWidget(cal, 1);
    top->addLayout(middle);

    // Pick list row.
    auto* pick = new QHBoxLayout;
    cmbNearStars_ = new QComboBox;
    cmbNearStars_->setObjectName(QStringLiteral("cmbNearStars"));
    cmbNearStars_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    cmbNearStars_->setMinimumWidth(220);
    auto* prevUnused = AddButton("cmdPrevUnusedStar", QStringLiteral("<<"),
                                 QStringLiteral("Previous unused star"));
    auto* prev = AddButton("cmdPrevStar", QStringLiteral("<"), QStringLiteral("Previous star"));
    auto* next = AddButton("cmdNextStar", QStringLiteral(">"), QStringLiteral("Next star"));
    auto* nextUnused =
        AddButton("cmdNextUnusedStar", QStringLiteral(">>"), QStringLiteral("Next unused star"));
    cmdSlew_ = AddButton("cmdSlew", QStringLiteral("Slew"),
                         QStringLiteral("Slew to the currently shown star"));
    cmdStopSlew_ =
        AddButton("cmdStopSlew", QStringLiteral("STOP"), QStringLiteral("Stop the current slew"));
    for (auto* b : {prevUnused, prev, next, nextUnused}) b->setFixedWidth(32);
    pick->addWidget(cmbNearStars_, 1);
    for (QWidget* w : {static_cast<QWidget*>(prevUnused), static_cast<QWidget*>(prev),
                       static_cast<QWidget*>(next), static_cast<QWidget*>(nextUnused),
                       static_cast<QWidget*>(cmdSlew_), static_cast<QWidget*>(cmdStopSlew_)})
        pick->addWidget(w);
    pickList_ = {cmbNearStars_, prevUnused, prev, next, nextUnused};
    top->addLayout(pick);

    // The other windows.
    auto* buttons = new QHBoxLayout;
    cmdSiteInfo_ = AddButton("cmdSiteInfo", QStringLiteral("Scope Setup"),
                             QStringLiteral("Site, mount, limits and the telescope driver"));
    auto* errors = AddButton("cmdErrors", QStringLiteral("Errors"),
                             QStringLiteral("Show scope pointing errors"));
    auto* map = AddButton("cmdMap", QStringLiteral("Sky Map"),
                          QStringLiteral("Alt/Az map of stars and observations"));
    auto* obs = AddButton("cmdShowObserves", QStringLiteral("Observations"),
                          QStringLiteral("Show the observation list"));
    cmdEyepiece_ = AddButton("cmdEyepiece", QStringLiteral("Eyepiece"),
                             QStringLiteral("What the simulated telescope sees"));
    auto* about = AddButton("cmdAbout", QStringLiteral("About"), QStringLiteral("About Celaris"));
    for (auto* b : {cmdSiteInfo_, errors, map, obs, cmdEyepiece_, about}) buttons->addWidget(b);
    top->addLayout(buttons);
    for (QWidget* w : pickList_) w->setEnabled(false);
    for (QWidget* w : calibration_) w->setEnabled(false);

    // Menus: night mode and help.
    auto* view = menuBar()->addMenu(QStringLiteral("&View"));
    nightAction_ = view->addAction(QStringLiteral("&Night Mode"));
    nightAction_->setObjectName(QStringLiteral("mnuNightMode"));
    nightAction_->setCheckable(true);
    nightAction_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+N")));
    auto* help = menuBar()->addMenu(QStringLiteral("&Help"));
    auto* manual = help->addAction(QStringLiteral("Celaris &Manual"));
    manual->setObjectName(QStringLiteral("mnuManual"));
    manual->setShortcut(QKeySequence::HelpContents);
    auto* aboutAction = help->addAction(QStringLiteral("&About Celaris"));
    aboutAction->setObjectName(QStringLiteral("mnuAbout"));

    // Forwarding.
    connect(chkApplyCorr_, &QCheckBox::clicked, this, [this](bool on) { model_.ApplyCorr(on); });
    connect(chkLock_, &QCheckBox::clicked, this, [this](bool on) { model_.SetLock(on); });
    connect(chkOnTop_, &QCheckBox::clicked, this, [this](bool on) { model_.SetOnTop(on); });
    connect(cmbInverted_, &QComboBox::activated, this,
            [this](int i) { model_.SelectPierSideModel(i); });
    connect(cmbDegMinSec_, &QComboBox::activated, this, [this](int i) { model_.SetNudgeUnit(i); });
    connect(txtNudgeIncr_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.SetNudgeIncrement(t); });
    const auto stepBy = [this](int delta) {
        const int v = txtNudgeIncr_->text().toInt() + delta;
        model_.SetNudgeIncrement(QString::number(std::max(v, 0)));
    };
    connect(up, &QToolButton::clicked, this, [stepBy] { stepBy(1); });
    connect(down, &QToolButton::clicked, this, [stepBy] { stepBy(-1); });
    using N = models::MainModel::Nudge;
    connect(cmdNorth_, &QPushButton::clicked, this, [this] { model_.NudgeScope(N::North); });
    connect(cmdSouth_, &QPushButton::clicked, this, [this] { model_.NudgeScope(N::South); });
    connect(cmdEast_, &QPushButton::clicked, this, [this] { model_.NudgeScope(N::East); });
    // W acts as soon as the mouse button goes down.
    connect(cmdWest_, &QPushButton::pressed, this, [this] { model_.NudgeScope(N::West); });
    connect(cmdStopSlew_, &QPushButton::clicked, this, [this] { model_.StopSlew(); });
    auto& stars = model_.manual().stars();
    connect(prevUnused, &QPushButton::clicked, this, [&stars] { stars.PrevUnusedStar(); });
    connect(prev, &QPushButton::clicked, this, [&stars] { stars.PrevStar(); });
    connect(next, &QPushButton::clicked, this, [&stars] { stars.NextStar(); });
    connect(nextUnused, &QPushButton::clicked, this, [&stars] { stars.NextUnusedStar(); });
    connect(cmbNearStars_, &QComboBox::activated, this,
            [&stars](int line) { stars.ClickLine(line); });
    connect(cmdSlew_, &QPushButton::clicked, this, [this] { model_.manual().Slew2NearStar(); });
    connect(btnCorrect_, &QPushButton::clicked, this, [this] { model_.manual().AddObservation(); });
    connect(optFullCal_, &QRadioButton::clicked, this, [this] { model_.SelectCalibrationType(0); });
    connect(optReCalPerm_, &QRadioButton::clicked, this,
            [this] { model_.SelectCalibrationType(1); });
    connect(optRecalPort_, &QRadioButton::clicked, this,
            [this] { model_.SelectCalibrationType(2); });
    connect(chkAddToCal_, &QCheckBox::clicked, this, [this](bool on) { model_.SetAddToCal(on); });
    connect(cmdStartCal_, &QPushButton::clicked, this,
            [this] { model_.StartCal(showObservations_); });
    connect(cmdStopCal_, &QPushButton::clicked, this, [this] { model_.StopCal(); });
    connect(obs, &QPushButton::clicked, this, [this] {
        if (toggleObservations_) toggleObservations_();
    });
    connect(cmdSiteInfo_, &QPushButton::clicked, this, [this] {
        if (openSetup_) openSetup_();
    });
    connect(errors, &QPushButton::clicked, this, [this] {
        if (toggleErrors_) toggleErrors_();
    });
    connect(qobject_cast<QPushButton*>(calibration_.front()), &QPushButton::clicked, this, [this] {
        if (toggleAutoCal_) toggleAutoCal_();
    });
    connect(btnAlignPolar_, &QPushButton::clicked, this, [this] {
        if (openAlignPolar_) openAlignPolar_();
    });
    connect(cmdEyepiece_, &QPushButton::clicked, this, [this] {
        if (toggleEyepiece_) toggleEyepiece_();
    });
    connect(map, &QPushButton::clicked, this, [this] {
        if (toggleMap_) toggleMap_();
    });
    const auto showAbout = [this] {
        if (openAbout_) openAbout_();
    };
    connect(about, &QPushButton::clicked, this, showAbout);
    connect(aboutAction, &QAction::triggered, this, showAbout);
    connect(manual, &QAction::triggered, this, [this] {
        if (openManual_) openManual_();
    });
    connect(nightAction_, &QAction::toggled, this, [this](bool on) {
        if (on != model_.NightMode) model_.SetNightMode(on);
    });
    connect(&model_, &models::MainModel::changed, this, &MainWindow::Sync);
    connect(&model_, &models::MainModel::onTopChanged, this,
            [this](bool on) { SetTopmost(this, on); });
    Sync();
}

void MainWindow::PlaceNudgeButtons() {
    // Design places: N above, S below, W left, E right (east is on the
    // right seen from behind the eyepiece looking south). South of the
    // equator N and S, E and W take each other's places.
    const bool x = model_.nudgeExchanged;
    for (auto* b : {cmdNorth_, cmdSouth_, cmdEast_, cmdWest_}) nudgeGrid_->removeWidget(b);
    nudgeGrid_->addWidget(x ? cmdSouth_ : cmdNorth_, 0, 1, Qt::AlignCenter);
    nudgeGrid_->addWidget(x ? cmdNorth_ : cmdSouth_, 2, 1, Qt::AlignCenter);
    nudgeGrid_->addWidget(x ? cmdEast_ : cmdWest_, 1, 0, Qt::AlignCenter);
    nudgeGrid_->addWidget(x ? cmdWest_ : cmdEast_, 1, 2, Qt::AlignCenter);
    placedExchanged_ = x;
    nudgeGrid_->activate();
}

void MainWindow::Sync() {
    const auto& m = model_;
    const auto& c = m.controls();
    if (txtStatus_->toPlainText() != QString(m.txtStatus).replace("\r\n", "\n"))
        txtStatus_->setPlainText(QString(m.txtStatus).replace("\r\n", "\n"));
    const QString* scope[] = {&m.lblScopeRA, &m.lblScopeDec, &m.lblScopeAlt, &m.lblScopeAz};
    const QString* corr[] = {&m.lblCorrRA, &m.lblCorrDec, &m.lblCorrAlt, &m.lblCorrAz};
    const QString* target[] = {&m.lblTrueRA, &m.lblTrueDec, &m.lblTrueAlt, &m.lblTrueAz};
    for (int i = 0; i < 4; ++i) {
        lblScope_[i]->setText(*scope[i]);
        lblCorr_[i]->setText(*corr[i]);
        lblTrue_[i]->setText(*target[i]);
    }
    lblLST_->setText(m.lblLST);
    if (c.Calibrating) lblCalStatus_->setText(c.lblCalStatus);
    chkApplyCorr_->setChecked(m.calibration().chkApplyCorr);
    chkLock_->setChecked(c.chkLock);
    chkOnTop_->setChecked(m.chkOnTop);
    cmbInverted_->setCurrentIndex(m.cmbInverted);
    cmbDegMinSec_->setCurrentIndex(m.cmbDegMinSec);
    if (txtNudgeIncr_->text() != m.txtNudgeIncr) txtNudgeIncr_->setText(m.txtNudgeIncr);
    nightAction_->setChecked(m.NightMode);

    const bool slewCtl = c.slewControlsEnabled;
    for (QWidget* w : {static_cast<QWidget*>(cmdNorth_), static_cast<QWidget*>(cmdSouth_),
                       static_cast<QWidget*>(cmdEast_), static_cast<QWidget*>(cmdWest_),
                       static_cast<QWidget*>(chkLock_), static_cast<QWidget*>(txtNudgeIncr_),
                       updnIncrement_, static_cast<QWidget*>(cmbDegMinSec_)})
        w->setEnabled(slewCtl);
    // "Scope Setup" stays usable while nothing moves.
    cmdSiteInfo_->setEnabled(!c.cmdStopSlewEnabled);
    const auto& stars = model_.manual().stars();
    const bool picking = slewCtl && stars.PickCount() > 0;
    for (QWidget* w : pickList_) w->setEnabled(picking);
    cmdSlew_->setEnabled(picking && stars.Current() != nullptr);
    if (shownStars_ != stars.cmbNearStars) {
        const QSignalBlocker block(cmbNearStars_);
        cmbNearStars_->clear();
        cmbNearStars_->addItems(stars.cmbNearStars);
        shownStars_ = stars.cmbNearStars;
    }
    if (cmbNearStars_->currentIndex() != stars.cmbNearStarsIndex) {
        const QSignalBlocker block(cmbNearStars_);
        cmbNearStars_->setCurrentIndex(stars.cmbNearStarsIndex);
    }
    cmdStopSlew_->setEnabled(c.cmdStopSlewEnabled);
    cmdEyepiece_->setEnabled(model_.SimulatorConnected());
    cmbInverted_->setEnabled(c.cmbInvertedEnabled);
    btnCorrect_->setEnabled(c.btnCorrectEnabled);
    btnAlignPolar_->setEnabled(c.btnAlignPolarEnabled);
    const auto& cal = m.calibration();
    using Mode = calibration::CalibrationMode;
    // Checking one option clears the others of the group.
    (cal.calibrationType == Mode::calFull   ? optFullCal_
     : cal.calibrationType == Mode::calPerm ? optReCalPerm_
                                            : optRecalPort_)
        ->setChecked(true);
    chkAddToCal_->setChecked(cal.chkAddToCal);
    optFullCal_->setEnabled(m.optFullCalEnabled());
    optReCalPerm_->setEnabled(m.optRecalEnabled());
    optRecalPort_->setEnabled(m.optRecalEnabled());
    chkAddToCal_->setEnabled(cal.calOptionsEnabled);
    cmdStartCal_->setEnabled(c.cmdStartCalEnabled);
    cmdStopCal_->setEnabled(m.cmdStopCalEnabled());
    // "Auto" adds to a calibration in progress only.
    for (QWidget* w : calibration_) w->setEnabled(m.cmdStopCalEnabled());
    if (placedExchanged_ != m.nudgeExchanged) PlaceNudgeButtons();
}

void MainWindow::PlaceFromSettings() {
    auto& s = model_.program().settings();
    PlaceWindow(this, s.PosMainX, s.PosMainY);
    SetTopmost(this, s.OnTop);
}

void MainWindow::RememberPlace() {
    auto& s = model_.program().settings();
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) return;
    RememberWindowPlace(this, s.PosMainX, s.PosMainY);
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!model_.QueryUnload(showObservations_)) {
        e->ignore();
        return;
    }
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) showNormal();
    RememberPlace();
    e->accept();
    QApplication::quit();
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        model_.StopSlew();
        return;
    }
    QMainWindow::keyPressEvent(e);
}

void MainWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) {
            KeepWindowOnScreen(this);
            SetTopmost(this, model_.program().settings().OnTop);
        } else if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
            RememberPlace();
        }
    }
    QMainWindow::changeEvent(e);
}

}  // namespace celaris::windows
