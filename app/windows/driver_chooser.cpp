#include "driver_chooser.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <thread>

#include "celaris/drivers/alpaca/discovery.h"
#include "celaris/drivers_list/installed_drivers.h"

namespace celaris::windows {

DriverChooser::DriverChooser(const QString& current, const QList<dispatch::DriverChoice>& choices,
                             profile::Profile* profile, QWidget* parent)
    : QDialog(parent), profile_(profile) {
    setObjectName(QStringLiteral("frmChooser"));
    setWindowTitle(QStringLiteral("Telescope Chooser"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select the telescope driver Celaris controls:")));
    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("lstDrivers"));
    layout->addWidget(list_);
    for (const auto& c : choices) AddChoice(c);
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->data(Qt::UserRole).toString() == current) list_->setCurrentRow(i);
    if (list_->currentRow() < 0 && list_->count() > 0) list_->setCurrentRow(0);

    auto* row = new QHBoxLayout;
    discover_ = new QPushButton(QStringLiteral("Discover Alpaca"));
    discover_->setObjectName(QStringLiteral("cmdDiscover"));
    discover_->setToolTip(QStringLiteral("Look for Alpaca telescopes on the network"));
    auto* add = new QPushButton(QStringLiteral("Add Alpaca device…"));
    add->setObjectName(QStringLiteral("cmdAddAlpaca"));
    add->setToolTip(QStringLiteral("Enter an Alpaca telescope as HOST:PORT/N"));
    row->addWidget(discover_);
    row->addWidget(add);
    row->addStretch();
    layout->addLayout(row);
    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("lblNote"));
    layout->addWidget(note_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(discover_, &QPushButton::clicked, this, &DriverChooser::Discover);
    connect(add, &QPushButton::clicked, this, [this] {
        bool ok = false;
        const QString text = QInputDialog::getText(
            this, QStringLiteral("Add Alpaca device"),
            QStringLiteral("Alpaca telescope as HOST:PORT/N (for example 192.168.1.20:11111/0):"),
            QLineEdit::Normal, QString(), &ok);
        if (ok && !text.trimmed().isEmpty()) AddAlpacaDevice(text.trimmed());
    });
    resize(480, 360);
}

void DriverChooser::AddChoice(const dispatch::DriverChoice& c) {
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->data(Qt::UserRole).toString() == c.progId) return;
    auto* item = new QListWidgetItem(
        c.description == c.progId ? c.progId
                                  : QStringLiteral("%1    (%2)").arg(c.description, c.progId));
    item->setData(Qt::UserRole, c.progId);
    list_->addItem(item);
}

QString DriverChooser::chosen() const {
    const auto* item = list_->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

bool DriverChooser::AddAlpacaDevice(const QString& address) {
    const QString id = address.startsWith(QLatin1String(drivers_list::kAlpacaPrefix))
                           ? address
                           : QString::fromLatin1(drivers_list::kAlpacaPrefix) + address;
    const auto parsed = drivers_list::ParseAlpacaProgId(id);
    if (!parsed) {
        QMessageBox::warning(this, QStringLiteral("Add Alpaca device"),
                             QStringLiteral("\"%1\" is not an Alpaca telescope address; enter "
                                            "HOST:PORT/N, for example 192.168.1.20:11111/0.")
                                 .arg(address));
        return false;
    }
    const QString progId = drivers_list::AlpacaProgId(*parsed);
    if (profile_) drivers_list::AddAlpacaTelescope(*profile_, *parsed);
    AddChoice({progId, profile_ ? profile_->DriverDescription(progId) : progId});
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->data(Qt::UserRole).toString() == progId) list_->setCurrentRow(i);
    return true;
}

void DriverChooser::Discover() {
    // The broadcast waits a second for answers; the window stays live.
    discover_->setEnabled(false);
    note_->setText(QStringLiteral("Looking for Alpaca telescopes…"));
    QPointer<DriverChooser> self(this);
    std::thread([self] {
        const auto found = DiscoverAlpacaTelescopes();
        QMetaObject::invokeMethod(
            qApp,
            [self, found] {
                if (!self) return;
                if (self->profile_) AddDiscoveredTelescopes(*self->profile_, found);
                for (const auto& t : found) self->AddChoice({t.progId(), t.deviceName});
                self->note_->setText(
                    QStringLiteral("%1 Alpaca telescope(s) found.").arg(found.size()));
                self->discover_->setEnabled(true);
            },
            Qt::QueuedConnection);
    }).detach();
}

}  // namespace celaris::windows
