// A user interface for tests: answers come from queues the test fills, and
// everything shown is recorded for the test to read back. An empty queue
// answers like the headless interface (safe default, cancelled dialogs).
#pragma once

#include <QList>
#include <QQueue>

#include "celaris/dispatch/ui.h"

namespace celaris::test {

class ScriptedUi : public dispatch::Ui {
  public:
    using DriverChoice = dispatch::DriverChoice;
    using FileRequest = dispatch::FileRequest;
    using Message = dispatch::Message;
    using MessageAnswer = dispatch::MessageAnswer;

  public:
    void QueueAnswer(MessageAnswer answer) { answers_.enqueue(answer); }
    void QueueFileName(QString path) { fileNames_.enqueue(std::move(path)); }
    void QueueDriverChoice(QString progId) { driverChoices_.enqueue(std::move(progId)); }

    MessageAnswer ShowMessage(const Message& message) override;
    QString GetOpenFileName(const FileRequest& request) override;
    QString GetSaveFileName(const FileRequest& request) override;
    QString ChooseDriver(const QString& current, const QList<DriverChoice>& choices) override;

    // Boxes shown and the answers they got, in order.
    const QList<Message>& shown() const { return shown_; }
    const QList<MessageAnswer>& answersGiven() const { return answersGiven_; }
    const QList<FileRequest>& fileRequests() const { return fileRequests_; }
    // What the chooser was last shown with.
    const QString& chooserCurrent() const { return chooserCurrent_; }
    const QList<DriverChoice>& chooserChoices() const { return chooserChoices_; }
    int chooserShown() const { return chooserShown_; }

    void ClearRecord();

  private:
    QQueue<MessageAnswer> answers_;
    QQueue<QString> fileNames_;
    QQueue<QString> driverChoices_;
    QList<Message> shown_;
    QList<MessageAnswer> answersGiven_;
    QList<FileRequest> fileRequests_;
    QString chooserCurrent_;
    QList<DriverChoice> chooserChoices_;
    int chooserShown_ = 0;
};

}  // namespace celaris::test
