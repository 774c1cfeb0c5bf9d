#include "celaris/calibration/observation_name.h"

#include <QTimeZone>

namespace celaris::calibration {

QDateTime EngineUtcNow(hub::EngineRef& engine) {
    LONG y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    hub::Check(engine->UTCNow(&y, &mo, &d, &h, &mi, &sec), "UTCNow");
    return QDateTime(QDate(int(y) + 1900, int(mo) + 1, int(d)), QTime(int(h), int(mi), int(sec)),
                     QTimeZone::utc());
}

QString UtcObservationName(const QDateTime& utc) {
    return utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('Z');
}

}  // namespace celaris::calibration
