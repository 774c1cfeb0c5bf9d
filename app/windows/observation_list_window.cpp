#include "observation_list_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "window_place.h"
#include "window_rules.h"

namespace celaris::windows {

using models::kTwipsPerPixel;

namespace {

// The window's own layout, pixels: a row of buttons, the heading, the list.
constexpr int kMargin = 4;
constexpr int kButton = 32;
constexpr int kButtonStep = kButton + 4;
constexpr int kHeadingTop = kMargin + kButton + 4;
constexpr int kHeadingHeight = 20;
constexpr int kListTop = kHeadingTop + kHeadingHeight + 2;

int Pixels(int twips) {
    return (twips + kTwipsPerPixel - 1) / kTwipsPerPixel;
}

QFont FixedPitchFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPointSize(9);
    return f;
}

}  // namespace

// The style's item layout with the text moved right: the heading's "Use"
// is wider than a check box.
class ObservationListWidget::TextShiftStyle : public QProxyStyle {
  public:
    int shift = 0;
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        QRect r = QProxyStyle::subElementRect(element, option, widget);
        if (element == SE_ItemViewItemText) r.setLeft(r.left() + shift);
        return r;
    }
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_ItemViewItem) s.rwidth() += shift;
        return s;
    }
};

ObservationListWidget::ObservationListWidget(QWidget* parent)
    : QListWidget(parent), style_(std::make_unique<TextShiftStyle>()) {
    setStyle(style_.get());
}

ObservationListWidget::~ObservationListWidget() {
    // Back to the application's style before this one goes.
    setStyle(nullptr);
}

void ObservationListWidget::SetTextShift(int px) {
    style_->shift = px;
    doItemsLayout();
}

int ObservationListWidget::TextOffset() const {
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    opt.text = QStringLiteral("x");
    opt.rect = QRect(0, 0, 400, fontMetrics().height() + 2);
    const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, this);
    // The style draws the text inside the focus frame's margin.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &opt, this) + 1;
    return frameWidth() + text.left() + margin;
}

void ObservationListWidget::mouseReleaseEvent(QMouseEvent* e) {
    QListWidget::mouseReleaseEvent(e);
    emit released();
}

void ObservationListWidget::keyReleaseEvent(QKeyEvent* e) {
    QListWidget::keyReleaseEvent(e);
    if ((e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) && !e->isAutoRepeat()) emit released();
}

ObservationListWindow::ObservationListWindow(models::ObservationListModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setObjectName(QStringLiteral("frmObservations"));
    setWindowTitle(QStringLiteral("Calibration Observations"));

    const auto button = [this](const char* name, QStyle::StandardPixmap icon, const char* tip) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(style()->standardIcon(icon));
        b->setIconSize(QSize(20, 20));
        b->setToolTip(QString::fromUtf8(tip));
        b->setFixedSize(kButton, kButton);
        return b;
    };
    cmdOpen_ = button("cmdOpen", QStyle::SP_DialogOpenButton, "Load a previous calibration");
    cmdSave_ =
        button("cmdSave", QStyle::SP_DialogSaveButton, "Save the currently displayed calibration");
    cmdUpdate_ = button("cmdUpdate", QStyle::SP_BrowserReload,
                        "Update the calibration with the currently displayed data");
    cmdShowPlot_ =
        button("cmdShowPlot", QStyle::SP_FileDialogContentsView, "Scatter Plot of current data");
    cmdRemove_ =
        button("cmdRemove", QStyle::SP_TrashIcon, "Delete the currently highlighted observation");
    cmdUndo_ = button("cmdUndo", QStyle::SP_ArrowBack, "Undo last delete");
    // cmdUndo last: the narrowest window still shows every button.
    int x = kMargin;
    for (auto* b : {cmdOpen_, cmdSave_, cmdUpdate_, cmdShowPlot_, cmdRemove_, cmdUndo_}) {
        b->move(x, kMargin);
        x += kButtonStep;
    }

    txtHeadings_ = new QLabel(this);
    txtHeadings_->setObjectName(QStringLiteral("txtHeadings"));
    txtHeadings_->setFont(FixedPitchFont());
    txtHeadings_->setFrameShape(QFrame::StyledPanel);
    txtHeadings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lstObservations_ = new ObservationListWidget(this);
    lstObservations_->setObjectName(QStringLiteral("lstObservations"));
    lstObservations_->setFont(FixedPitchFont());
    lstObservations_->setSelectionMode(QAbstractItemView::SingleSelection);
    lstObservations_->setUniformItemSizes(true);

    connect(cmdUndo_, &QPushButton::clicked, this, [this] { model_.Undo(); });
    connect(cmdRemove_, &QPushButton::clicked, this, [this] { model_.Remove(); });
    connect(cmdShowPlot_, &QPushButton::clicked, this, [this] { model_.ShowPlot(); });
    connect(cmdUpdate_, &QPushButton::clicked, this, [this] { model_.Update(); });
    connect(cmdOpen_, &QPushButton::clicked, this, [this] { model_.Open(); });
    connect(cmdSave_, &QPushButton::clicked, this, [this] { model_.Save(); });
    connect(lstObservations_, &QListWidget::currentRowChanged, this,
            [this](int row) { model_.Select(row); });
    connect(lstObservations_, &ObservationListWidget::released, this, [this] {
        QList<bool> checked;
        for (int i = 0; i < lstObservations_->count(); ++i)
            checked.append(lstObservations_->item(i)->checkState() == Qt::Checked);
        model_.TakeUseFlags(checked);
    });
    connect(&model_, &models::ObservationListModel::changed, this, &ObservationListWindow::Sync);
    AlignHeading();
    Sync();
}

QSize ObservationListWindow::sizeHint() const {
    // The heading and the outlier column, and the lines up to twenty.
    const QFontMetrics fm(lstObservations_->font());
    const int text = fm.horizontalAdvance(QString::fromUtf8(models::kObservationHeading) +
                                          QStringLiteral("    "));
    const int lines = std::clamp(lstObservations_->count(), 10, 20);
    const int row = lstObservations_->sizeHintForRow(0);
    const int lineHeight = row > 0 ? row : fm.height() + 2;
    const int frame = 2 * lstObservations_->frameWidth();
    return {text + 2 * kMargin + 24, kListTop + lines * lineHeight + frame + 13};
}

void ObservationListWindow::AlignHeading() {
    // "Use" over the check boxes and "Name" over the names: whichever of
    // the heading and the texts starts short of the other moves right.
    lstObservations_->SetTextShift(0);
    const int use = QFontMetrics(txtHeadings_->font()).horizontalAdvance(QStringLiteral("Use   "));
    const int d = lstObservations_->TextOffset() - txtHeadings_->frameWidth() - use;
    txtHeadings_->setIndent(std::max(d, 0));
    lstObservations_->SetTextShift(std::max(-d, 0));
}

void ObservationListWindow::Sync() {
    const auto& m = model_;
    txtHeadings_->setText(m.txtHeadings);

    const auto& lines = m.lstObservations;
    bool same = lstObservations_->count() == lines.size();
    for (int i = 0; same && i < lines.size(); ++i) {
        const QListWidgetItem* it = lstObservations_->item(i);
        same = it->text() == lines[i].text &&
               (it->checkState() == Qt::Checked) == lines[i].checked &&
               it->data(Qt::UserRole).toInt() == lines[i].index && it->toolTip() == lines[i].tip;
    }
    const QSignalBlocker block(lstObservations_);
    if (!same) {
        lstObservations_->clear();
        for (const auto& line : lines) {
            auto* it = new QListWidgetItem(line.text);
            it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            it->setCheckState(line.checked ? Qt::Checked : Qt::Unchecked);
            it->setData(Qt::UserRole, line.index);
            it->setToolTip(line.tip);
            lstObservations_->addItem(it);
        }
    }
    if (lstObservations_->currentRow() != m.selected) lstObservations_->setCurrentRow(m.selected);

    cmdRemove_->setEnabled(m.cmdRemoveEnabled);
    cmdUpdate_->setEnabled(m.cmdUpdateEnabled);
    cmdSave_->setEnabled(m.cmdSaveEnabled);
    cmdShowPlot_->setEnabled(m.cmdShowPlotEnabled);
    cmdOpen_->setEnabled(m.cmdOpenEnabled());
    cmdUndo_->setEnabled(m.cmdUndoEnabled());
}

void ObservationListWindow::Load() {
    loaded_ = true;
    const models::TwipRect stored = model_.Load();
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize screenPx = s ? s->availableGeometry().size() : QSize(1024, 768);
    const auto r = models::KeepOnScreen(stored, screenPx.width(), screenPx.height());
    resize(Pixels(r.width), Pixels(r.height));
    move(r.left / kTwipsPerPixel, r.top / kTwipsPerPixel);
    AlignHeading();
}

void ObservationListWindow::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    model_.Unload({y() * kTwipsPerPixel, x() * kTwipsPerPixel, height() * kTwipsPerPixel,
                   width() * kTwipsPerPixel});
}

void ObservationListWindow::showEvent(QShowEvent* e) {
    if (!loaded_) Load();
    QWidget::showEvent(e);
}

void ObservationListWindow::closeEvent(QCloseEvent* e) {
    Unload();
    QWidget::closeEvent(e);
}

void ObservationListWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (windowState() & Qt::WindowMinimized) return;
    const int undoRight = (cmdUndo_->geometry().right() + 1) * kTwipsPerPixel;
    const auto l = models::ObservationListResize(width() * kTwipsPerPixel,
                                                 height() * kTwipsPerPixel, undoRight);
    if (l.width != width() * kTwipsPerPixel || l.height != height() * kTwipsPerPixel) {
        resize(Pixels(l.width), Pixels(l.height));
        return;
    }
    LayOut();
}

void ObservationListWindow::LayOut() {
    const auto l =
        models::ObservationListResize(width() * kTwipsPerPixel, height() * kTwipsPerPixel, 0);
    const int listWidth = l.listWidth / kTwipsPerPixel;
    txtHeadings_->setGeometry(kMargin, kHeadingTop, listWidth, kHeadingHeight);
    lstObservations_->setGeometry(kMargin, kListTop, listWidth, l.listHeight / kTwipsPerPixel);
}

void ObservationListWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() &&
        !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        KeepWindowOnScreen(this);
    QWidget::changeEvent(e);
}

}  // namespace celaris::windows
