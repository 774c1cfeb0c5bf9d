#include "scripted_ui.h"

namespace celaris::test {

ScriptedUi::MessageAnswer ScriptedUi::ShowMessage(const Message& message) {
    const MessageAnswer answer =
        answers_.isEmpty() ? dispatch::SafeAnswer(message) : answers_.dequeue();
    shown_.append(message);
    answersGiven_.append(answer);
    return answer;
}

QString ScriptedUi::GetOpenFileName(const FileRequest& request) {
    fileRequests_.append(request);
    return fileNames_.isEmpty() ? QString() : fileNames_.dequeue();
}

QString ScriptedUi::GetSaveFileName(const FileRequest& request) {
    fileRequests_.append(request);
    return fileNames_.isEmpty() ? QString() : fileNames_.dequeue();
}

QString ScriptedUi::ChooseDriver(const QString& current, const QList<DriverChoice>& choices) {
    ++chooserShown_;
    chooserCurrent_ = current;
    chooserChoices_ = choices;
    return driverChoices_.isEmpty() ? QString() : driverChoices_.dequeue();
}

void ScriptedUi::ClearRecord() {
    shown_.clear();
    answersGiven_.clear();
    fileRequests_.clear();
    chooserChoices_.clear();
    chooserCurrent_.clear();
    chooserShown_ = 0;
}

}  // namespace celaris::test
