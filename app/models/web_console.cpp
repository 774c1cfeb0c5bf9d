#include "web_console.h"

#include <QJsonArray>

#include "celaris/calibration/calibration_scripting.h"
#include "celaris/calibration/documents_folder.h"
#include "celaris/dispatch/errors.h"
#include "celaris/drivers/alpaca/discovery.h"
#include "celaris/profile/settings.h"
#include "errors_model.h"
#include "horizon_model.h"
#include "main_model.h"
#include "manual_calibration.h"
#include "map_model.h"
#include "observation_list_model.h"
#include "observation_selection.h"
#include "plot_model.h"
#include "setup_model.h"

namespace celaris::models {

using dispatch::MessageAnswer;

// --- ConsoleUi ---

MessageAnswer ConsoleUi::ShowMessage(const dispatch::Message& message) {
    if (!capturing_) return inner_.ShowMessage(message);
    messages_.append(QString(message.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    const MessageAnswer safe = dispatch::SafeAnswer(message);
    if (!confirmed_) return safe;
    // The page asked to go on: the answer that is not the safe one.
    switch (message.buttons) {
        case dispatch::MessageButtons::OkCancel:
            return MessageAnswer::Ok;
        case dispatch::MessageButtons::YesNo:
        case dispatch::MessageButtons::YesNoCancel:
            return safe == MessageAnswer::Yes ? MessageAnswer::No : MessageAnswer::Yes;
        default:
            return safe;
    }
}

QString ConsoleUi::GetOpenFileName(const dispatch::FileRequest& request) {
    return capturing_ ? fileAnswer_ : inner_.GetOpenFileName(request);
}

QString ConsoleUi::GetSaveFileName(const dispatch::FileRequest& request) {
    return capturing_ ? fileAnswer_ : inner_.GetSaveFileName(request);
}

QString ConsoleUi::ChooseDriver(const QString& current,
                                const QList<dispatch::DriverChoice>& choices) {
    if (!capturing_) return inner_.ChooseDriver(current, choices);
    // Only a driver of the list may be picked, as in the chooser.
    for (const auto& c : choices)
        if (c.progId == driverAnswer_) return c.progId;
    messages_.append(QStringLiteral("\"%1\" is not an installed driver.").arg(driverAnswer_));
    return {};
}

ConsoleUi::Capture::Capture(ConsoleUi& ui, bool confirmed, QString fileAnswer, QString driverAnswer)
    : ui_(ui) {
    ui_.capturing_ = true;
    ui_.confirmed_ = confirmed;
    ui_.fileAnswer_ = std::move(fileAnswer);
    ui_.driverAnswer_ = std::move(driverAnswer);
    ui_.messages_.clear();
}

ConsoleUi::Capture::~Capture() {
    ui_.capturing_ = false;
}

// --- WebConsole ---

namespace {

QJsonArray Strings(const auto& list) {
    QJsonArray a;
    for (const QString& s : list) a.append(s);
    return a;
}

QString Colour(const Rgb& c) {
    return QStringLiteral("#%1%2%3")
        .arg(c.r, 2, 16, QLatin1Char('0'))
        .arg(c.g, 2, 16, QLatin1Char('0'))
        .arg(c.b, 2, 16, QLatin1Char('0'));
}

// The shapes the windows paint, for the page to draw as SVG.
QJsonObject DrawingJson(const Drawing& d) {
    static const char* const kKinds[] = {"line", "circle", "disc", "text"};
    static const char* const kAnchors[] = {"tl", "tc", "tr", "ml", "bl", "bc", "br"};
    QJsonArray shapes;
    for (const Shape& s : d.shapes) {
        QJsonObject o{{QStringLiteral("k"), QLatin1String(kKinds[int(s.kind)])},
                      {QStringLiteral("c"), Colour(s.colour)},
                      {QStringLiteral("x"), s.p1.x()},
                      {QStringLiteral("y"), s.p1.y()}};
        switch (s.kind) {
            case Shape::Kind::Line:
                o.insert(QStringLiteral("x2"), s.p2.x());
                o.insert(QStringLiteral("y2"), s.p2.y());
                o.insert(QStringLiteral("w"), s.width);
                break;
            case Shape::Kind::Circle:
                o.insert(QStringLiteral("w"), s.width);
                [[fallthrough]];
            case Shape::Kind::Disc:
                o.insert(QStringLiteral("r"), s.radius);
                break;
            case Shape::Kind::Text:
                o.insert(QStringLiteral("t"), s.text);
                o.insert(QStringLiteral("fs"), s.fontSize);
                o.insert(QStringLiteral("a"), QLatin1String(kAnchors[int(s.anchor)]));
                break;
        }
        shapes.append(o);
    }
    return {{QStringLiteral("w"), d.size.width()},
            {QStringLiteral("h"), d.size.height()},
            {QStringLiteral("bg"), Colour(d.background)},
            {QStringLiteral("shapes"), shapes}};
}

// A check box's value as the page sends it; nothing for anything else.
std::optional<bool> Tick(const QString& text) {
    if (text == QLatin1String("true")) return true;
    if (text == QLatin1String("false")) return false;
    return std::nullopt;
}

QJsonObject Result(bool ok, const QStringList& messages) {
    return {{QStringLiteral("ok"), ok}, {QStringLiteral("messages"), Strings(messages)}};
}

}  // namespace

WebConsole::WebConsole(hub::Program& program, calibration::CalibrationStore& store, ConsoleUi& ui,
                       ConsoleModels shared)
    : program_(program), store_(store), ui_(ui), models_(shared) {
    if (!models_.errors) {
        ownErrors_ = std::make_unique<ErrorsModel>(program);
        ownErrors_->SetStore(&store);
        models_.errors = ownErrors_.get();
    }
    if (!models_.main) {
        ownMain_ = std::make_unique<MainModel>(program, store);
        models_.errors->SetMainModel(ownMain_.get());
        models_.main = ownMain_.get();
    }
    if (!models_.setup) {
        ownSetup_ = std::make_unique<SetupModel>(program);
        ownSetup_->SetMainModel(models_.main);
        models_.setup = ownSetup_.get();
    }
    if (!models_.horizon) {
        ownHorizon_ = std::make_unique<HorizonModel>(program);
        models_.horizon = ownHorizon_.get();
    }
    // The pages' own list, plot and map: their selection and size are the
    // page's, not the windows'.
    observations_ = std::make_unique<ObservationListModel>(program, store);
    selection_ = std::make_unique<ObservationSelection>();
    plot_ = std::make_unique<PlotModel>(store, *selection_);
    map_ = std::make_unique<MapModel>(program, store, *selection_);
    // The pick list's stars, as on the window's map. Without windows the
    // console's main model reads the catalogue as the main window's loading
    // does.
    if (ownMain_) ownMain_->manual().Load();
    map_->SetStars(PickListForMap(models_.main->manual()));
    plot_->SetSize({kPictureSize, kPictureSize});
    map_->SetSize({kPictureSize, kPictureSize});
}

WebConsole::~WebConsole() = default;

QJsonObject WebConsole::Drivers() {
    QJsonArray list;
    QStringList messages;
    try {
        for (const auto& c : program_.installed().Choices())
            list.append(QJsonObject{{QStringLiteral("id"), c.progId},
                                    {QStringLiteral("name"), c.description}});
    } catch (const dispatch::ComError& e) {
        messages.append(e.description());
    }
    QJsonObject o = Result(messages.isEmpty(), messages);
    o.insert(QStringLiteral("drivers"), list);
    o.insert(QStringLiteral("scope"), program_.settings().Scope);
    return o;
}

QJsonObject WebConsole::SetupJson() {
    SetupModel& m = *models_.setup;
    m.Activate();
    HorizonModel& h = *models_.horizon;
    QJsonObject o{
        {QStringLiteral("SiteParam"), Strings(m.SiteParam)},
        {QStringLiteral("German"), m.German},
        {QStringLiteral("txtFlipLimitE"), m.txtFlipLimitE},
        {QStringLiteral("txtFlipLimitW"), m.txtFlipLimitW},
        {QStringLiteral("txtDeclimit"), m.txtDeclimit},
        {QStringLiteral("txtAltLimit"), m.txtAltLimit},
        {QStringLiteral("chkEnforce"), m.chkEnforce},
        {QStringLiteral("chkAntiBacklash"), m.chkAntiBacklash},
        {QStringLiteral("txtBacklash"), m.txtBacklash},
        {QStringLiteral("chkFirstSlewPause"), m.chkFirstSlewPause},
        {QStringLiteral("txtSlewPause"), m.txtSlewPause},
        {QStringLiteral("chkJ2000"), m.chkJ2000},
        {QStringLiteral("txtPollInterval"), m.txtPollInterval},
        {QStringLiteral("ChooseButton"), m.ChooseButton},
        {QStringLiteral("flipLimitsEnabled"), m.flipLimitsEnabled()},
        {QStringLiteral("backlashEnabled"), m.backlashEnabled()},
        {QStringLiteral("connected"), program_.hub().state().DriverConnected},
        {QStringLiteral("txtHorizon"), Strings(h.txtHorizon)},
    };
    QJsonArray sliders;
    for (const int p : h.sldrHorizon) sliders.append(p);
    o.insert(QStringLiteral("sldrHorizon"), sliders);
    const QJsonObject drivers = Drivers();
    o.insert(QStringLiteral("drivers"), drivers.value(QStringLiteral("drivers")));
    o.insert(QStringLiteral("scope"), drivers.value(QStringLiteral("scope")));
    return o;
}

void WebConsole::WriteSettings() {
    try {
        profile::WriteSetupSettings(program_.profile(), program_.settings());
    } catch (const dispatch::ComError& e) {
        ui_.ShowError(e);
    }
}

bool WebConsole::SetupOk(const QMap<QString, QString>& fields, QStringList& refused) {
    SetupModel& m = *models_.setup;
    const std::pair<const char*, QString*> texts[] = {
        {"SiteParam0", &m.SiteParam[0]},        {"SiteParam1", &m.SiteParam[1]},
        {"SiteParam2", &m.SiteParam[2]},        {"SiteParam3", &m.SiteParam[3]},
        {"txtFlipLimitE", &m.txtFlipLimitE},    {"txtFlipLimitW", &m.txtFlipLimitW},
        {"txtDeclimit", &m.txtDeclimit},        {"txtAltLimit", &m.txtAltLimit},
        {"txtBacklash", &m.txtBacklash},        {"txtSlewPause", &m.txtSlewPause},
        {"txtPollInterval", &m.txtPollInterval}};
    bool* const ticks[] = {&m.chkEnforce, &m.chkFirstSlewPause, &m.chkJ2000};
    const char* const tickNames[] = {"chkEnforce", "chkFirstSlewPause", "chkJ2000"};
    // Check boxes first: one that is neither ticked nor clear changes nothing.
    std::optional<bool> german, antiBacklash;
    std::optional<bool> tickValues[3];
    for (const auto& [key, value] : fields.asKeyValueRange()) {
        std::optional<bool>* target = nullptr;
        if (key == QLatin1String("German")) target = &german;
        if (key == QLatin1String("chkAntiBacklash")) target = &antiBacklash;
        for (int i = 0; i < 3; ++i)
            if (key == QLatin1String(tickNames[i])) target = &tickValues[i];
        if (!target) continue;
        *target = Tick(value);
        if (!*target)
            refused.append(QStringLiteral("%1: \"%2\" is not true or false.").arg(key, value));
    }
    if (!refused.isEmpty()) return false;
    for (const auto& [key, text] : texts)
        if (const auto it = fields.find(QLatin1String(key)); it != fields.end()) *text = *it;
    for (int i = 0; i < 3; ++i)
        if (tickValues[i]) *ticks[i] = *tickValues[i];
    if (german) m.SetGerman(*german);
    if (antiBacklash) m.SetAntiBacklash(*antiBacklash);
    if (!m.Ok()) return false;
    WriteSettings();
    return true;
}

bool WebConsole::HorizonOk(const QMap<QString, QString>& fields, QStringList&) {
    HorizonModel& h = *models_.horizon;
    for (int k = 0; k < HorizonModel::kPoints; ++k)
        if (const auto it = fields.find(QStringLiteral("txtHorizon%1").arg(k)); it != fields.end())
            h.TextChanged(k, *it);
    h.Ok();
    try {
        profile::WriteHorizonSettings(program_.profile(), program_.settings());
    } catch (const dispatch::ComError& e) {
        ui_.ShowError(e);
    }
    h.Activate();
    return true;
}

bool WebConsole::ObservationAction(const QString& name, const QMap<QString, QString>& fields,
                                   QStringList& refused) {
    ObservationListModel& list = *observations_;
    list.UpdateObservationList();
    const auto lineOf = [&]() -> int {
        bool ok = false;
        const int line = fields.value(QStringLiteral("line")).toInt(&ok);
        if (!ok || line < 0 || line >= list.lstObservations.size()) {
            refused.append(QStringLiteral("There is no observation line \"%1\".")
                               .arg(fields.value(QStringLiteral("line"))));
            return -1;
        }
        return line;
    };
    if (name == QLatin1String("use")) {
        const int line = lineOf();
        const auto use = Tick(fields.value(QStringLiteral("use")));
        if (line < 0) return false;
        if (!use) {
            refused.append(QStringLiteral("Use: \"%1\" is not true or false.")
                               .arg(fields.value(QStringLiteral("use"))));
            return false;
        }
        QList<bool> checked;
        for (const auto& l : list.lstObservations) checked.append(l.checked);
        checked[line] = *use;
        list.TakeUseFlags(checked);
    } else if (name == QLatin1String("remove")) {
        const int line = lineOf();
        if (line < 0) return false;
        list.Select(line);
        list.Remove();
    } else if (name == QLatin1String("undo")) {
        list.Undo();
    } else if (name == QLatin1String("update")) {
        list.Update();
    } else {
        // Open and Save: a name inside the documents folder.
        const QString file = fields.value(QStringLiteral("name")).trimmed();
        if (file.isEmpty()) {
            refused.append(QStringLiteral("Give the calibration file a name."));
            return false;
        }
        QString path;
        try {
            path = calibration::ResolveScriptPath(file, calibration::DocumentsFolder(),
                                                  calibration::FileAccess::Documents);
        } catch (const dispatch::ComError& e) {
            refused.append(e.description());
            return false;
        }
        ConsoleUi::Capture answers(
            ui_, Tick(fields.value(QStringLiteral("confirm"))).value_or(false), path);
        if (name == QLatin1String("open"))
            list.Open();
        else
            list.Save();
        refused.append(answers.messages());
    }
    return true;
}

QJsonObject WebConsole::AutoCalJson() {
    const calibration::AutoCalibration& r = *autoCal_;
    return {
        {QStringLiteral("calibrating"), r.calibrating()},
        {QStringLiteral("running"), r.running()},
        {QStringLiteral("state"), r.state()},
        {QStringLiteral("point"), r.pointIndex()},
        {QStringLiteral("progress"), r.progbarCal},
        {QStringLiteral("progressMax"), calibration::kGridPoints},
        {QStringLiteral("progressEnabled"), r.progbarCalEnabled},
        {QStringLiteral("calStatus"), r.lblCalStatus},
        {QStringLiteral("starfixStatus"), r.lblStarfixStatus},
        {QStringLiteral("cameraStatus"), r.lblCameraStatus},
        {QStringLiteral("timeLeft"), r.lblTimeLeft},
        {QStringLiteral("lastError"), r.lastError()},
        {QStringLiteral("start"), r.cmdStartEnabled},
        {QStringLiteral("stop"), r.cmdStopEnabled},
        {QStringLiteral("resume"), r.cmdResumeEnabled},
        {QStringLiteral("accuracyItems"), Strings(calibration::AutoCalibration::AccuracyItems())},
        {QStringLiteral("accuracy"), r.cmbAccuracy},
        {QStringLiteral("exposure"), r.txtExposure},
        {QStringLiteral("bin"), r.txtBin},
        {QStringLiteral("binLabel"), r.lblBin},
    };
}

bool WebConsole::AutoCalAction(const QString& name, const QMap<QString, QString>& fields,
                               QStringList& refused, const ConsoleUi::Capture& boxes) {
    calibration::AutoCalibration& r = *autoCal_;
    try {
        if (name == QLatin1String("autocal-start")) {
            r.StartChecked();
        } else if (name == QLatin1String("autocal-stop")) {
            r.Stop();
        } else if (name == QLatin1String("autocal-resume")) {
            r.Resume();
        } else {
            // Only the settings the run has a name for; the run says which
            // values fit.
            const QString setting = fields.value(QStringLiteral("name"));
            if (!calibration::AutoCalibration::SettingNames().contains(setting,
                                                                       Qt::CaseInsensitive)) {
                refused.append(QStringLiteral("\"%1\" is not a setting of the automatic "
                                              "calibration.")
                                   .arg(setting.left(40)));
                return false;
            }
            r.SetSettingValue(setting, fields.value(QStringLiteral("value")));
        }
    } catch (const dispatch::ComError& e) {
        const QString why = e.description();
        for (const QString& box : boxes.messages())
            if (box.contains(why)) return false;
        refused.append(why);
        return false;
    }
    return true;
}

std::optional<QJsonObject> WebConsole::Get(const QString& name) {
    if (name == QLatin1String("status")) return StatusJson();
    if (name == QLatin1String("autocal") && autoCal_) return AutoCalJson();
    if (name == QLatin1String("setup")) return SetupJson();
    if (name == QLatin1String("drivers")) return Drivers();
    return std::nullopt;
}

std::optional<QJsonObject> WebConsole::Post(const QString& name,
                                            const QMap<QString, QString>& fields) {
    static const QStringList kSetup = {QStringLiteral("setup"),   QStringLiteral("frommount"),
                                       QStringLiteral("choose"),  QStringLiteral("discover"),
                                       QStringLiteral("horizon"), QStringLiteral("horizon-reset")};
    static const QStringList kStatus = {QStringLiteral("use"),  QStringLiteral("remove"),
                                        QStringLiteral("undo"), QStringLiteral("update"),
                                        QStringLiteral("open"), QStringLiteral("save"),
                                        QStringLiteral("night")};
    static const QStringList kAutoCal = {
        QStringLiteral("autocal-start"), QStringLiteral("autocal-stop"),
        QStringLiteral("autocal-resume"), QStringLiteral("autocal-settings")};
    const bool autoCal = autoCal_ && kAutoCal.contains(name);
    if (!kSetup.contains(name) && !kStatus.contains(name) && !autoCal) return std::nullopt;
    const bool confirmed = Tick(fields.value(QStringLiteral("confirm"))).value_or(false);
    QStringList refused;
    bool ok = true;
    QStringList messages;
    {
        ConsoleUi::Capture capture(ui_, confirmed, QString(),
                                   fields.value(QStringLiteral("driver")));
        if (name == QLatin1String("setup")) {
            ok = SetupOk(fields, refused);
        } else if (name == QLatin1String("frommount")) {
            ok = models_.setup->FromMount();
        } else if (name == QLatin1String("choose")) {
            const QString before = program_.settings().Scope;
            models_.setup->Choose();
            ok = program_.settings().Scope != before ||
                 fields.value(QStringLiteral("driver")) == before;
        } else if (name == QLatin1String("discover")) {
            const auto found = DiscoverAlpacaTelescopes();
            const int added = AddDiscoveredTelescopes(program_.profile(), found);
            messages.append(QStringLiteral("%1 Alpaca telescope(s) found, %2 new in the list.")
                                .arg(found.size())
                                .arg(added));
        } else if (name == QLatin1String("horizon")) {
            ok = HorizonOk(fields, refused);
        } else if (name == QLatin1String("horizon-reset")) {
            models_.horizon->Reset();
        } else if (name == QLatin1String("night")) {
            const auto on = Tick(fields.value(QStringLiteral("on")));
            if (on) {
                models_.main->SetNightMode(*on);
            } else {
                refused.append(QStringLiteral("Night mode: \"%1\" is not true or false.")
                                   .arg(fields.value(QStringLiteral("on"))));
            }
        } else if (autoCal) {
            ok = AutoCalAction(name, fields, refused, capture);
        } else {
            ok = ObservationAction(name, fields, refused);
        }
        messages = capture.messages() + messages;
    }
    messages += refused;
    if (!refused.isEmpty()) ok = false;
    QJsonObject answer = Result(ok, messages);
    answer.insert(kSetup.contains(name) ? QStringLiteral("setup") : QStringLiteral("status"),
                  kSetup.contains(name) ? SetupJson() : StatusJson());
    return answer;
}

QJsonObject WebConsole::StatusJson() {
    hub::Hub& hub = program_.hub();
    const hub::HubState& s = hub.state();
    MainModel& m = *models_.main;
    bool slewing = false;
    if (s.DriverConnected) {
        try {
            slewing = hub.DriverSlewing();
        } catch (...) {
            // A mount that cannot tell shows as not slewing.
        }
    }
    const auto row = [](const QString& ra, const QString& dec, const QString& alt,
                        const QString& az) {
        return QJsonObject{{QStringLiteral("ra"), ra},
                           {QStringLiteral("dec"), dec},
                           {QStringLiteral("alt"), alt},
                           {QStringLiteral("az"), az}};
    };
    QJsonObject o{
        {QStringLiteral("driver"), program_.settings().Scope},
        {QStringLiteral("driverName"), program_.installed().CrossRef(program_.settings().Scope)},
        {QStringLiteral("connected"), s.DriverConnected},
        {QStringLiteral("connections"), s.ConnectionCount},
        {QStringLiteral("status"),
         QString(m.txtStatus).trimmed().replace(QStringLiteral("\r\n"), QStringLiteral("\n"))},
        {QStringLiteral("siteWarning"), s.SiteMismatch},
        {QStringLiteral("scope"), row(m.lblScopeRA, m.lblScopeDec, m.lblScopeAlt, m.lblScopeAz)},
        {QStringLiteral("corr"), row(m.lblCorrRA, m.lblCorrDec, m.lblCorrAlt, m.lblCorrAz)},
        {QStringLiteral("target"), row(m.lblTrueRA, m.lblTrueDec, m.lblTrueAlt, m.lblTrueAz)},
        {QStringLiteral("lst"), m.lblLST},
        {QStringLiteral("pierSide"),
         s.PierInverted ? QStringLiteral("Inverted") : QStringLiteral("Normal")},
        {QStringLiteral("slewing"), slewing},
        {QStringLiteral("calibrating"), m.controls().Calibrating},
        {QStringLiteral("calStatus"), m.controls().lblCalStatus},
        {QStringLiteral("applyCorr"), m.calibration().chkApplyCorr},
        {QStringLiteral("night"), m.NightMode},
    };
    ErrorsModel& e = *models_.errors;
    const std::pair<const char*, const QString*> terms[] = {
        {"Hour angle offset", &e.lblHourOffset}, {"Declination offset", &e.lblDecOffset},
        {"Collimation", &e.lblCollimation},      {"Axis non-perpendicularity", &e.lblAxisNonPerp},
        {"Polar left-right", &e.lblPolarLR},     {"Polar vertical", &e.lblPolarVert},
        {"Tube flexure", &e.lblTubeFlex},        {"Mount flexure", &e.lblMountFlex}};
    QJsonArray termRows;
    for (size_t i = 0; i < std::size(terms); ++i)
        termRows.append(QJsonObject{{QStringLiteral("name"), QLatin1String(terms[i].first)},
                                    {QStringLiteral("value"), *terms[i].second},
                                    {QStringLiteral("stdError"), e.lblStdError[i]}});
    o.insert(QStringLiteral("terms"), termRows);
    o.insert(QStringLiteral("fit"), QJsonObject{{QStringLiteral("used"), e.lblFitUsed},
                                                {QStringLiteral("rms"), e.lblFitRMS},
                                                {QStringLiteral("psd"), e.lblFitPSD},
                                                {QStringLiteral("eastWest"), e.lblFitEastWest},
                                                {QStringLiteral("warnings"), e.lblFitWarnings}});
    ObservationListModel& list = *observations_;
    list.UpdateObservationList();
    QJsonArray lines;
    for (const auto& l : list.lstObservations)
        lines.append(QJsonObject{{QStringLiteral("text"), l.text},
                                 {QStringLiteral("tip"), l.tip},
                                 {QStringLiteral("use"), l.checked},
                                 {QStringLiteral("outlier"), l.outlier}});
    o.insert(QStringLiteral("observations"),
             QJsonObject{{QStringLiteral("headings"), list.txtHeadings},
                         {QStringLiteral("lines"), lines},
                         {QStringLiteral("remove"), list.cmdRemoveEnabled},
                         {QStringLiteral("undo"), list.cmdUndoEnabled()},
                         {QStringLiteral("update"), list.cmdUpdateEnabled},
                         {QStringLiteral("save"), list.cmdSaveEnabled},
                         {QStringLiteral("open"), list.cmdOpenEnabled()}});
    plot_->SetNightMode(m.NightMode);
    map_->SetNightMode(m.NightMode);
    plot_->PlotData();
    map_->MapData();
    o.insert(QStringLiteral("plot"), DrawingJson(plot_->picture().drawing));
    o.insert(QStringLiteral("map"), DrawingJson(map_->picture().drawing));
    o.insert(QStringLiteral("autocal"), autoCal_ ? QJsonValue(AutoCalJson()) : QJsonValue());
    return o;
}

}  // namespace celaris::models
