// The browser console's data and actions: the setup window, the horizon
// editor, the main window's status, the model terms and the observation
// list, each through the same model the window uses, so the pages apply the
// windows' checks, clamps and messages and never copies of them.
#pragma once

#include <QJsonObject>
#include <QStringList>

#include <memory>
#include <optional>

#include "celaris/alpaca/console.h"
#include "celaris/calibration/auto_calibration.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/dispatch/ui.h"
#include "celaris/hub/program.h"

namespace celaris::models {

class MainModel;
class SetupModel;
class HorizonModel;
class ErrorsModel;
class ObservationListModel;
class ObservationSelection;
class PlotModel;
class MapModel;

// The program's Ui, passed through except while a console call runs: then
// the boxes the models raise are collected for the page and answered with
// their safe answer (or, when the page confirmed, the one that goes on), and
// the file and driver dialogs take the page's answers.
class ConsoleUi : public dispatch::Ui {
  public:
    explicit ConsoleUi(dispatch::Ui& inner) : inner_(inner) {}

    dispatch::MessageAnswer ShowMessage(const dispatch::Message& message) override;
    QString GetOpenFileName(const dispatch::FileRequest& request) override;
    QString GetSaveFileName(const dispatch::FileRequest& request) override;
    QString ChooseDriver(const QString& current,
                         const QList<dispatch::DriverChoice>& choices) override;
    void Log(const QString& line) override { inner_.Log(line); }

    // One console call: collects its boxes until it ends.
    class Capture {
      public:
        Capture(ConsoleUi& ui, bool confirmed, QString fileAnswer = {}, QString driverAnswer = {});
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;
        QStringList messages() const { return ui_.messages_; }

      private:
        ConsoleUi& ui_;
    };

  private:
    dispatch::Ui& inner_;
    bool capturing_ = false;
    bool confirmed_ = false;
    QString fileAnswer_, driverAnswer_;
    QStringList messages_;
};

// The windows' models when the program has windows; those left null are
// made by the console (the program without windows).
struct ConsoleModels {
    MainModel* main = nullptr;
    SetupModel* setup = nullptr;
    HorizonModel* horizon = nullptr;
    ErrorsModel* errors = nullptr;
};

class WebConsole : public alpaca::ConsoleHandler {
  public:
    WebConsole(hub::Program& program, calibration::CalibrationStore& store, ConsoleUi& ui,
               ConsoleModels shared = {});
    ~WebConsole() override;

    std::optional<QJsonObject> Get(const QString& name) override;
    std::optional<QJsonObject> Post(const QString& name,
                                    const QMap<QString, QString>& fields) override;

    // The automatic run, the one the Auto Calibration window shows; without
    // it the pages have no such section.
    void SetAutoCalibration(calibration::AutoCalibration* run) { autoCal_ = run; }

    // The pictures' size in the page, pixels.
    static constexpr int kPictureSize = 400;

  private:
    QJsonObject SetupJson();
    QJsonObject StatusJson();
    QJsonObject Drivers();
    QJsonObject AutoCalJson();
    // The run's buttons and its settings, one at a time as the run takes
    // them; its refusals go to refused unless a box already said so.
    // False when refused.
    bool AutoCalAction(const QString& name, const QMap<QString, QString>& fields,
                       QStringList& refused, const ConsoleUi::Capture& boxes);
    // The setup window's OK with the page's fields; the settings written.
    bool SetupOk(const QMap<QString, QString>& fields, QStringList& refused);
    bool HorizonOk(const QMap<QString, QString>& fields, QStringList& refused);
    bool ObservationAction(const QString& name, const QMap<QString, QString>& fields,
                           QStringList& refused);
    void WriteSettings();

    hub::Program& program_;
    calibration::CalibrationStore& store_;
    ConsoleUi& ui_;
    ConsoleModels models_;
    std::unique_ptr<MainModel> ownMain_;
    std::unique_ptr<SetupModel> ownSetup_;
    std::unique_ptr<HorizonModel> ownHorizon_;
    std::unique_ptr<ErrorsModel> ownErrors_;
    std::unique_ptr<ObservationListModel> observations_;
    std::unique_ptr<ObservationSelection> selection_;
    std::unique_ptr<PlotModel> plot_;
    std::unique_ptr<MapModel> map_;
    calibration::AutoCalibration* autoCal_ = nullptr;
};

}  // namespace celaris::models
