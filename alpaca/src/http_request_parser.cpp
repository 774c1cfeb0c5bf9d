#include "celaris/alpaca/http_request_parser.h"

#include <cstdint>
#include <optional>

namespace celaris::alpaca {

namespace {

using Status = ParseOutcome::Status;

// Blank lines before a request are tolerated, but only a few.
constexpr size_t kMaxLeadingBlank = 64;
// A method longer than any registered one is not a method.
constexpr size_t kMaxMethod = 32;
// Room for the method and version around the target.
constexpr size_t kRequestLineSlack = kMaxMethod + 16;
// A chunk-size line with its extensions.
constexpr size_t kMaxChunkLine = 1024;

ParseOutcome NeedMore() {
    return {};
}

ParseOutcome Fail(int status, std::string reason) {
    ParseOutcome o;
    o.status = Status::Error;
    o.errorStatus = status;
    o.errorReason = std::move(reason);
    return o;
}

bool IsTokenChar(char c) {
    if (c >= '0' && c <= '9') return true;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    switch (c) {
        case '!':
        case '#':
        case '$':
        case '%':
        case '&':
        case '\'':
        case '*':
        case '+':
        case '-':
        case '.':
        case '^':
        case '_':
        case '`':
        case '|':
        case '~':
            return true;
        default:
            return false;
    }
}

bool IsToken(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s)
        if (!IsTokenChar(c)) return false;
    return true;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view TrimSpace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The line starting at from, without its end (LF or CRLF); next is where
// the following line starts. Nothing when no line end has arrived yet.
std::optional<std::string_view> Line(std::string_view bytes, size_t from, size_t& next) {
    const size_t lf = bytes.find('\n', from);
    if (lf == std::string_view::npos) return std::nullopt;
    next = lf + 1;
    size_t end = lf;
    if (end > from && bytes[end - 1] == '\r') --end;
    return bytes.substr(from, end - from);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX decoded; nothing for a broken escape or a NUL.
std::optional<std::string> DecodePath(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        const char c = char(hi * 16 + lo);
        if (c == '\0') return std::nullopt;
        out += c;
        i += 2;
    }
    return out;
}

// The request target split into its decoded path and its raw query.
bool SplitTarget(std::string_view target, const std::string& method, ParsedRequest& r) {
    if (target == "*") {
        if (method != "OPTIONS") return false;
        r.path.assign(1, '*');  // not = "*": a GCC 12 -Wrestrict false positive
        return true;
    }
    // Absolute form: the scheme and authority are dropped.
    for (const std::string_view scheme :
         {std::string_view("http://"), std::string_view("https://")}) {
        if (target.size() >= scheme.size() &&
            EqualsNoCase(target.substr(0, scheme.size()), scheme)) {
            target.remove_prefix(scheme.size());
            const size_t slash = target.find_first_of("/?");
            target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
            break;
        }
    }
    if (target.empty()) return false;
    if (target.front() == '?') target = std::string_view("/");
    if (target.front() != '/') return false;
    const size_t hash = target.find('#');
    if (hash != std::string_view::npos) target = target.substr(0, hash);
    const size_t q = target.find('?');
    const auto path = DecodePath(target.substr(0, q));
    if (!path) return false;
    r.path = *path;
    if (q != std::string_view::npos) r.query = std::string(target.substr(q + 1));
    return true;
}

bool HasControl(std::string_view s) {
    for (const char c : s)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) return true;
    return false;
}

// Comma-separated tokens of a header such as Connection.
template <typename Fn>
void ForEachToken(std::string_view value, Fn fn) {
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(',', start);
        if (end == std::string_view::npos) end = value.size();
        fn(TrimSpace(value.substr(start, end - start)));
        start = end + 1;
    }
}

struct Headers {
    std::optional<uint64_t> contentLength;
    bool chunked = false;
    bool close = false;
    bool keepAlive = false;
    bool expectContinue = false;
};

}  // namespace

ParseOutcome ParseHttpRequest(std::string_view bytes, const HttpLimits& limits) {
    size_t pos = 0;
    while (pos < bytes.size() && (bytes[pos] == '\r' || bytes[pos] == '\n')) {
        if (++pos > kMaxLeadingBlank) return Fail(400, "Too many blank lines before the request.");
    }
    if (pos == bytes.size()) return NeedMore();

    // Request line: METHOD SP target SP HTTP/1.x
    const size_t maxLine = limits.maxTarget + kRequestLineSlack;
    size_t next = 0;
    const auto requestLine = Line(bytes, pos, next);
    if (!requestLine) {
        if (bytes.size() - pos > maxLine) return Fail(414, "The request line is too long.");
        return NeedMore();
    }
    if (requestLine->size() > maxLine) return Fail(414, "The request line is too long.");
    const size_t s1 = requestLine->find(' ');
    const size_t s2 = requestLine->rfind(' ');
    if (s1 == std::string_view::npos || s1 == s2)
        return Fail(400, "The request line is not METHOD TARGET HTTP/1.1.");
    const std::string_view method = requestLine->substr(0, s1);
    const std::string_view target = requestLine->substr(s1 + 1, s2 - s1 - 1);
    const std::string_view version = requestLine->substr(s2 + 1);
    if (!IsToken(method) || method.size() > kMaxMethod)
        return Fail(400, "The request method is malformed.");
    if (target.size() > limits.maxTarget) return Fail(414, "The request line is too long.");
    if (target.empty() || target.find(' ') != std::string_view::npos || HasControl(target))
        return Fail(400, "The request target is malformed.");

    ParseOutcome out;
    ParsedRequest& r = out.request;
    if (version == "HTTP/1.1")
        r.minorVersion = 1;
    else if (version == "HTTP/1.0")
        r.minorVersion = 0;
    else if (version.size() == 8 && version.substr(0, 5) == "HTTP/" && version[6] == '.' &&
             version[5] >= '0' && version[5] <= '9' && version[7] >= '0' && version[7] <= '9')
        return Fail(505, "Only HTTP/1.0 and HTTP/1.1 are spoken here.");
    else
        return Fail(400, "The request line is not METHOD TARGET HTTP/1.1.");
    r.method = std::string(method);
    if (!SplitTarget(target, r.method, r)) return Fail(400, "The request target is malformed.");

    // Header fields, up to the blank line.
    const size_t headerStart = next;
    size_t cur = headerStart;
    size_t count = 0;
    Headers h;
    for (;;) {
        const auto line = Line(bytes, cur, next);
        if (!line) {
            if (bytes.size() - headerStart > limits.maxHeaderBytes)
                return Fail(431, "The request headers are too large.");
            return NeedMore();
        }
        cur = next;
        if (cur - headerStart > limits.maxHeaderBytes + 2)
            return Fail(431, "The request headers are too large.");
        if (line->empty()) break;
        if (++count > limits.maxHeaders) return Fail(431, "The request headers are too large.");
        if (line->front() == ' ' || line->front() == '\t')
            return Fail(400, "Folded header lines are not accepted.");
        const size_t colon = line->find(':');
        if (colon == std::string_view::npos || !IsToken(line->substr(0, colon)))
            return Fail(400, "A header line is malformed.");
        const std::string_view name = line->substr(0, colon);
        const std::string_view value = TrimSpace(line->substr(colon + 1));
        if (HasControl(value)) return Fail(400, "A header value holds control characters.");

        if (EqualsNoCase(name, "Content-Length")) {
            if (value.empty() || value.size() > 18)
                return Fail(value.size() > 18 ? 413 : 400, value.size() > 18
                                                               ? "The request body is too large."
                                                               : "Content-Length is not a number.");
            uint64_t n = 0;
            for (const char c : value) {
                if (c < '0' || c > '9') return Fail(400, "Content-Length is not a number.");
                n = n * 10 + uint64_t(c - '0');
            }
            if (h.contentLength && *h.contentLength != n)
                return Fail(400, "Conflicting Content-Length headers.");
            h.contentLength = n;
        } else if (EqualsNoCase(name, "Transfer-Encoding")) {
            if (!EqualsNoCase(value, "chunked") || h.chunked)
                return Fail(501, "Transfer-Encoding other than chunked is not supported.");
            h.chunked = true;
        } else if (EqualsNoCase(name, "Connection")) {
            ForEachToken(value, [&](std::string_view t) {
                if (EqualsNoCase(t, "close")) h.close = true;
                if (EqualsNoCase(t, "keep-alive")) h.keepAlive = true;
            });
        } else if (EqualsNoCase(name, "Expect")) {
            if (EqualsNoCase(value, "100-continue")) h.expectContinue = true;
        } else if (EqualsNoCase(name, "Host")) {
            r.host = std::string(value);
        } else if (EqualsNoCase(name, "Origin")) {
            r.origin = std::string(value);
        } else if (EqualsNoCase(name, "Authorization")) {
            r.authorization = std::string(value);
        }
    }
    const size_t bodyStart = cur;
    if (h.chunked && h.contentLength)
        return Fail(400, "Both Content-Length and Transfer-Encoding were sent.");
    r.keepAlive = !h.close && (r.minorVersion == 1 || h.keepAlive);

    if (h.contentLength) {
        if (*h.contentLength > limits.maxBody) return Fail(413, "The request body is too large.");
        const size_t length = size_t(*h.contentLength);
        if (bytes.size() - bodyStart < length) {
            out.status = Status::NeedMore;
            out.expectsContinue = h.expectContinue && bytes.size() == bodyStart && length > 0;
            out.request = {};
            return out;
        }
        r.body = std::string(bytes.substr(bodyStart, length));
        out.status = Status::Complete;
        out.consumed = bodyStart + length;
        return out;
    }
    if (!h.chunked) {
        out.status = Status::Complete;
        out.consumed = bodyStart;
        return out;
    }

    // Chunked: size line, data, CRLF; a zero size, trailers, blank line.
    cur = bodyStart;
    std::string body;
    for (;;) {
        const auto sizeLine = Line(bytes, cur, next);
        if (!sizeLine) {
            if (bytes.size() - cur > kMaxChunkLine) return Fail(400, "A chunk size is malformed.");
            ParseOutcome more;
            more.expectsContinue = h.expectContinue && cur == bodyStart && bytes.size() == cur;
            return more;
        }
        if (sizeLine->size() > kMaxChunkLine) return Fail(400, "A chunk size is malformed.");
        std::string_view digits = sizeLine->substr(0, sizeLine->find(';'));
        digits = TrimSpace(digits);
        if (digits.empty() || digits.size() > 8) return Fail(400, "A chunk size is malformed.");
        uint64_t size = 0;
        for (const char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) return Fail(400, "A chunk size is malformed.");
            size = size * 16 + uint64_t(d);
        }
        cur = next;
        if (size == 0) break;
        if (body.size() + size > limits.maxBody) return Fail(413, "The request body is too large.");
        if (bytes.size() - cur < size) return NeedMore();
        body.append(bytes.substr(cur, size));
        cur += size;
        const auto end = Line(bytes, cur, next);
        if (!end) {
            if (bytes.size() - cur >= 2)
                return Fail(400, "A chunk does not end where its size says.");
            return NeedMore();
        }
        if (!end->empty()) return Fail(400, "A chunk does not end where its size says.");
        cur = next;
    }
    const size_t trailerStart = cur;
    for (;;) {
        const auto line = Line(bytes, cur, next);
        if (!line) {
            if (bytes.size() - trailerStart > limits.maxHeaderBytes)
                return Fail(431, "The request trailers are too large.");
            return NeedMore();
        }
        cur = next;
        if (cur - trailerStart > limits.maxHeaderBytes + 2)
            return Fail(431, "The request trailers are too large.");
        if (line->empty()) break;
    }
    r.body = std::move(body);
    out.status = Status::Complete;
    out.consumed = cur;
    return out;
}

}  // namespace celaris::alpaca
