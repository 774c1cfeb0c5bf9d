#include "qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "driver_chooser.h"
#include "window_rules.h"

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

namespace {

QString RunFileDialog(const dispatch::FileRequest& r, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(DialogParent(), r.title, r.directory);
    dialog.setObjectName(QStringLiteral("dlgFile"));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(models::FileDialogFilters(r.filter));
    // A name typed without an extension gets the filter's, and the dialog
    // asks before an existing file is replaced (its default).
    if (mode == QFileDialog::AcceptSave)
        dialog.setDefaultSuffix(models::FileDialogSuffix(r.filter));
    if (!r.fileName.isEmpty()) dialog.selectFile(QDir(r.directory).filePath(r.fileName));
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles().value(0);
}

}  // namespace

QString QtUi::GetOpenFileName(const dispatch::FileRequest& r) {
    return RunFileDialog(r, QFileDialog::AcceptOpen);
}

QString QtUi::GetSaveFileName(const dispatch::FileRequest& r) {
    return RunFileDialog(r, QFileDialog::AcceptSave);
}

QString QtUi::ChooseDriver(const QString& current, const QList<dispatch::DriverChoice>& choices) {
    DriverChooser chooser(current, choices, profile_, DialogParent());
    if (chooser.exec() != QDialog::Accepted) return {};
    return chooser.chosen();
}

}  // namespace celaris::windows
