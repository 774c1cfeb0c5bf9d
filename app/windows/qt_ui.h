// The Ui service on the desktop: real message boxes, file dialogs and the
// driver chooser. Every dialog is owned by the active window.
#pragma once

#include <QWidget>

#include "celaris/dispatch/ui.h"
#include "celaris/profile/profile.h"

namespace celaris::windows {

class QtUi : public dispatch::Ui {
  public:
    QtUi() = default;

    // The settings store the chooser adds discovered Alpaca telescopes to.
    void SetProfile(profile::Profile* profile) { profile_ = profile; }

    dispatch::MessageAnswer ShowMessage(const dispatch::Message& message) override;
    QString GetOpenFileName(const dispatch::FileRequest& request) override;
    QString GetSaveFileName(const dispatch::FileRequest& request) override;
    QString ChooseDriver(const QString& current,
                         const QList<dispatch::DriverChoice>& choices) override;

  private:
    profile::Profile* profile_ = nullptr;
};

// The widget dialogs belong to: the active window, else the main window.
QWidget* DialogParent();

}  // namespace celaris::windows
