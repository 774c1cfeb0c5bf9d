#include "calibration_routes.h"

#include <QJsonArray>
#include <QJsonObject>

#include <optional>
#include <vector>

#include "celaris/drivers/alpaca/wire.h"
#include "request_router.h"
#include "scripting_routes.h"

namespace celaris::alpaca {

using calibration::Access;
using calibration::MemberKind;
using calibration::ScriptMember;
using calibration::ScriptParam;
using calibration::ScriptType;

namespace {

constexpr std::string_view kPathForm = "/celaris/v1/calibration/0/{member}";

CalibrationRouted Bad(std::string reason) {
    CalibrationRouted r;
    r.text = std::move(reason);
    return r;
}

std::string Name(const QString& s) {
    return s.toStdString();
}

const char* ExpectedText(ScriptType type) {
    if (type == ScriptType::Bool) return "true or false";
    if (calibration::IsWholeNumber(type)) return "a whole number";
    return "a number";
}

std::optional<QVariant> ParseArgument(ScriptType type, const std::string& text) {
    if (type == ScriptType::String)
        return QVariant(QString::fromUtf8(text.data(), qsizetype(text.size())));
    if (type == ScriptType::Bool) {
        if (const auto v = alpaca_wire::ParseBool(text)) return QVariant(*v);
    } else if (calibration::IsWholeNumber(type)) {
        if (const auto v = alpaca_wire::ParseInt(text)) return QVariant(*v);
    } else if (const auto v = alpaca_wire::ParseDouble(text)) {
        return QVariant(*v);
    }
    return std::nullopt;
}

// One parameter from the fields into args; the reason when it cannot be.
std::optional<std::string> TakeArgument(const FormFields& fields, const ScriptParam& p,
                                        const ScriptMember& m, QVariantList& args) {
    const std::string* text = fields.Find(Name(p.name), true);
    if (text == nullptr) {
        if (!p.optional())
            return "Missing parameter " + Name(p.name) + " for " + Name(m.name) + ".";
        args.append(p.defaultValue);
        return std::nullopt;
    }
    const auto value = ParseArgument(p.type, *text);
    if (!value)
        return "Parameter " + Name(p.name) + " \"" + text->substr(0, 64) + "\" is not " +
               ExpectedText(p.type) + ".";
    args.append(*value);
    return std::nullopt;
}

QJsonValue ToJson(const QVariant& v) {
    if (v.typeId() == QMetaType::QVariantMap) return QJsonObject::fromVariantMap(v.toMap());
    return QJsonValue::fromVariant(v);
}

// What Value holds when the call failed, so that clients reading Value
// before ErrorNumber still parse it.
QJsonValue EmptyValue(ScriptType type) {
    switch (type) {
        case ScriptType::Bool:
            return false;
        case ScriptType::String:
            return QString();
        case ScriptType::TruePosition:
        case ScriptType::ScopePosition:
            return QJsonObject();
        case ScriptType::Void:
            return QJsonValue();
        default:
            return 0;
    }
}

QJsonArray ParamsJson(const QList<ScriptParam>& params) {
    QJsonArray out;
    for (const ScriptParam& p : params) {
        QJsonObject o{{QStringLiteral("Name"), p.name},
                      {QStringLiteral("Type"), calibration::ScriptTypeName(p.type)},
                      {QStringLiteral("Optional"), p.optional()}};
        if (p.optional())
            o.insert(QStringLiteral("Default"), QJsonValue::fromVariant(p.defaultValue));
        out.append(o);
    }
    return out;
}

}  // namespace

bool IsCalibrationPath(std::string_view path) {
    return path == "/celaris" || path.starts_with("/celaris/");
}

CalibrationRouted RouteCalibration(const ApiRequest& request) {
    if (auto refused = RefusedRequest(request)) return Bad(std::move(*refused));
    const bool get = IsRead(request);

    std::vector<std::string_view> parts;
    std::string_view rest(request.path);
    rest.remove_prefix(1);
    for (size_t start = 0; start <= rest.size();) {
        size_t end = rest.find('/', start);
        if (end == std::string_view::npos) end = rest.size();
        parts.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() != 5) return Bad("Calibration paths are " + std::string(kPathForm) + ".");
    if (parts[1] != "v1") return Bad("Unsupported API version \"" + std::string(parts[1]) + "\".");
    if (parts[2] != "calibration")
        return Bad("Unknown interface \"" + std::string(parts[2]) +
                   "\"; this server has calibration.");
    if (parts[3] != "0")
        return Bad("Unknown calibration number \"" + std::string(parts[3]) +
                   "\"; this server has calibration 0.");

    const FormFields fields = FormFields::Parse(get ? request.query : request.body);
    CalibrationRouted r;
    if (auto error = ReadIds(fields, true, r.call.ids)) return Bad(std::move(*error));

    const std::string member(parts[4]);
    if (member == "help") {
        if (!get) return Bad("The help is read with GET.");
        r.kind = CalibrationRouted::Kind::Help;
        return r;
    }
    const ScriptMember* m = calibration::FindCalibrationMember(QString::fromStdString(member));
    if (m == nullptr)
        return Bad("Unknown calibration member \"" + member.substr(0, 64) +
                   "\"; GET /celaris/v1/calibration/0/help lists them.");
    if (auto refused = RefusedVerb(member, m->kind, get)) return Bad(std::move(*refused));

    r.call.member = m;
    r.call.access = get ? Access::Get : m->kind == MemberKind::Method ? Access::Call : Access::Put;
    for (const ScriptParam& p : m->params)
        if (auto error = TakeArgument(fields, p, *m, r.call.args)) return Bad(std::move(*error));
    // A property put carries its value under the property's own name.
    if (r.call.access == Access::Put)
        if (auto error = TakeArgument(fields, {m->name, m->type, {}}, *m, r.call.args))
            return Bad(std::move(*error));
    r.kind = CalibrationRouted::Kind::Call;
    return r;
}

std::string CalibrationAnswer(calibration::Calibration& calibration, const CalibrationCall& call,
                              uint32_t serverTransactionId) {
    const ScriptMember& m = *call.member;
    const bool hasValue =
        call.access == Access::Get || (call.access == Access::Call && m.type != ScriptType::Void);
    return ScriptingAnswer(call.ids, serverTransactionId, hasValue, EmptyValue(m.type), [&] {
        const QVariant result = calibration.Invoke(m.dispId, call.access, call.args);
        return hasValue ? ToJson(result) : QJsonValue();
    });
}

QJsonValue CalibrationHelp() {
    QJsonArray members;
    for (const ScriptMember& m : calibration::CalibrationMembers()) {
        QJsonObject o{{QStringLiteral("Name"), m.name},
                      {QStringLiteral("Path"), m.name.toLower()},
                      {QStringLiteral("Kind"), KindText(m.kind)},
                      {QStringLiteral("DispatchID"), m.dispId},
                      {QStringLiteral("Parameters"), ParamsJson(m.params)},
                      {QStringLiteral("Get"), m.kind != MemberKind::Method},
                      {QStringLiteral("Put"), m.kind != MemberKind::ReadOnly},
                      {QStringLiteral("Help"), m.help}};
        if (m.type != ScriptType::Void)
            o.insert(
                m.kind == MemberKind::Method ? QStringLiteral("Result") : QStringLiteral("Type"),
                calibration::ScriptTypeName(m.type));
        members.append(o);
    }
    auto values = [](std::initializer_list<std::pair<const char*, int>> list) {
        QJsonObject o;
        for (const auto& [name, value] : list) o.insert(QString::fromLatin1(name), value);
        return o;
    };
    const QJsonObject enums{{QStringLiteral("CalibrationMode"),
                             values({{"calFull", 0}, {"calPerm", 1}, {"calPort", 2}})},
                            {QStringLiteral("CelarisPierSide"),
                             values({{"psForkMount", 0}, {"psEast", 1}, {"psWest", 2}})},
                            {QStringLiteral("Epoch"), values({{"epJNow", 0}, {"epJ2000", 1}})}};
    return QJsonObject{
        {QStringLiteral("Interface"), QStringLiteral("_Calibration")},
        {QStringLiteral("ProgID"), QString::fromLatin1(calibration::kCalibrationProgId)},
        {QStringLiteral("Help"), QString::fromLatin1(calibration::kCalibrationTypeLibraryHelp)},
        {QStringLiteral("Path"), QStringLiteral("/celaris/v1/calibration/0/")},
        {QStringLiteral("Usage"),
         QStringLiteral("GET a property (an indexed one with Index=n); PUT to write a property "
                        "(its value under the property's name) or to call a method. Right "
                        "ascension and sidereal time in hours, declination in degrees, residuals "
                        "and model terms in arc seconds. Errors carry the interface's own "
                        "ErrorNumber and ErrorSource.")},
        {QStringLiteral("Members"), members},
        {QStringLiteral("Enumerations"), enums}};
}

}  // namespace celaris::alpaca
