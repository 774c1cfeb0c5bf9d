// A telescope driver for tests: properties held in a table, every call
// recorded, and any member made to raise a chosen error.
#pragma once

#include <QHash>
#include <QStringList>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/driver.h"

namespace celaris::test {

class ScriptedDriver : public Driver {
  public:
    ScriptedDriver() {
        for (const char* can : {"CanSlew", "CanSlewAsync", "CanSync", "CanSetPierSide",
                                "CanSlewAltAz", "CanSlewAltAzAsync", "CanSyncAltAz"})
            Set(can, true);
        Set("Name", QStringLiteral("Scripted Mount"));
        Set("Slewing", false);
        Set("RightAscension", 0.0);
        Set("Declination", 0.0);
        Set("SideOfPier", 0);
        Set("InterfaceVersion", 3);
    }

    void Set(const QString& member, const QVariant& v) { values[member.toLower()] = v; }
    QVariant Value(const QString& member) const { return values.value(member.toLower()); }
    void Fail(const QString& member, const ComError& e) { failures.insert(member.toLower(), e); }

    QVariant Get(const QString& member) override {
        log << "get " + member;
        Check(member);
        const auto it = values.find(member.toLower());
        if (it == values.end()) ascom_error::NotImplemented(QStringLiteral("Scripted"), member);
        return *it;
    }
    void Put(const QString& member, const QVariant& value) override {
        log << QStringLiteral("put %1 %2").arg(member, value.toString());
        Check(member);
        Set(member, value);
    }
    QVariant Call(const QString& member, const QVariantList& args) override {
        QStringList parts;
        for (const auto& a : args) parts << a.toString();
        log << QStringLiteral("call %1(%2)").arg(member, parts.join(','));
        Check(member);
        lastArgs = args;
        if (member == "DestinationSideOfPier") return Value("DestinationSideOfPier");
        if (member == "SlewToTargetAsync" || member == "SlewToTarget") ++slews;
        if (member == "SlewToTargetAsync" && slewStartsSlewing) Set("Slewing", true);
        return callResults.value(member);
    }

    // Lines of the log that start with prefix.
    QStringList Calls(const QString& prefix) const { return log.filter(prefix); }

    QHash<QString, QVariant> values;
    QHash<QString, ComError> failures;
    QHash<QString, QVariant> callResults;
    QStringList log;
    QVariantList lastArgs;
    int slews = 0;
    bool slewStartsSlewing = false;

  private:
    void Check(const QString& member) {
        const auto it = failures.find(member.toLower());
        if (it != failures.end()) throw *it;
    }
};

}  // namespace celaris::test
