#include "autocal_routes.h"

#include <QJsonArray>
#include <QJsonObject>

#include <vector>

#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/errors.h"
#include "json_answer.h"
#include "request_router.h"

namespace celaris::alpaca {

namespace {

constexpr std::string_view kPrefix = "/celaris/v1/autocalibration/";

enum class Kind { Method, ReadOnly, Property };

struct Member {
    const char* name;
    Kind kind;
    const char* help;
};

const std::vector<Member>& Members() {
    static const std::vector<Member> members = [] {
        std::vector<Member> m = {
            {"Start", Kind::Method, "Starts a run afresh (a calibration must be in progress)."},
            {"Stop", Kind::Method, "Pauses the run: aborts a slew and an exposure."},
            {"Resume", Kind::Method, "Goes on where Stop paused the run."},
            {"State", Kind::ReadOnly,
             "0 idle, 1 expose, 2 wait for the image, 3 move on and solve, 4 wait for slew, "
             "solve and settling, 5 run complete."},
            {"PointIndex", Kind::ReadOnly, "The pattern point (1 to 204) of the run."},
            {"Running", Kind::ReadOnly, "The run's timer is on."},
            {"CalStatus", Kind::ReadOnly, "The mount calibration status text."},
            {"StarfixStatus", Kind::ReadOnly, "The plate solver's status text."},
            {"CameraStatus", Kind::ReadOnly, "The camera's status text."},
            {"TimeLeft", Kind::ReadOnly, "The estimated time the run still needs."},
            {"LastError", Kind::ReadOnly, "The last error the run met."},
        };
        static std::vector<QByteArray> names;
        for (const QString& n : calibration::AutoCalibration::SettingNames())
            names.push_back(n.toLatin1());
        for (const QByteArray& n : names)
            m.push_back({n.constData(), Kind::Property, "A setting."});
        return m;
    }();
    return members;
}

const Member* Find(std::string_view name) {
    for (const Member& m : Members())
        if (QString::fromLatin1(m.name).compare(
                QString::fromUtf8(name.data(), qsizetype(name.size())), Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

AutoCalRouted Bad(std::string reason) {
    AutoCalRouted r;
    r.text = std::move(reason);
    return r;
}

}  // namespace

bool IsAutoCalibrationPath(std::string_view path) {
    return path.starts_with(kPrefix) || path == "/celaris/v1/autocalibration";
}

AutoCalRouted RouteAutoCalibration(const ApiRequest& request) {
    const std::string& path = request.path;
    for (const char c : path)
        if (c >= 'A' && c <= 'Z') return Bad("Celaris paths are lower case: \"" + path + "\".");
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (!get && request.method != "PUT")
        return Bad("Method " + request.method + " is not used here; use GET or PUT.");
    std::string_view rest(path);
    if (!rest.starts_with(kPrefix))
        return Bad("Automatic calibration paths are /celaris/v1/autocalibration/0/{member}.");
    rest.remove_prefix(kPrefix.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos ||
        rest.substr(slash + 1).find('/') != std::string_view::npos)
        return Bad("Automatic calibration paths are /celaris/v1/autocalibration/0/{member}.");
    if (rest.substr(0, slash) != "0")
        return Bad("Unknown automatic calibration number \"" + std::string(rest.substr(0, slash)) +
                   "\"; this server has 0.");
    const std::string member(rest.substr(slash + 1));

    const FormFields fields = FormFields::Parse(get ? request.query : request.body);
    AutoCalRouted r;
    if (auto error = ReadIds(fields, true, r.ids)) return Bad(std::move(*error));
    if (member == "help") {
        if (!get) return Bad("The help is read with GET.");
        r.kind = AutoCalRouted::Kind::Help;
        return r;
    }
    const Member* m = Find(member);
    if (m == nullptr)
        return Bad("Unknown automatic calibration member \"" + member.substr(0, 64) +
                   "\"; GET /celaris/v1/autocalibration/0/help lists them.");
    if (get && m->kind == Kind::Method)
        return Bad("\"" + member + "\" is a method; call it with PUT.");
    if (!get && m->kind == Kind::ReadOnly)
        return Bad("\"" + member + "\" is read-only; read it with GET.");
    r.member = QString::fromLatin1(m->name);
    r.put = m->kind == Kind::Property && !get;
    if (r.put) {
        const std::string* text = fields.Find(m->name, true);
        if (text == nullptr)
            return Bad("Missing parameter " + std::string(m->name) + " for " + m->name + ".");
        r.value = QString::fromUtf8(text->data(), qsizetype(text->size()));
    }
    r.kind = AutoCalRouted::Kind::Call;
    return r;
}

std::string AutoCalibrationAnswer(calibration::AutoCalibration& run, const AutoCalRouted& call,
                                  uint32_t serverTransactionId) {
    const Member* m = Find(call.member.toStdString());
    const bool hasValue = m->kind != Kind::Method && !call.put;
    QJsonValue value;
    int number = 0;
    QString message, source;
    auto is = [&](const char* n) { return call.member == QLatin1String(n); };
    try {
        if (is("Start")) {
            run.StartChecked();
        } else if (is("Stop")) {
            run.Stop();
        } else if (is("Resume")) {
            run.Resume();
        } else if (is("State")) {
            value = run.state();
        } else if (is("PointIndex")) {
            value = run.pointIndex();
        } else if (is("Running")) {
            value = run.running();
        } else if (is("CalStatus")) {
            value = run.lblCalStatus;
        } else if (is("StarfixStatus")) {
            value = run.lblStarfixStatus;
        } else if (is("CameraStatus")) {
            value = run.lblCameraStatus;
        } else if (is("TimeLeft")) {
            value = run.lblTimeLeft;
        } else if (is("LastError")) {
            value = run.lastError();
        } else if (call.put) {
            run.SetSettingValue(call.member, call.value);
        } else {
            value = QJsonValue::fromVariant(run.SettingValue(call.member));
        }
    } catch (...) {
        const dispatch::ComError e =
            dispatch::CurrentError(QString::fromLatin1(dispatch::kScriptingSource));
        number = e.number();
        message = e.description();
        source = e.source();
        value = QJsonValue();
    }
    return JsonAnswer(call.ids, serverTransactionId, number, message, source,
                      hasValue ? &value : nullptr);
}

QJsonValue AutoCalibrationHelp() {
    QJsonArray members;
    for (const Member& m : Members())
        members.append(
            QJsonObject{{QStringLiteral("Name"), QString::fromLatin1(m.name)},
                        {QStringLiteral("Path"), QString::fromLatin1(m.name).toLower()},
                        {QStringLiteral("Kind"), m.kind == Kind::Method ? QStringLiteral("method")
                                                 : m.kind == Kind::ReadOnly
                                                     ? QStringLiteral("read-only property")
                                                     : QStringLiteral("property")},
                        {QStringLiteral("Help"), QString::fromLatin1(m.help)}});
    return QJsonObject{{QStringLiteral("Path"), QStringLiteral("/celaris/v1/autocalibration/0/")},
                       {QStringLiteral("Members"), members}};
}

}  // namespace celaris::alpaca
