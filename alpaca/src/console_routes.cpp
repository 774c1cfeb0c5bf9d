#include "console_routes.h"

#include <QByteArray>
#include <QFile>

#include <string_view>

namespace celaris::alpaca {

namespace {

constexpr std::string_view kConsolePrefix = "/setup/console/";
constexpr std::string_view kApiPrefix = "/setup/console/api/";

HttpAnswer Asset(const QString& file, const char* type) {
    QFile f(QStringLiteral(":/console/") + file);
    if (!f.open(QIODevice::ReadOnly))
        return HttpAnswer::Text(404, "No console file \"" + file.toStdString() + "\".");
    const QByteArray bytes = f.readAll();
    return {200, type, bytes.toStdString(), {}, {}};
}

ConsoleRouted Done(HttpAnswer answer) {
    ConsoleRouted r;
    r.answer = std::move(answer);
    return r;
}

// Letters, digits and dashes: nothing that walks out of the resources.
bool PlainName(std::string_view name) {
    if (name.empty() || name.size() > 40) return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
            return false;
    return name.front() != '.';
}

bool SameText(std::string_view a, std::string_view b) {
    // Time independent of where they differ: the password is a secret.
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (size_t i = 0; i < a.size(); ++i) diff |= unsigned(a[i] ^ (i < b.size() ? b[i] : 0));
    return diff == 0;
}

// Host part of an Origin ("http://127.0.0.1:11111") against a Host header.
bool OriginMatchesHost(const std::string& origin, const std::string& host) {
    const size_t scheme = origin.find("://");
    return scheme != std::string::npos && origin.substr(scheme + 3) == host;
}

// Why a change is refused, or an empty answer (status 0) when it may go on.
HttpAnswer Refusal(const ApiRequest& request, const ServerOptions& options) {
    // A page of another site open in the user's browser must not post here.
    if (!request.origin.empty() && !OriginMatchesHost(request.origin, request.host))
        return HttpAnswer::Text(403, "Changes are taken from the console's own pages only.");
    const bool local = options.peerIsLocal ? options.peerIsLocal(request.peer)
                                           : IsLoopback(QString::fromStdString(request.peer));
    const bool passwordSet = !options.setupPassword.isEmpty();
    if (local && !passwordSet) return {0, {}, {}, {}, {}};
    if (!passwordSet)
        return HttpAnswer::Text(403,
                                "Settings are changed from this machine only. Set a setup "
                                "password (SetupPassword in the Alpaca settings) to change "
                                "them from elsewhere.");
    if (local && request.authorization.empty()) return {0, {}, {}, {}, {}};
    if (SameText(BasicPassword(request.authorization), options.setupPassword.toStdString()))
        return {0, {}, {}, {}, {}};
    HttpAnswer a = HttpAnswer::Text(401, "The setup password is needed to change settings.");
    a.headers.push_back("WWW-Authenticate: Basic realm=\"Celaris setup\", charset=\"UTF-8\"");
    return a;
}

}  // namespace

bool IsConsolePath(const std::string& path) {
    return path == "/setup" || path == "/setup/" || path == "/setup/v1/telescope/0/setup" ||
           path.starts_with(kConsolePrefix);
}

std::string BasicPassword(const std::string& authorization) {
    constexpr std::string_view kBasic = "basic ";
    if (authorization.size() <= kBasic.size()) return {};
    for (size_t i = 0; i < kBasic.size(); ++i)
        if (char(std::tolower(static_cast<unsigned char>(authorization[i]))) != kBasic[i])
            return {};
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(authorization.substr(kBasic.size())),
        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return {};
    const qsizetype colon = decoded.decoded.indexOf(':');
    if (colon < 0) return {};
    return decoded.decoded.mid(colon + 1).toStdString();
}

void AddConsoleHeaders(HttpAnswer& answer) {
    answer.headers.push_back("Cache-Control: no-store");
    answer.headers.push_back(
        "Content-Security-Policy: default-src 'none'; script-src 'self'; style-src 'self'; "
        "img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action 'self'; "
        "frame-ancestors 'none'");
    answer.headers.push_back("X-Content-Type-Options: nosniff");
    answer.headers.push_back("Referrer-Policy: no-referrer");
}

ConsoleRouted RouteConsole(const ApiRequest& request, const ServerOptions& options) {
    const std::string& path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (path.starts_with(kApiPrefix)) {
        const std::string name = path.substr(kApiPrefix.size());
        if (!PlainName(name))
            return Done(HttpAnswer::Text(404, "No console request \"" + name + "\"."));
        ConsoleRouted r;
        r.name = QString::fromStdString(name);
        if (get) {
            r.kind = ConsoleRouted::Kind::Get;
            return r;
        }
        if (request.method != "POST")
            return Done(HttpAnswer::Text(400, "Console changes are sent with POST."));
        if (HttpAnswer refused = Refusal(request, options); refused.status != 0)
            return Done(std::move(refused));
        r.kind = ConsoleRouted::Kind::Post;
        const FormFields form = FormFields::Parse(request.body);
        for (const auto& [k, v] : form.all())
            r.fields.insert(QString::fromUtf8(k.data(), qsizetype(k.size())),
                            QString::fromUtf8(v.data(), qsizetype(v.size())));
        return r;
    }
    if (!get) return Done(HttpAnswer::Text(400, "The console's pages are read with GET."));
    if (path == "/setup" || path == "/setup/")
        return Done(Asset(QStringLiteral("status.html"), "text/html; charset=utf-8"));
    if (path == "/setup/v1/telescope/0/setup")
        return Done(Asset(QStringLiteral("setup.html"), "text/html; charset=utf-8"));
    const std::string file = path.substr(kConsolePrefix.size());
    if (PlainName(file) && file.ends_with(".js"))
        return Done(Asset(QString::fromStdString(file), "text/javascript; charset=utf-8"));
    if (PlainName(file) && file.ends_with(".css"))
        return Done(Asset(QString::fromStdString(file), "text/css; charset=utf-8"));
    return Done(HttpAnswer::Text(404, "No console file \"" + file + "\"."));
}

}  // namespace celaris::alpaca
