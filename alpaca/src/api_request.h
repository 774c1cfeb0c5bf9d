// One HTTP request as the Alpaca server sees it, and its answer: plain
// values, so that a request can be read on a network thread and answered on
// the hub's thread without touching the HTTP library there.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "celaris/drivers/alpaca/wire_members.h"

namespace celaris::alpaca {

struct ApiRequest {
    std::string method;  // "GET", "PUT", ...
    std::string path;    // decoded
    std::string query;   // as sent, after "?"
    std::string body;    // PUT form
    std::string peer;    // the client's address, "127.0.0.1"
    std::string host;    // the Host, Origin and Authorization headers
    std::string origin;
    std::string authorization;
};

struct HttpAnswer {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::string location;  // redirects only
    // Further header lines, "Name: value" each.
    std::vector<std::string> headers;

    static HttpAnswer Json(std::string body) {
        return {200, "application/json", std::move(body), {}, {}};
    }
    static HttpAnswer Html(std::string body) {
        return {200, "text/html; charset=utf-8", std::move(body), {}, {}};
    }
    // A plain-text answer: 400 for malformed requests, 500 for failures.
    static HttpAnswer Text(int status, std::string reason) {
        return {status, "text/plain; charset=utf-8", std::move(reason), {}, {}};
    }
    static HttpAnswer Redirect(std::string to) {
        return {302, "text/plain; charset=utf-8", "See " + to, std::move(to), {}};
    }
};

// The ids every answer echoes or counts.
struct Transaction {
    uint32_t clientId = 0;             // 0: the anonymous client
    uint32_t clientTransactionId = 0;  // echoed; 0 when absent
};

// A parsed parameter value, of the member's declared kind.
using WireValue = std::variant<std::monostate, bool, int32_t, double, QString, QDateTime>;

// A device member call that passed every check, ready for the hub.
struct DeviceCall {
    const alpaca_wire::Member* member = nullptr;
    std::vector<WireValue> args;
    Transaction ids;
};

// Query or form fields in the order sent.
class FormFields {
  public:
    static FormFields Parse(std::string_view text);
    // The first value under key: exactly as written, or in any letter case.
    const std::string* Find(std::string_view key, bool anyCase) const;
    const std::vector<std::pair<std::string, std::string>>& all() const { return fields_; }

  private:
    std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace celaris::alpaca
