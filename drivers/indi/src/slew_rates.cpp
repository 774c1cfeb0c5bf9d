#include "slew_rates.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace celaris::indi {

namespace {

std::optional<double> KnownLabel(const QString& text) {
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("guide")) return kSiderealDegPerSecond;
    if (t == QLatin1String("centering")) return 0.5;
    if (t == QLatin1String("find")) return 2.5;
    if (t == QLatin1String("max")) return 6.0;
    return std::nullopt;
}

std::optional<double> Multiple(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*x\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toDouble() * kSiderealDegPerSecond;
}

}  // namespace

QList<SlewRate> SlewRates(const Property& slewRate) {
    QList<SlewRate> rates;
    for (int i = 0; i < slewRate.elements.size(); ++i) {
        const Element& e = slewRate.elements[i];
        double speed = kSiderealDegPerSecond * std::pow(8.0, i);
        if (const auto known = KnownLabel(e.label))
            speed = *known;
        else if (const auto named = Multiple(e.name))
            speed = *named;
        else if (const auto labelled = Multiple(e.label))
            speed = *labelled;
        rates.append({e.name, speed});
    }
    return rates;
}

const SlewRate& NearestRate(const QList<SlewRate>& rates, double degPerSecond) {
    const SlewRate* best = &rates.first();
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const SlewRate& r : rates) {
        const double d = std::fabs(std::log(degPerSecond / r.degPerSecond));
        if (d < bestDistance) {
            bestDistance = d;
            best = &r;
        }
    }
    return *best;
}

}  // namespace celaris::indi
