#include "scripting_routes.h"

namespace celaris::alpaca {

using calibration::MemberKind;

std::optional<std::string> RefusedRequest(const ApiRequest& request) {
    const std::string& path = request.path;
    for (const char c : path)
        if (c >= 'A' && c <= 'Z') return "Celaris paths are lower case: \"" + path + "\".";
    if (!IsRead(request) && request.method != "PUT")
        return "Method " + request.method + " is not used here; use GET or PUT.";
    return std::nullopt;
}

std::optional<std::string> RefusedVerb(const std::string& member, MemberKind kind, bool read) {
    if (read && kind == MemberKind::Method)
        return "\"" + member + "\" is a method; call it with PUT.";
    if (!read && kind == MemberKind::ReadOnly)
        return "\"" + member + "\" is read-only; read it with GET.";
    return std::nullopt;
}

QString KindText(MemberKind kind) {
    switch (kind) {
        case MemberKind::Property:
            return QStringLiteral("property");
        case MemberKind::ReadOnly:
            return QStringLiteral("read-only property");
        case MemberKind::Method:
            return QStringLiteral("method");
    }
    return QString();
}

}  // namespace celaris::alpaca
