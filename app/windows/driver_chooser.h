// The telescope chooser: the installed drivers (the simulator, the INDI
// catalogue's telescopes, the Alpaca telescopes added so far) with the
// current one preselected; Alpaca telescopes can be found on the network or
// entered as HOST:PORT/N, and join the list at once.
#pragma once

#include <QDialog>
#include <QList>

#include "celaris/dispatch/ui.h"
#include "celaris/profile/profile.h"

class QListWidget;
class QPushButton;
class QLabel;

namespace celaris::windows {

class DriverChooser : public QDialog {
    Q_OBJECT
  public:
    DriverChooser(const QString& current, const QList<dispatch::DriverChoice>& choices,
                  profile::Profile* profile, QWidget* parent = nullptr);

    QString chosen() const;
    // "HOST:PORT/N" typed by the user: added to the list and selected; false
    // with a message when it is not an Alpaca address.
    bool AddAlpacaDevice(const QString& address);

  private:
    void AddChoice(const dispatch::DriverChoice& c);
    void Discover();

    QListWidget* list_;
    QPushButton* discover_;
    QLabel* note_;
    profile::Profile* profile_;
};

}  // namespace celaris::windows
