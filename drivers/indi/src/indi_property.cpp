#include "celaris/drivers/indi/indi_property.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace celaris::indi {

const Element* Property::Find(const QString& element) const {
    for (const Element& e : elements)
        if (e.name == element) return &e;
    return nullptr;
}

bool Property::IsOn(const QString& element) const {
    const Element* e = Find(element);
    return e != nullptr && e->text == QLatin1String("On");
}

QString Property::OnSwitch() const {
    for (const Element& e : elements)
        if (e.text == QLatin1String("On")) return e.name;
    return {};
}

std::optional<double> Property::Number(const QString& element) const {
    const Element* e = Find(element);
    if (e == nullptr || type != PropertyType::Number) return std::nullopt;
    return e->number;
}

std::optional<QString> Property::Text(const QString& element) const {
    const Element* e = Find(element);
    if (e == nullptr) return std::nullopt;
    return e->text;
}

PropertyState ParseState(const QString& text) {
    if (text == QLatin1String("Ok")) return PropertyState::Ok;
    if (text == QLatin1String("Busy")) return PropertyState::Busy;
    if (text == QLatin1String("Alert")) return PropertyState::Alert;
    return PropertyState::Idle;
}

QString StateName(PropertyState state) {
    switch (state) {
        case PropertyState::Ok:
            return QStringLiteral("Ok");
        case PropertyState::Busy:
            return QStringLiteral("Busy");
        case PropertyState::Alert:
            return QStringLiteral("Alert");
        case PropertyState::Idle:
            break;
    }
    return QStringLiteral("Idle");
}

std::optional<double> ParseIndiNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const double plain = t.toDouble(&ok);  // C locale
    if (ok) return std::isfinite(plain) ? std::optional<double>(plain) : std::nullopt;

    // Sexagesimal: degrees (or hours), minutes, seconds; the sign of the
    // first part applies to the whole value, "-0:30" included.
    static const QRegularExpression separators(QStringLiteral("[:\\s]+"));
    const QStringList parts = t.split(separators, Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 3) return std::nullopt;
    double value = 0.0;
    double scale = 1.0;
    for (const QString& p : parts) {
        const double v = p.toDouble(&ok);
        if (!ok || !std::isfinite(v)) return std::nullopt;
        value += std::fabs(v) / scale;
        scale *= 60.0;
    }
    return parts.first().startsWith(QLatin1Char('-')) ? -value : value;
}

}  // namespace celaris::indi
