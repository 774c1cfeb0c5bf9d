#include "celaris/dispatch/member_table.h"

#include <charconv>

namespace celaris::dispatch {

namespace {
// The shortest text that reads back as the same double ("12.5", "1e-07").
std::string Shortest(double value) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}
}  // namespace

std::string OutOfRangeText(const QString& key, double v, const Range& r) {
    if (v >= r.low && (r.highIncluded ? v <= r.high : v < r.high)) return {};
    std::string text =
        key.toStdString() + " " + Shortest(v) + " is outside the range [" + Shortest(r.low) + ", ";
    text += r.high >= kNoUpperLimit ? std::string("...") : Shortest(r.high);
    text += r.highIncluded ? "]" : ")";
    if (*r.unit) text += std::string(" ") + r.unit;
    return text + ".";
}

void MemberTable::Add(Member m) {
    m.path = m.name.toLower();
    members_.append(std::move(m));
}

void MemberTable::Finish() {
    get_.clear();
    put_.clear();
    byName_.clear();
    for (qsizetype i = 0; i < members_.size(); ++i) {
        const Member& m = members_[i];
        if (m.verb == Verb::Get) get_.insert(m.path, i);
        if (m.verb == Verb::Put) put_.insert(m.path, i);
        ByName& b = byName_[m.path];
        (m.method ? b.call : m.verb == Verb::Get ? b.get : b.put) = &m;
    }
}

const Member* MemberTable::Find(Verb verb, const QString& path) const {
    if (verb == Verb::Local) return nullptr;
    const auto& index = verb == Verb::Get ? get_ : put_;
    const auto it = index.constFind(path);
    return it == index.cend() ? nullptr : &members_[*it];
}

const MemberTable::ByName* MemberTable::FindByName(const QString& name) const {
    const auto it = byName_.constFind(name.toLower());
    return it == byName_.cend() ? nullptr : &*it;
}

void MemberTableBuilder::Add(const char* name, Verb verb, bool method, QList<Param> params,
                             Kind result, bool longWait, const char* capability, Needs needs) {
    Member m;
    m.name = QString::fromLatin1(name);
    m.verb = verb;
    m.method = method;
    m.params = std::move(params);
    m.result = result;
    m.longWait = longWait;
    if (QLatin1String(capability) != QLatin1String("Always"))
        m.capability = QString::fromLatin1(capability);
    m.needs = needs;
    table_.Add(std::move(m));
}

MemberTable MemberTableBuilder::Build() {
    table_.Finish();
    return std::move(table_);
}

}  // namespace celaris::dispatch
