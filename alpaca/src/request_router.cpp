#include "request_router.h"

#include <optional>

#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

using alpaca_wire::Kind;
using alpaca_wire::Member;
using alpaca_wire::Verb;

namespace {

Routed Bad(std::string reason) {
    Routed r;
    r.kind = Routed::Kind::BadRequest;
    r.text = std::move(reason);
    return r;
}

const char* KindText(Kind kind) {
    switch (kind) {
        case Kind::Bool:
            return "true or false";
        case Kind::Int:
            return "a whole number";
        case Kind::Double:
            return "a number";
        case Kind::Date:
            return "an ISO 8601 UTC date and time";
        default:
            return "text";
    }
}

std::optional<WireValue> ParseValue(Kind kind, const std::string& text) {
    switch (kind) {
        case Kind::Bool:
            if (const auto v = alpaca_wire::ParseBool(text)) return WireValue(*v);
            return std::nullopt;
        case Kind::Int:
            if (const auto v = alpaca_wire::ParseInt(text)) return WireValue(*v);
            return std::nullopt;
        case Kind::Double:
            if (const auto v = alpaca_wire::ParseDouble(text)) return WireValue(*v);
            return std::nullopt;
        case Kind::Date:
            if (const auto v = alpaca_wire::ParseUtcDate(text)) return WireValue(*v);
            return std::nullopt;
        default:
            return WireValue(QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
}

// The InvalidValue message for a value outside its parameter's range, or
// empty text; such a value never reaches the hub.
std::string RangeError(const alpaca_wire::Param& p, const WireValue& value) {
    if (!p.range) return {};
    double v = 0.0;
    if (const auto* d = std::get_if<double>(&value))
        v = *d;
    else if (const auto* i = std::get_if<int32_t>(&value))
        v = *i;
    else
        return {};
    return dispatch::OutOfRangeText(p.key, v, *p.range);
}

Routed RouteDevice(Verb verb, const std::vector<std::string_view>& parts,
                   const ApiRequest& request) {
    // /api/v1/telescope/0/member
    if (parts.size() != 5)
        return Bad("Alpaca device paths are /api/v1/{device_type}/{device_number}/{member}.");
    if (parts[1] != "v1")
        return Bad("Unsupported Alpaca API version \"" + std::string(parts[1]) + "\".");
    if (parts[2] != "telescope")
        return Bad("Unknown device type \"" + std::string(parts[2]) +
                   "\"; this server has a telescope.");
    if (parts[3] != "0")
        return Bad("Unknown telescope number \"" + std::string(parts[3]) +
                   "\"; this server has telescope 0.");
    const QString name = QString::fromUtf8(parts[4].data(), qsizetype(parts[4].size()));
    const Member* member = alpaca_wire::FindMember(verb, name);
    if (member == nullptr) {
        if (alpaca_wire::FindMember(verb == Verb::Get ? Verb::Put : Verb::Get, name) != nullptr)
            return Bad("\"" + name.toStdString() + "\" is not read with " +
                       (verb == Verb::Get ? "GET; use PUT." : "PUT; use GET."));
        return Bad("Unknown telescope member \"" + name.toStdString() + "\".");
    }

    // GET parameters come in the query and match in any letter case; PUT
    // parameters come in the form and must have their exact casing.
    const bool anyCase = verb == Verb::Get;
    const FormFields fields = FormFields::Parse(anyCase ? request.query : request.body);
    Routed r;
    if (auto error = ReadIds(fields, anyCase, r.ids)) return Bad(std::move(*error));
    r.member = member;
    r.call.member = member;
    r.call.ids = r.ids;
    for (const alpaca_wire::Param& p : member->params) {
        const std::string key = p.key.toStdString();
        const std::string* text = fields.Find(key, anyCase);
        if (text == nullptr) {
            if (p.optional) {
                r.call.args.push_back(p.kind == Kind::Bool ? WireValue(false)
                                                           : WireValue(QString()));
                continue;
            }
            return Bad("Missing parameter " + key + " for " + member->name.toStdString() + ".");
        }
        const auto value = ParseValue(p.kind, *text);
        if (!value)
            return Bad("Parameter " + key + " \"" + text->substr(0, 64) + "\" is not " +
                       KindText(p.kind) + ".");
        r.call.args.push_back(*value);
    }
    // Ranges are checked only once every parameter has parsed.
    for (qsizetype i = 0; i < member->params.size(); ++i) {
        std::string error = RangeError(member->params[i], r.call.args[size_t(i)]);
        if (!error.empty()) {
            r.kind = Routed::Kind::InvalidValue;
            r.text = std::move(error);
            return r;
        }
    }
    r.kind = Routed::Kind::Device;
    return r;
}

}  // namespace

std::optional<std::string> ReadIds(const FormFields& fields, bool anyCase, Transaction& ids) {
    for (const auto& [key, id] : {std::pair{"ClientID", &ids.clientId},
                                  std::pair{"ClientTransactionID", &ids.clientTransactionId}}) {
        const std::string* v = fields.Find(key, anyCase);
        if (v == nullptr) continue;
        const auto parsed = alpaca_wire::ParseUInt32(*v);
        if (!parsed)
            return std::string(key) + " \"" + v->substr(0, 64) +
                   "\" is not a whole number from 0 to 4294967295.";
        *id = *parsed;
    }
    return std::nullopt;
}

Routed Route(const ApiRequest& request) {
    const std::string& path = request.path;
    for (const char c : path)
        if (c >= 'A' && c <= 'Z') return Bad("Alpaca paths are lower case: \"" + path + "\".");

    Verb verb;
    if (request.method == "GET" || request.method == "HEAD")
        verb = Verb::Get;
    else if (request.method == "PUT")
        verb = Verb::Put;
    else
        return Bad("Method " + request.method + " is not used by Alpaca; use GET or PUT.");

    std::vector<std::string_view> parts;
    {
        std::string_view rest(path);
        if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        size_t start = 0;
        while (start <= rest.size()) {
            size_t end = rest.find('/', start);
            if (end == std::string_view::npos) end = rest.size();
            parts.push_back(rest.substr(start, end - start));
            start = end + 1;
        }
    }

    if (!parts.empty() && parts[0] == "api") return RouteDevice(verb, parts, request);

    Routed r;
    if (!parts.empty() && parts[0] == "management") {
        if (verb != Verb::Get) return Bad("The management API is read with GET.");
        if (auto error = ReadIds(FormFields::Parse(request.query), true, r.ids))
            return Bad(std::move(*error));
        if (path == "/management/apiversions")
            r.kind = Routed::Kind::ApiVersions;
        else if (path == "/management/v1/description")
            r.kind = Routed::Kind::Description;
        else if (path == "/management/v1/configureddevices")
            r.kind = Routed::Kind::ConfiguredDevices;
        else
            return Bad("Unknown management request \"" + path + "\".");
        return r;
    }
    if (path == "/setup" || path == "/setup/" || path == "/setup/v1/telescope/0/setup") {
        if (verb != Verb::Get) return Bad("The setup pages are read with GET.");
        r.kind = Routed::Kind::SetupPage;
        return r;
    }
    if (path == "/" || path.empty()) {
        r.kind = Routed::Kind::Redirect;
        r.text = "/setup";
        return r;
    }
    if (!parts.empty() && parts[0] == "setup") return Bad("Unknown setup page \"" + path + "\".");
    r.kind = Routed::Kind::NotFound;
    r.text = "Nothing here: \"" + path + "\". Alpaca devices are under /api/v1/.";
    return r;
}

}  // namespace celaris::alpaca
