#include "setup_page.h"

#include <QRegularExpression>

namespace celaris::indi_driver {

namespace {

QString DecodeEntities(QString text) {
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    // Last, so that "&amp;lt;" stays "&lt;".
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

}  // namespace

QList<SetupRow> ParseSetupRows(std::string_view html) {
    static const QRegularExpression row(
        QStringLiteral("<tr>\\s*<th>(.*?)</th>\\s*<td>(.*?)</td>\\s*</tr>"),
        QRegularExpression::DotMatchesEverythingOption);
    QList<SetupRow> rows;
    const QString page = QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size()));
    for (auto it = row.globalMatch(page); it.hasNext();) {
        const auto m = it.next();
        rows.append(
            {DecodeEntities(m.captured(1)).trimmed(), DecodeEntities(m.captured(2)).trimmed()});
    }
    return rows;
}

std::optional<QString> RowValue(const QList<SetupRow>& rows, const QString& name) {
    for (const SetupRow& r : rows)
        if (r.name == name) return r.value;
    return std::nullopt;
}

std::optional<double> ArcSeconds(const QString& value) {
    QString v = value.trimmed();
    if (!v.endsWith(QLatin1Char('"'))) return std::nullopt;
    v.chop(1);
    bool ok = false;
    const double arcsec = v.toDouble(&ok);
    if (!ok) return std::nullopt;
    return arcsec;
}

}  // namespace celaris::indi_driver
