#include "celaris/dispatch/headless_ui.h"

namespace celaris::dispatch {

namespace {
const char* AnswerName(MessageAnswer a) {
    switch (a) {
        case MessageAnswer::Ok:
            return "OK";
        case MessageAnswer::Cancel:
            return "Cancel";
        case MessageAnswer::Yes:
            return "Yes";
        case MessageAnswer::No:
            return "No";
        case MessageAnswer::Retry:
            return "Retry";
        case MessageAnswer::Abort:
            return "Abort";
        case MessageAnswer::Ignore:
            return "Ignore";
    }
    return "?";
}
}  // namespace

void HeadlessUi::Log(const QString& line) {
    if (log_ == nullptr) return;
    std::fprintf(log_, "celaris: %s\n", line.toUtf8().constData());
    std::fflush(log_);
}

MessageAnswer HeadlessUi::ShowMessage(const Message& message) {
    const MessageAnswer answer = SafeAnswer(message);
    QString text = message.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
    Log(QStringLiteral("[%1] %2 -> %3")
            .arg(message.title, text, QString::fromLatin1(AnswerName(answer))));
    return answer;
}

QString HeadlessUi::GetOpenFileName(const FileRequest& request) {
    Log(QStringLiteral("[%1] no file can be chosen without a screen").arg(request.title));
    return {};
}

QString HeadlessUi::GetSaveFileName(const FileRequest& request) {
    Log(QStringLiteral("[%1] no file can be chosen without a screen").arg(request.title));
    return {};
}

QString HeadlessUi::ChooseDriver(const QString& current, const QList<DriverChoice>&) {
    Log(QStringLiteral("no driver can be chosen without a screen; keeping \"%1\"").arg(current));
    return {};
}

}  // namespace celaris::dispatch
