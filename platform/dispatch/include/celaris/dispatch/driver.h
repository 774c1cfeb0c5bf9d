// A telescope driver reached late-bound: members are got, put and called by
// their ASCOM name (letter case ignored) with QVariant values; every failure
// is a ComError with all five items.
//
// Values: bool, qint16/int, double, QString, QDateTime (UTC), QStringList,
// QList<int> (TrackingRates), celaris::AxisRates.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>

#include "celaris/dispatch/com_error.h"

namespace celaris {

// The driver layer raises the program's one error type.
using dispatch::ComError;
using dispatch::Raise;

class Driver {
  public:
    virtual ~Driver() = default;
    virtual QVariant Get(const QString& member) = 0;
    virtual void Put(const QString& member, const QVariant& value) = 0;
    virtual QVariant Call(const QString& member, const QVariantList& args = {}) = 0;
};

// Typed reading of results: a value of the wrong type raises the type
// mismatch error with the driver's member in the description.
bool ToBool(const QVariant& v, const QString& member);
int ToInt(const QVariant& v, const QString& member);
double ToDouble(const QVariant& v, const QString& member);
QString ToText(const QVariant& v, const QString& member);
QDateTime ToDateTime(const QVariant& v, const QString& member);

// Creates drivers from their id ("Celaris.Simulator", "alpaca:...",
// "indi:..."). Each kind of driver registers a maker for its id or prefix.
class DriverFactory {
  public:
    using Maker = std::function<std::unique_ptr<Driver>(const QString& id)>;

    static DriverFactory& Instance();
    // prefix: an exact id, or a prefix ending in ':' that matches every id
    // starting with it.
    void Register(const QString& prefix, Maker maker);
    // Raises REGDB_E_CLASSNOTREG-style 0x80040154 for an id nobody serves.
    std::unique_ptr<Driver> Create(const QString& id) const;

  private:
    QList<QPair<QString, Maker>> makers_;
};

}  // namespace celaris
