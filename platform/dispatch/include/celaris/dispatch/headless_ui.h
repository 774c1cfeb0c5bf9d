// The user interface of a program without a screen: every box is logged and
// answered with its safe default; dialogs and the chooser count as cancelled.
#pragma once

#include <cstdio>

#include "celaris/dispatch/ui.h"

namespace celaris::dispatch {

class HeadlessUi : public Ui {
  public:
    // Logs to stderr unless another stream is given.
    explicit HeadlessUi(std::FILE* log = stderr) : log_(log) {}

    MessageAnswer ShowMessage(const Message& message) override;
    QString GetOpenFileName(const FileRequest& request) override;
    QString GetSaveFileName(const FileRequest& request) override;
    QString ChooseDriver(const QString& current, const QList<DriverChoice>& choices) override;
    void Log(const QString& line) override;

  private:
    std::FILE* log_;
};

}  // namespace celaris::dispatch
