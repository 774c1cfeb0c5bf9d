// What the hub's setup page (/setup/v1/telescope/0/setup) tells about its
// state and its pointing model: the rows of its tables. The hub serves no
// machine-readable model yet; this page is its one public description.
#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <string_view>

namespace celaris::indi_driver {

struct SetupRow {
    QString name;   // "Collimation"
    QString value;  // "12.3\"", entities decoded
};

// Every <tr><th>NAME</th><td>VALUE</td></tr> of the page, in order.
QList<SetupRow> ParseSetupRows(std::string_view html);

// The value of the row called `name`; nothing when the page has none.
std::optional<QString> RowValue(const QList<SetupRow>& rows, const QString& name);

// A model term as the page writes it ("-12.3\"") in arc seconds.
std::optional<double> ArcSeconds(const QString& value);

}  // namespace celaris::indi_driver
