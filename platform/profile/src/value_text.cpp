#include "celaris/profile/value_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace celaris::profile {

QString BoolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> ParseBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    return std::nullopt;
}

QString DoubleText(double value) {
    if (value == 0.0) value = 0.0;  // no "-0"
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return {};
    return QString::fromLatin1(buffer, end - buffer);
}

std::optional<double> ParseDouble(const QString& text) {
    QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('+'))) t.remove(0, 1);
    if (t.isEmpty()) return std::nullopt;
    // Only plain ASCII can be a number here, which also keeps other
    // scripts' digits out. from_chars wants a digit before the point, so
    // ".5" and "-.5" get one.
    std::string s;
    s.reserve(size_t(t.size()) + 1);
    for (QChar c : t) {
        if (c.unicode() > 0x7F) return std::nullopt;
        if (c == u'.' && (s.empty() || s == "-")) s += '0';
        s += char(c.unicode());
    }
    double v = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

QString IntText(int64_t value) {
    return QString::number(value);
}

double RoundHalfEven(double value) {
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5) return lower;
    if (diff > 0.5) return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

namespace {
template <typename Int>
std::optional<Int> ParseInt(const QString& text) {
    const auto v = ParseDouble(text);
    if (!v) return std::nullopt;
    const double r = RoundHalfEven(*v);
    if (r < double(std::numeric_limits<Int>::min()) || r > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}
}  // namespace

std::optional<int16_t> ParseInt16(const QString& text) {
    return ParseInt<int16_t>(text);
}
std::optional<int32_t> ParseInt32(const QString& text) {
    return ParseInt<int32_t>(text);
}

}  // namespace celaris::profile
