#include "horizon_model.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "celaris/units/angles.h"
#include "main_model.h"
#include "window_rules.h"

namespace celaris::models {

namespace {
constexpr double kDeg = units::kPi / 180.0;
int SliderOf(double altDeg) {
    return static_cast<int>(std::lround(90.0 - altDeg));
}
}  // namespace

HorizonModel::HorizonModel(hub::Program& program, QObject* parent)
    : QObject(parent), program_(program) {
    Activate();
}

void HorizonModel::Activate() {
    const auto& h = program_.settings().HorizonRad;
    for (int k = 0; k < kPoints; ++k) {
        sldrHorizon[k] = SliderOf(h[k] / kDeg);
        txtHorizon[k] = FormatFixed(h[k] / kDeg, 1);
    }
    emit changed();
}

void HorizonModel::SliderReleased(int k, int position) {
    sldrHorizon[k] = position;
    txtHorizon[k] = QString::number(90 - position);
    emit changed();
}

void HorizonModel::TextChanged(int k, const QString& text) {
    txtHorizon[k] = text;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    // Not a number: the slider goes to the zenith.
    sldrHorizon[k] = ok && std::isfinite(v) ? std::clamp(SliderOf(v), 0, 90) : 0;
    emit changed();
}

void HorizonModel::Reset() {
    for (int k = 0; k < kPoints; ++k) {
        sldrHorizon[k] = 60;
        txtHorizon[k] = QStringLiteral("30.0");
    }
    emit changed();
}

void HorizonModel::Ok() {
    auto& h = program_.settings().HorizonRad;
    for (int k = 0; k < kPoints; ++k) {
        bool ok = false;
        const double v = txtHorizon[k].trimmed().toDouble(&ok);
        h[k] = ok && std::isfinite(v) ? v * kDeg : 0.0;
    }
    emit changed();
}

std::optional<QString> HorizonModel::Import(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
    const auto points = ParseHorizonFile(f.readAll());
    if (!points || points->isEmpty())
        return QStringLiteral(
                   "%1 holds no azimuth and altitude pairs (expected lines of \"azimuth "
                   "altitude\" in degrees).")
            .arg(path);
    const auto maxima = SectorMaxima(*points);
    for (int k = 0; k < kPoints; ++k) {
        txtHorizon[k] = FormatFixed(maxima[k], 1);
        sldrHorizon[k] = std::clamp(SliderOf(maxima[k]), 0, 90);
    }
    emit changed();
    return std::nullopt;
}

std::optional<QList<HorizonPoint>> ParseHorizonFile(const QByteArray& bytes) {
    QList<HorizonPoint> points;
    const QJsonDocument json = QJsonDocument::fromJson(bytes);
    if (json.isArray()) {
        for (const auto& v : json.array()) {
            const QJsonArray pair = v.toArray();
            if (pair.size() < 2) return std::nullopt;
            points.append({pair[0].toDouble(), pair[1].toDouble()});
        }
        return points;
    }
    static const QRegularExpression sep(QStringLiteral("[\\s,;]+"));
    for (QString line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';') ||
            line.startsWith(QLatin1String("//")))
            continue;
        const QStringList f = line.split(sep, Qt::SkipEmptyParts);
        bool okAz = false, okAlt = false;
        const double az = f.size() >= 2 ? f[0].toDouble(&okAz) : 0;
        const double alt = f.size() >= 2 ? f[1].toDouble(&okAlt) : 0;
        // A header line of words is skipped; a line of broken numbers is not.
        if (!okAz && !okAlt) continue;
        if (!okAz || !okAlt || !std::isfinite(az) || !std::isfinite(alt)) return std::nullopt;
        points.append({std::fmod(std::fmod(az, 360.0) + 360.0, 360.0), alt});
    }
    return points;
}

std::array<double, profile::kHorizonPoints> SectorMaxima(const QList<HorizonPoint>& in) {
    QList<HorizonPoint> pts = in;
    std::sort(pts.begin(), pts.end(),
              [](const HorizonPoint& a, const HorizonPoint& b) { return a.azDeg < b.azDeg; });
    // The outline at any azimuth: linear between neighbours, round the circle.
    const auto at = [&](double az) {
        if (pts.size() == 1) return pts[0].altDeg;
        for (int i = 0; i < pts.size(); ++i) {
            const HorizonPoint& a = pts[i];
            const HorizonPoint& b = pts[(i + 1) % pts.size()];
            double span = b.azDeg - a.azDeg;
            double off = az - a.azDeg;
            if (span <= 0) span += 360.0;
            if (off < 0) off += 360.0;
            if (off <= span)
                return span == 0 ? a.altDeg : a.altDeg + (b.altDeg - a.altDeg) * off / span;
        }
        return pts[0].altDeg;
    };
    std::array<double, profile::kHorizonPoints> out{};
    for (int k = 0; k < profile::kHorizonPoints; ++k) {
        const double lo = k * 22.5 - 11.25;
        double m =
            std::max(at(std::fmod(lo + 360.0, 360.0)), at(std::fmod(lo + 22.5 + 360.0, 360.0)));
        for (const auto& p : pts) {
            const double d = std::remainder(p.azDeg - k * 22.5, 360.0);
            if (std::abs(d) <= 11.25) m = std::max(m, p.altDeg);
        }
        out[k] = m;
    }
    return out;
}

}  // namespace celaris::models
