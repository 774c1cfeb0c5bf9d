#include "celaris/drivers_list/indi_catalog.h"

#include <QFile>
#include <QSet>
#include <QXmlStreamReader>

#include "celaris/dispatch/errors.h"

namespace celaris::drivers_list {

QString DefaultIndiCatalogPath() {
    const QString path = qEnvironmentVariable("CELARIS_INDI_CATALOG");
    return path.isEmpty() ? QString::fromLatin1(kDefaultIndiCatalogPath) : path;
}

namespace {

// Reads one <device> element; the reader stands on its start tag.
IndiTelescope ReadDevice(QXmlStreamReader& xml) {
    IndiTelescope t;
    t.label = xml.attributes().value(QLatin1String("label")).toString().trimmed();
    t.manufacturer = xml.attributes().value(QLatin1String("manufacturer")).toString().trimmed();
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("driver") && t.executable.isEmpty()) {
            t.driverName = xml.attributes().value(QLatin1String("name")).toString().trimmed();
            t.executable = xml.readElementText().trimmed();
        } else if (xml.name() == QLatin1String("version")) {
            t.version = xml.readElementText().trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    return t;
}

}  // namespace

QList<IndiTelescope> ReadIndiTelescopes(const QString& path, const QString& errorSource) {
    QList<IndiTelescope> telescopes;
    QFile file(path);
    if (!file.exists()) return telescopes;
    if (!file.open(QIODevice::ReadOnly)) throw dispatch::ErrRegistryKey(errorSource, path);

    QXmlStreamReader xml(&file);
    QSet<QString> labels;
    if (xml.readNextStartElement()) {  // <driversList>
        while (xml.readNextStartElement()) {
            const bool telescopesGroup =
                xml.name() == QLatin1String("devGroup") &&
                xml.attributes().value(QLatin1String("group")) == QLatin1String("Telescopes");
            if (!telescopesGroup) {
                xml.skipCurrentElement();
                continue;
            }
            while (xml.readNextStartElement()) {
                if (xml.name() != QLatin1String("device")) {
                    xml.skipCurrentElement();
                    continue;
                }
                IndiTelescope t = ReadDevice(xml);
                if (t.label.isEmpty() || t.executable.isEmpty() || labels.contains(t.label))
                    continue;
                labels.insert(t.label);
                telescopes.append(std::move(t));
            }
        }
    }
    // A read error of the file itself shows up as a premature end here.
    if (xml.hasError() || file.error() != QFileDevice::NoError)
        throw dispatch::ErrRegistryKey(errorSource, path);
    return telescopes;
}

}  // namespace celaris::drivers_list
