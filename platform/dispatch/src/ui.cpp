#include "celaris/dispatch/ui.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>

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

struct Ui::Deferred {
    int depth = 0;
    QList<QPair<Message, std::function<void()>>> boxes;
};

Ui::Ui() : deferred_(std::make_shared<Deferred>()) {}

Ui::~Ui() = default;

Ui::ClientCall::ClientCall(Ui& ui) : ui_(ui) {
    ++ui_.deferred_->depth;
}

Ui::ClientCall::~ClientCall() {
    if (--ui_.deferred_->depth > 0 || ui_.deferred_->boxes.isEmpty()) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        ui_.ShowDeferred();
        return;
    }
    // The Ui may be gone by the time the event loop comes round.
    std::weak_ptr<Deferred> alive = ui_.deferred_;
    Ui* ui = &ui_;
    QMetaObject::invokeMethod(
        app,
        [alive, ui] {
            if (const auto d = alive.lock(); d && d->depth == 0) ui->ShowDeferred();
        },
        Qt::QueuedConnection);
}

int Ui::pendingBoxes() const {
    return int(deferred_->boxes.size());
}

void Ui::ShowDeferred() {
    while (!deferred_->boxes.isEmpty()) {
        auto [message, afterwards] = deferred_->boxes.takeFirst();
        ShowMessage(message);
        if (afterwards) afterwards();
    }
}

void Ui::Inform(const Message& message, std::function<void()> afterwards) {
    if (deferred_->depth > 0) {
        deferred_->boxes.append({message, std::move(afterwards)});
        return;
    }
    ShowMessage(message);
    if (afterwards) afterwards();
}

void Ui::Log(const QString& line) {
    std::fprintf(stderr, "celaris: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

void Ui::ShowError(const ComError& error) {
    std::function<void()> afterwards;
    if (error.number() == kErrHubNotConnected)
        afterwards = [this, error] {
            if (notConnected_) notConnected_(error);
        };
    Inform({ShowErrorText(error), programTitle_, MessageIcon::Critical, MessageButtons::Ok,
            std::nullopt},
           std::move(afterwards));
}

void Ui::ShowCurrentError() {
    ShowError(CurrentError(programTitle_));
}

void Ui::ReportUnsupported(const QString& member) {
    Inform({ReportUnsupportedText(member), programTitle_, MessageIcon::Critical, MessageButtons::Ok,
            std::nullopt},
           {});
}

void Ui::ReportFailing(const QString& member) {
    Inform({ReportFailingText(member), programTitle_, MessageIcon::Critical, MessageButtons::Ok,
            std::nullopt},
           {});
}

bool Ui::ConfirmDiscard() {
    return ShowMessage(ConfirmDiscardMessage()) == MessageAnswer::Cancel;
}

}  // namespace celaris::dispatch
