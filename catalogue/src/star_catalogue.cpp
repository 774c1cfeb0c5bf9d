#include "celaris/catalogue/star_catalogue.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace celaris::catalogue {

namespace {

const QString kSource = QStringLiteral("Celaris");
constexpr int kFileNotFound = 53;
constexpr int kTypeMismatch = 13;

bool Fail(QString* why, const QString& text) {
    if (why) *why = text;
    return false;
}

// The name: up to the first comma, or everything between a pair of double
// quotes (which may hold commas). rest receives what follows the comma.
bool SplitName(const QString& line, QString& name, QString& rest, QString* why) {
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('"'))) {
        const qsizetype close = t.indexOf(QLatin1Char('"'), 1);
        if (close < 0) return Fail(why, QStringLiteral("the name's closing quote is missing"));
        name = t.mid(1, close - 1);
        const QString after = t.mid(close + 1).trimmed();
        if (!after.startsWith(QLatin1Char(',')))
            return Fail(why, QStringLiteral("no comma after the quoted name"));
        rest = after.mid(1);
    } else {
        const qsizetype comma = t.indexOf(QLatin1Char(','));
        if (comma < 0) return Fail(why, QStringLiteral("one field where six are expected"));
        name = t.left(comma).trimmed();
        rest = t.mid(comma + 1);
    }
    if (name.isEmpty()) return Fail(why, QStringLiteral("the name is empty"));
    return true;
}

}  // namespace

std::optional<CatalogueLine> ParseCatalogueLine(const QString& line, QString* why) {
    CatalogueLine out;
    QString rest;
    if (!SplitName(line, out.name, rest, why)) return std::nullopt;
    const QStringList fields = rest.split(QLatin1Char(','));
    if (fields.size() != 5) {
        Fail(why, QStringLiteral("%1 fields where six are expected").arg(fields.size() + 1));
        return std::nullopt;
    }
    static const char* const kFieldNames[] = {"magnitude", "right ascension", "declination",
                                              "RA motion", "Dec motion"};
    double* const targets[] = {&out.magnitude, &out.raDeg, &out.decDeg, &out.pmRaMasPerYear,
                               &out.pmDecMasPerYear};
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        // QString::toDouble reads the C locale: a point, never a comma.
        const double v = fields[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            Fail(why, QStringLiteral("the %1 \"%2\" is not a number")
                          .arg(QLatin1String(kFieldNames[i]), fields[i].trimmed()));
            return std::nullopt;
        }
        *targets[i] = v;
    }
    return out;
}

CatalogueFile ReadCatalogue(const QString& path) {
    CatalogueFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        result.error =
            dispatch::ComError(kFileNotFound, kSource,
                               QStringLiteral("The star catalogue %1 cannot be read: %2.")
                                   .arg(path, file.errorString()));
        return result;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty()) continue;
        QString why;
        const auto star = ParseCatalogueLine(lines[i], &why);
        if (!star) {
            result.error = dispatch::ComError(
                kTypeMismatch, kSource,
                QStringLiteral("The star catalogue %1, line %2, is not a star: %3.")
                    .arg(QFileInfo(path).fileName())
                    .arg(i + 1)
                    .arg(why));
            return result;
        }
        result.lines.append(*star);
    }
    return result;
}

}  // namespace celaris::catalogue
