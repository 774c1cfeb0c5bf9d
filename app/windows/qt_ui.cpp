#include "qt_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "driver_chooser.h"

namespace celaris::windows {

using dispatch::MessageAnswer;
using dispatch::MessageButtons;
using dispatch::MessageIcon;

QWidget* DialogParent() {
    if (QWidget* w = QApplication::activeModalWidget()) return w;
    if (QWidget* w = QApplication::activeWindow()) return w;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmMain")) return w;
    return nullptr;
}

namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(MessageButtons b) {
    switch (b) {
        case MessageButtons::Ok:
            return QMessageBox::Ok;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case MessageButtons::AbortRetryIgnore:
            return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

MessageAnswer AnswerOf(int button, const dispatch::Message& m) {
    switch (button) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Retry:
            return MessageAnswer::Retry;
        case QMessageBox::Abort:
            return MessageAnswer::Abort;
        case QMessageBox::Ignore:
            return MessageAnswer::Ignore;
        default:
            return dispatch::SafeAnswer(m);  // closed by the window manager
    }
}

QMessageBox::StandardButton ButtonOf(MessageAnswer a) {
    switch (a) {
        case MessageAnswer::Ok:
            return QMessageBox::Ok;
        case MessageAnswer::Cancel:
            return QMessageBox::Cancel;
        case MessageAnswer::Yes:
            return QMessageBox::Yes;
        case MessageAnswer::No:
            return QMessageBox::No;
        case MessageAnswer::Retry:
            return QMessageBox::Retry;
        case MessageAnswer::Abort:
            return QMessageBox::Abort;
        case MessageAnswer::Ignore:
            return QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

}  // namespace

MessageAnswer QtUi::ShowMessage(const dispatch::Message& message) {
    QMessageBox box(IconOf(message.icon), message.title,
                    QString(message.text).replace(QLatin1String("\r\n"), QLatin1String("\n")),
                    ButtonsOf(message.buttons), DialogParent());
    box.setObjectName(QStringLiteral("msgBox"));
    // Esc and the window's close button give the safe answer.
    box.setEscapeButton(ButtonOf(dispatch::SafeAnswer(message)));
    return AnswerOf(box.exec(), message);
}

QString QtUi::GetOpenFileName(const dispatch::FileRequest& r) {
    const QString start = r.fileName.isEmpty() ? r.directory : r.directory + '/' + r.fileName;
    return QFileDialog::getOpenFileName(DialogParent(), r.title, start, r.filter);
}

QString QtUi::GetSaveFileName(const dispatch::FileRequest& r) {
    const QString start = r.fileName.isEmpty() ? r.directory : r.directory + '/' + r.fileName;
    return QFileDialog::getSaveFileName(DialogParent(), r.title, start, r.filter);
}

QString QtUi::ChooseDriver(const QString& current, const QList<dispatch::DriverChoice>& choices) {
    DriverChooser chooser(current, choices, profile_, DialogParent());
    if (chooser.exec() != QDialog::Accepted) return {};
    return chooser.chosen();
}

}  // namespace celaris::windows
