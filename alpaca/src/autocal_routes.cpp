#include "autocal_routes.h"

#include <QJsonArray>
#include <QJsonObject>

#include <vector>

#include "request_router.h"
#include "scripting_routes.h"

namespace celaris::alpaca {

namespace {

using calibration::MemberKind;

constexpr std::string_view kPrefix = "/celaris/v1/autocalibration/";

struct Member {
    const char* name;
    MemberKind kind;
    const char* help;
};

const std::vector<Member>& Members() {
    static const std::vector<Member> members = [] {
        std::vector<Member> m = {
            {"Start", MemberKind::Method,
             "Starts a run afresh (a calibration must be in progress)."},
            {"Stop", MemberKind::Method, "Pauses the run: aborts a slew and an exposure."},
            {"Resume", MemberKind::Method, "Goes on where Stop paused the run."},
            {"State", MemberKind::ReadOnly,
             "0 idle, 1 expose, 2 wait for the image, 3 move on and solve, 4 wait for slew, "
             "solve and settling, 5 run complete."},
            {"PointIndex", MemberKind::ReadOnly, "The pattern point (1 to 204) of the run."},
            {"Running", MemberKind::ReadOnly, "The run's timer is on."},
            {"CalStatus", MemberKind::ReadOnly, "The mount calibration status text."},
            {"StarfixStatus", MemberKind::ReadOnly, "The plate solver's status text."},
            {"CameraStatus", MemberKind::ReadOnly, "The camera's status text."},
            {"TimeLeft", MemberKind::ReadOnly, "The estimated time the run still needs."},
            {"LastError", MemberKind::ReadOnly, "The last error the run met."},
        };
        static std::vector<QByteArray> names;
        for (const QString& n : calibration::AutoCalibration::SettingNames())
            names.push_back(n.toLatin1());
        for (const QByteArray& n : names)
            m.push_back({n.constData(), MemberKind::Property, "A setting."});
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

// Makes the call; its Value, none for a method or a put.
QJsonValue Perform(calibration::AutoCalibration& run, const AutoCalRouted& call) {
    auto is = [&](const char* n) { return call.member == QLatin1String(n); };
    if (is("Start")) {
        run.StartChecked();
        return {};
    }
    if (is("Stop")) {
        run.Stop();
        return {};
    }
    if (is("Resume")) {
        run.Resume();
        return {};
    }
    if (is("State")) return run.state();
    if (is("PointIndex")) return run.pointIndex();
    if (is("Running")) return run.running();
    if (is("CalStatus")) return run.lblCalStatus;
    if (is("StarfixStatus")) return run.lblStarfixStatus;
    if (is("CameraStatus")) return run.lblCameraStatus;
    if (is("TimeLeft")) return run.lblTimeLeft;
    if (is("LastError")) return run.lastError();
    if (call.put) {
        run.SetSettingValue(call.member, call.value);
        return {};
    }
    return QJsonValue::fromVariant(run.SettingValue(call.member));
}

}  // namespace

bool IsAutoCalibrationPath(std::string_view path) {
    return path.starts_with(kPrefix) || path == "/celaris/v1/autocalibration";
}

AutoCalRouted RouteAutoCalibration(const ApiRequest& request) {
    if (auto refused = RefusedRequest(request)) return Bad(std::move(*refused));
    const bool get = IsRead(request);
    std::string_view rest(request.path);
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
    if (auto refused = RefusedVerb(member, m->kind, get)) return Bad(std::move(*refused));
    r.member = QString::fromLatin1(m->name);
    r.put = m->kind == MemberKind::Property && !get;
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
    const bool hasValue = m->kind != MemberKind::Method && !call.put;
    return ScriptingAnswer(call.ids, serverTransactionId, hasValue, QJsonValue(),
                           [&] { return Perform(run, call); });
}

QJsonValue AutoCalibrationHelp() {
    QJsonArray members;
    for (const Member& m : Members())
        members.append(QJsonObject{{QStringLiteral("Name"), QString::fromLatin1(m.name)},
                                   {QStringLiteral("Path"), QString::fromLatin1(m.name).toLower()},
                                   {QStringLiteral("Kind"), KindText(m.kind)},
                                   {QStringLiteral("Help"), QString::fromLatin1(m.help)}});
    return QJsonObject{{QStringLiteral("Path"), QStringLiteral("/celaris/v1/autocalibration/0/")},
                       {QStringLiteral("Members"), members}};
}

}  // namespace celaris::alpaca
