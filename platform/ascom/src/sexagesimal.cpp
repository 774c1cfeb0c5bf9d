#include "celaris/ascom/sexagesimal.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace celaris::ascom {

namespace {

// Up to 9.0e18 smallest units fit an int64; beyond that there is no sensible
// sexagesimal text anyway.
constexpr double kMaxUnits = 9.0e18;

int ClampDecimals(int decimals) {
    return decimals < 0 ? 0 : std::min(decimals, kMaxDecimals);
}

int64_t Pow10(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

QString TwoDigits(int64_t v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// The last field: a whole part of two digits and `decimals` decimals.
QString LastField(int64_t units, int64_t scale, int decimals) {
    QString s = TwoDigits(units / scale);
    if (decimals > 0)
        s += QLatin1Char('.') +
             QStringLiteral("%1").arg(units % scale, decimals, 10, QLatin1Char('0'));
    return s;
}

// Rounds |value| once, in units of the last field shown, so that a carry
// runs through every field. Empty when the value has no text.
std::optional<int64_t> SmallestUnits(double value, double unitsPerWhole, int64_t scale) {
    const double units = std::abs(value) * unitsPerWhole * double(scale);
    if (!std::isfinite(units) || units >= kMaxUnits) return std::nullopt;
    return std::llround(units);
}

QString Sign(double value, int64_t units) {
    return (value < 0 && units != 0) ? QStringLiteral("-") : QString();
}

// Three fields: whole, minutes, seconds.
QString ThreeFields(double value, const QString& d1, const QString& d2, const QString& after,
                    int decimals) {
    decimals = ClampDecimals(decimals);
    const int64_t scale = Pow10(decimals);
    const auto units = SmallestUnits(value, 3600.0, scale);
    if (!units) return {};
    const int64_t perMinute = 60 * scale;
    const int64_t seconds = *units % perMinute;
    const int64_t totalMinutes = *units / perMinute;
    return Sign(value, *units) + TwoDigits(totalMinutes / 60) + d1 + TwoDigits(totalMinutes % 60) +
           d2 + LastField(seconds, scale, decimals) + after;
}

bool IsSeparator(QChar c) {
    switch (c.unicode()) {
        case 0x00B0:  // °
        case 0x00BA:  // º
        case u'\'':
        case u'"':
        case u':':
        case 0x2032:  // ′
        case 0x2033:  // ″
            return true;
        default:
            return false;
    }
}

}  // namespace

QString HoursToHMS(double hours, const QString& hoursDelimiter, const QString& minutesDelimiter,
                   const QString& trailing, int decimals) {
    return ThreeFields(hours, hoursDelimiter, minutesDelimiter, trailing, decimals);
}

QString DegreesToDMS(double degrees, const QString& degreesDelimiter,
                     const QString& minutesDelimiter, const QString& secondsDelimiter,
                     int decimals) {
    return ThreeFields(degrees, degreesDelimiter, minutesDelimiter, secondsDelimiter, decimals);
}

QString DegreesToDM(double degrees, const QString& degreesDelimiter,
                    const QString& minutesDelimiter, int decimals) {
    decimals = ClampDecimals(decimals);
    const int64_t scale = Pow10(decimals);
    const auto units = SmallestUnits(degrees, 60.0, scale);
    if (!units) return {};
    const int64_t perDegree = 60 * scale;
    return Sign(degrees, *units) + TwoDigits(*units / perDegree) + degreesDelimiter +
           LastField(*units % perDegree, scale, decimals) + minutesDelimiter;
}

std::optional<double> ParseSexagesimal(const QString& input) {
    const QString text = input.trimmed();
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && text[i].isSpace()) ++i;
    };

    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
        skipBlanks();
    }

    struct Field {
        std::string digits;
        bool hasPoint = false;
        bool hasExponent = false;
    };
    Field fields[3];
    int count = 0;
    while (i < n) {
        if (count == 3) return std::nullopt;
        Field& f = fields[count++];
        // The number: digits with at most one decimal point.
        bool anyDigit = false;
        while (i < n && (text[i].isDigit() || text[i] == u'.')) {
            const char16_t c = text[i].unicode();
            if (c == u'.') {
                if (f.hasPoint) return std::nullopt;
                f.hasPoint = true;
            } else if (c > u'9' || c < u'0') {
                return std::nullopt;  // digits of other scripts
            } else {
                anyDigit = true;
            }
            f.digits.push_back(char(c));
            ++i;
        }
        if (!anyDigit) return std::nullopt;
        // An exponent, allowed on a plain decimal number only (checked below).
        if (i < n && (text[i] == u'e' || text[i] == u'E')) {
            f.hasExponent = true;
            f.digits.push_back('e');
            ++i;
            if (i < n && (text[i] == u'-' || text[i] == u'+'))
                f.digits.push_back(char(text[i++].unicode()));
            bool expDigit = false;
            while (i < n && text[i] >= u'0' && text[i] <= u'9') {
                f.digits.push_back(char(text[i++].unicode()));
                expDigit = true;
            }
            if (!expDigit) return std::nullopt;
        }
        // The separator: blanks with at most one delimiter symbol among them.
        const qsizetype start = i;
        int symbols = 0;
        while (i < n && (text[i].isSpace() || IsSeparator(text[i]))) {
            if (IsSeparator(text[i])) ++symbols;
            ++i;
        }
        if (symbols > 1) return std::nullopt;
        if (i < n && i == start) return std::nullopt;  // "45x" or "45-3"
    }
    if (count == 0) return std::nullopt;

    double total = 0.0;
    for (int k = 0; k < count; ++k) {
        const Field& f = fields[k];
        const bool last = k == count - 1;
        if (f.hasExponent && count > 1) return std::nullopt;
        if (f.hasPoint && !last) return std::nullopt;
        double v = 0.0;
        // from_chars wants a digit before the point.
        const std::string digits = (f.digits.front() == '.' ? "0" : "") + f.digits;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
        if (k > 0 && v >= 60.0) return std::nullopt;
        total += v / (k == 0 ? 1.0 : (k == 1 ? 60.0 : 3600.0));
    }
    if (!std::isfinite(total)) return std::nullopt;
    return negative ? -total : total;
}

}  // namespace celaris::ascom
