#include "celaris/dispatch/ui.h"

#include "celaris/dispatch/errors.h"

namespace celaris::dispatch {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

MessageAnswer SafeAnswer(const Message& message) {
    if (message.safeAnswer) return *message.safeAnswer;
    switch (message.buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
        case MessageButtons::RetryCancel:
            return MessageAnswer::Cancel;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::AbortRetryIgnore:
            return MessageAnswer::Abort;
    }
    return MessageAnswer::Cancel;
}

QString ShowErrorText(const ComError& error) {
    // The number in signed decimal: 0x80040402 reads -2147220478.
    return QStringLiteral("Error Number: ") + QString::number(error.number()) + kCrLf +
           QStringLiteral("Source: ") + error.source() + kCrLf + error.description();
}

QString ReportUnsupportedText(const QString& member) {
    return QStringLiteral("The telescope driver reports that ") + member +
           QStringLiteral(" is not supported.");
}

QString ReportFailingText(const QString& member) {
    return QStringLiteral("The telescope driver reports that ") + member +
           QStringLiteral(" is supported.") + kCrLf +
           QStringLiteral("However, it reports an error when ") + member +
           QStringLiteral(" is called.");
}

Message ConfirmDiscardMessage() {
    Message m;
    m.title = QStringLiteral("A Note of Caution");
    m.text =
        QStringLiteral("Your current Calibration has not been saved.") + kCrLf +
        QStringLiteral("If you wish to continue and delete the current observations, press OK.") +
        kCrLf +
        QStringLiteral(
            "If you wish to cancel the current operation and save your work, "
            "press Cancel.");
    m.icon = MessageIcon::Warning;
    m.buttons = MessageButtons::OkCancel;
    m.safeAnswer = MessageAnswer::Cancel;  // keeps the observations
    return m;
}

void Ui::ShowError(const ComError& error) {
    ShowMessage({ShowErrorText(error), programTitle_, MessageIcon::Critical, MessageButtons::Ok,
                 std::nullopt});
    if (error.number() == kErrHubNotConnected && notConnected_) notConnected_(error);
}

void Ui::ShowCurrentError() {
    ShowError(CurrentError(programTitle_));
}

void Ui::ReportUnsupported(const QString& member) {
    ShowMessage({ReportUnsupportedText(member), programTitle_, MessageIcon::Critical,
                 MessageButtons::Ok, std::nullopt});
}

void Ui::ReportFailing(const QString& member) {
    ShowMessage({ReportFailingText(member), programTitle_, MessageIcon::Critical,
                 MessageButtons::Ok, std::nullopt});
}

bool Ui::ConfirmDiscard() {
    return ShowMessage(ConfirmDiscardMessage()) == MessageAnswer::Cancel;
}

}  // namespace celaris::dispatch
