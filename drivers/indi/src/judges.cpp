#include "judges.h"

#include <cmath>

#include "celaris/units/angles.h"

namespace celaris::indi {

namespace {

constexpr double kDegToRad = units::kDegreesToRadians;

// The state was reported after some message that followed the command.
bool AfterAMessage(const Property& p, PropertyState s, const QList<Message>& messages) {
    for (const Message& m : messages)
        if (p.SeenAfter(s, m.seq)) return true;
    return false;
}

bool UpdatedAfterAMessage(const Property& p, const QList<Message>& messages) {
    for (const Message& m : messages)
        if (p.updated > m.seq) return true;
    return false;
}

bool OnTarget(const Property& p, double ra, double dec) {
    const auto r = p.Number(QStringLiteral("RA"));
    const auto d = p.Number(QStringLiteral("DEC"));
    return r && d && Near(*r, *d, ra, dec);
}

}  // namespace

QString Explanation(const QList<Message>& messages) {
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        if (it->text.startsWith(QLatin1String("[WARNING]")) ||
            it->text.startsWith(QLatin1String("[ERROR]")))
            return it->text;
    return messages.isEmpty() ? QString() : messages.last().text;
}

bool Near(double ra1Hours, double dec1Deg, double ra2Hours, double dec2Deg) {
    double dra = std::remainder(ra1Hours - ra2Hours, 24.0) * 15.0;
    dra *= std::cos(0.5 * (dec1Deg + dec2Deg) * kDegToRad);
    const double ddec = dec1Deg - dec2Deg;
    return std::hypot(dra, ddec) <= 1.0 / 60.0;
}

Judge SwitchJudge(QList<QPair<QString, bool>> wanted) {
    return [wanted = std::move(wanted)](const Property& p, const QList<Message>& messages,
                                        uint64_t sent) {
        if (p.SeenAfter(PropertyState::Alert, sent)) return Verdict::Refused;
        bool shows = true;
        for (const auto& [element, on] : wanted) shows = shows && p.IsOn(element) == on;
        if (shows && p.updated > sent && p.state != PropertyState::Alert) return Verdict::Accepted;
        if (!shows && UpdatedAfterAMessage(p, messages)) return Verdict::Refused;
        return Verdict::Pending;
    };
}

Judge ValueJudge() {
    return [](const Property& p, const QList<Message>& messages, uint64_t sent) {
        if (p.SeenAfter(PropertyState::Alert, sent)) return Verdict::Refused;
        if (p.SeenAfter(PropertyState::Ok, sent) || p.SeenAfter(PropertyState::Busy, sent))
            return Verdict::Accepted;
        if (p.SeenAfter(PropertyState::Idle, sent))
            return AfterAMessage(p, PropertyState::Idle, messages) ? Verdict::Refused
                                                                   : Verdict::Accepted;
        return Verdict::Pending;
    };
}

Judge GotoJudge(double raHours, double decDeg) {
    return [raHours, decDeg](const Property& p, const QList<Message>& messages, uint64_t sent) {
        if (p.SeenAfter(PropertyState::Busy, sent)) return Verdict::Accepted;
        if (p.SeenAfter(PropertyState::Alert, sent)) return Verdict::Refused;
        if (p.SeenAfter(PropertyState::Ok, sent) && OnTarget(p, raHours, decDeg))
            return Verdict::Accepted;
        if (AfterAMessage(p, PropertyState::Idle, messages) ||
            AfterAMessage(p, PropertyState::Ok, messages))
            return Verdict::Refused;
        return Verdict::Pending;
    };
}

Judge SyncJudge(double raHours, double decDeg) {
    return [raHours, decDeg](const Property& p, const QList<Message>& messages, uint64_t sent) {
        if (p.SeenAfter(PropertyState::Alert, sent)) return Verdict::Refused;
        // A mount that does not track reports Idle after a sync.
        const bool reported =
            p.SeenAfter(PropertyState::Ok, sent) || p.SeenAfter(PropertyState::Idle, sent);
        if (reported && OnTarget(p, raHours, decDeg)) return Verdict::Accepted;
        if (AfterAMessage(p, PropertyState::Ok, messages)) return Verdict::Accepted;
        if (AfterAMessage(p, PropertyState::Idle, messages)) return Verdict::Refused;
        return Verdict::Pending;
    };
}

}  // namespace celaris::indi
