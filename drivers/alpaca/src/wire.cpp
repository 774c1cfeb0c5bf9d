#include "celaris/drivers/alpaca/wire.h"

#include <charconv>
#include <cmath>

namespace celaris::alpaca_wire {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Reads all of s as a number of type T; a leading "+" is allowed.
template <typename T>
std::optional<T> ReadAll(std::string_view s) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-') return std::nullopt;
    }
    if (s.empty()) return std::nullopt;
    T value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

int Digits(std::string_view s, size_t at, size_t count) {
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<int> GenericAlpacaNumber(int32_t comNumber) {
    const uint32_t u = static_cast<uint32_t>(comNumber);
    if (u < 0x80040000u + kFirstError || u > 0x80040000u + kLastError) return std::nullopt;
    return static_cast<int>(u - 0x80040000u);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::optional<bool> ParseBool(std::string_view text) {
    text = Trim(text);
    if (EqualsIgnoringCase(text, "true")) return true;
    if (EqualsIgnoringCase(text, "false")) return false;
    return std::nullopt;
}

std::optional<double> ParseDouble(std::string_view text) {
    // from_chars also reads "inf" and "nan", which no parameter may be.
    const auto v = ReadAll<double>(text);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

std::optional<int32_t> ParseInt(std::string_view text) {
    return ReadAll<int32_t>(text);
}

std::optional<uint32_t> ParseUInt32(std::string_view text) {
    return ReadAll<uint32_t>(text);
}

std::optional<QDateTime> ParseUtcDate(std::string_view text) {
    const std::string_view s = Trim(text);
    // yyyy-MM-ddTHH:mm:ss
    if (s.size() < 19 || s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != 't') ||
        s[13] != ':' || s[16] != ':')
        return std::nullopt;
    const int year = Digits(s, 0, 4), month = Digits(s, 5, 2), day = Digits(s, 8, 2);
    const int hour = Digits(s, 11, 2), minute = Digits(s, 14, 2), second = Digits(s, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    size_t i = 19;
    // Fractional seconds, rounded to milliseconds.
    double fraction = 0.0;
    if (i < s.size() && s[i] == '.') {
        const size_t start = ++i;
        double scale = 0.1;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            fraction += (s[i] - '0') * scale;
            scale /= 10.0;
            ++i;
        }
        if (i == start) return std::nullopt;
    }
    // Zone: none, Z, or +hh:mm / -hh:mm / +hhmm.
    int offsetSeconds = 0;
    if (i < s.size()) {
        if ((s[i] == 'Z' || s[i] == 'z') && i + 1 == s.size()) {
            ++i;
        } else if (s[i] == '+' || s[i] == '-') {
            const int sign = s[i] == '-' ? -1 : 1;
            const int oh = Digits(s, i + 1, 2);
            size_t at = i + 3;
            if (at < s.size() && s[at] == ':') ++at;
            const int om = Digits(s, at, 2);
            if (oh < 0 || om < 0 || oh > 23 || om > 59 || at + 2 != s.size()) return std::nullopt;
            offsetSeconds = sign * (oh * 3600 + om * 60);
            i = s.size();
        } else {
            return std::nullopt;
        }
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    QDateTime dt(date, time, Qt::UTC);
    dt = dt.addMSecs(static_cast<qint64>(std::llround(fraction * 1000.0)));
    dt = dt.addSecs(-offsetSeconds);
    return dt;
}

std::string FormatDouble(double value) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

QString FormatUtcDate(const QDateTime& value) {
    return value.toUTC().toString(Qt::ISODateWithMs);
}

std::string DecodeFormField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string EncodeFormField(std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

}  // namespace celaris::alpaca_wire
