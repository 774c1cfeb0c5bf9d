#include "celaris/profile/profile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "celaris/dispatch/errors.h"
#include "celaris/profile/value_text.h"

namespace celaris::profile {

using dispatch::ComError;

namespace {

// The file's layout:
// { "celarisProfile": 1,
//   "deviceTypes": { "Telescope": { "Celaris.Telescope": {
//       "description": "Celaris",
//       "values": { "Scope": "..." },
//       "subKeys": { "FormPositions": { "PosMainX": "300" } } } } } }
const QString kVersionKey = QStringLiteral("celarisProfile");
const QString kDeviceTypesKey = QStringLiteral("deviceTypes");
const QString kDescriptionKey = QStringLiteral("description");
const QString kValuesKey = QStringLiteral("values");
const QString kSubKeysKey = QStringLiteral("subKeys");
constexpr int kVersion = 1;

void Report(const QString& text) {
    std::fprintf(stderr, "celaris: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

}  // namespace

QString DefaultProfilePath() {
    const QString dir = qEnvironmentVariable("CELARIS_CONFIG_DIR");
    if (!dir.isEmpty()) return dir + QLatin1Char('/') + QLatin1String(kProfileFileName);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/celaris/") + QLatin1String(kProfileFileName);
}

Profile::Profile(QString path) : path_(std::move(path)) {
    Load();
}

void Profile::Load() {
    // Left-overs of writers that died, also of a first write that never
    // got as far as the rename.
    RemoveStaleTempFiles(path_);
    QFile file(path_);
    if (!file.exists()) return;  // a fresh store
    // A file that exists but cannot be read is never overwritten blindly.
    auto unreadable = [&] {
        readOnly_ = true;
        loadWarning_ = QStringLiteral(
                           "The settings file %1 cannot be read (%2); the defaults "
                           "apply and changes are not saved.")
                           .arg(path_, file.errorString());
        Report(loadWarning_);
    };
    if (!file.open(QIODevice::ReadOnly)) return unreadable();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return unreadable();
    file.close();
    // A newer version's file: read what this version understands of it,
    // and leave it as it is, so that the newer version finds all it wrote.
    if (const auto format = FormatOf(bytes); format && *format > kVersion) {
        readOnly_ = true;
        const bool understood = Parse(bytes);
        if (!understood) deviceTypes_.clear();
        loadWarning_ =
            QStringLiteral(
                "The settings file %1 was written by a newer version of Celaris (format %2; "
                "this version writes format %3). %4 Changes are not saved, so that the file "
                "is not overwritten.")
                .arg(path_)
                .arg(*format)
                .arg(kVersion)
                .arg(understood ? QStringLiteral("Its settings are read as far as this "
                                                 "version understands them.")
                                : QStringLiteral("This version cannot read it; the defaults "
                                                 "apply."));
        Report(loadWarning_);
        return;
    }
    if (!Parse(bytes)) {
        deviceTypes_.clear();
        SetAside(QStringLiteral("it is not a settings file"));
    }
}

std::optional<int> Profile::FormatOf(const QByteArray& bytes) {
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject()) return std::nullopt;
    const QJsonValue version = doc.object().value(kVersionKey);
    // A file written by hand may leave the format out: it is this one.
    if (version.isUndefined()) return kVersion;
    const double v = version.toDouble(-1.0);
    if (v < 1.0 || v != std::floor(v) || v > 1e6) return std::nullopt;
    return static_cast<int>(v);
}

bool Profile::Parse(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject root = doc.object();
    if (!FormatOf(bytes)) return false;
    const QJsonValue types = root.value(kDeviceTypesKey);
    if (!types.isObject()) return false;

    // Values: text, or what a hand edit puts there, numbers and booleans,
    // taken as the text they stand for; null is a value not set.
    auto readValues = [](const QJsonValue& v, Values& into) {
        if (v.isUndefined()) return true;
        if (!v.isObject()) return false;
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            QString text;
            switch (it.value().type()) {
                case QJsonValue::String:
                    text = it.value().toString();
                    break;
                case QJsonValue::Double:
                    text = DoubleText(it.value().toDouble());
                    break;
                case QJsonValue::Bool:
                    text = BoolText(it.value().toBool());
                    break;
                case QJsonValue::Null:
                    continue;
                default:
                    return false;
            }
            into[Fold(it.key())] = Entry{it.key(), text};
        }
        return true;
    };

    const QJsonObject typesObject = types.toObject();
    for (auto t = typesObject.begin(); t != typesObject.end(); ++t) {
        if (!t.value().isObject()) return false;
        DeviceType& type = deviceTypes_[Fold(t.key())];
        type.name = t.key();
        const QJsonObject drivers = t.value().toObject();
        for (auto d = drivers.begin(); d != drivers.end(); ++d) {
            if (!d.value().isObject()) return false;
            const QJsonObject o = d.value().toObject();
            Driver& driver = type.drivers[Fold(d.key())];
            driver.name = d.key();
            const QJsonValue description = o.value(kDescriptionKey);
            if (!description.isUndefined() && !description.isString()) return false;
            driver.description = description.toString();
            if (!readValues(o.value(kValuesKey), driver.values)) return false;
            const QJsonValue subKeys = o.value(kSubKeysKey);
            if (subKeys.isUndefined()) continue;
            if (!subKeys.isObject()) return false;
            const QJsonObject subs = subKeys.toObject();
            for (auto s = subs.begin(); s != subs.end(); ++s) {
                SubKey& sub = driver.subKeys[Fold(s.key())];
                sub.name = s.key();
                if (!readValues(s.value(), sub.values)) return false;
            }
        }
    }
    return true;
}

QByteArray Profile::Serialise() const {
    auto values = [](const Values& from) {
        QJsonObject o;
        for (const auto& [folded, entry] : from) o.insert(entry.name, entry.text);
        return o;
    };
    QJsonObject types;
    for (const auto& [foldedType, type] : deviceTypes_) {
        QJsonObject drivers;
        for (const auto& [foldedId, driver] : type.drivers) {
            QJsonObject d;
            d.insert(kDescriptionKey, driver.description);
            d.insert(kValuesKey, values(driver.values));
            QJsonObject subs;
            for (const auto& [foldedSub, sub] : driver.subKeys)
                subs.insert(sub.name, values(sub.values));
            d.insert(kSubKeysKey, subs);
            drivers.insert(driver.name, d);
        }
        types.insert(type.name, drivers);
    }
    QJsonObject root;
    root.insert(kVersionKey, kVersion);
    root.insert(kDeviceTypesKey, types);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void Profile::SetAside(const QString& reason) {
    const QString base =
        path_ + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
    QString aside = base;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = base + QLatin1Char('-') + QString::number(n);
    if (QFile::rename(path_, aside)) {
        loadWarning_ = QStringLiteral(
                           "The settings file %1 cannot be used (%2); it was kept as %3 "
                           "and the defaults apply.")
                           .arg(path_, reason, aside);
    } else {
        // It cannot be moved, so it must not be overwritten either.
        readOnly_ = true;
        loadWarning_ = QStringLiteral(
                           "The settings file %1 cannot be used (%2) and cannot be "
                           "moved aside; the defaults apply and changes are not saved.")
                           .arg(path_, reason);
    }
    Report(loadWarning_);
}

const Profile::Driver* Profile::FindDriver(const QString& driverId) const {
    const auto type = deviceTypes_.find(Fold(deviceType_));
    if (type == deviceTypes_.end()) return nullptr;
    const auto driver = type->second.drivers.find(Fold(driverId));
    return driver == type->second.drivers.end() ? nullptr : &driver->second;
}

Profile::Driver& Profile::DriverFor(const QString& driverId) {
    DeviceType& type = deviceTypes_[Fold(deviceType_)];
    if (type.name.isEmpty()) type.name = deviceType_;
    Driver& driver = type.drivers[Fold(driverId)];
    if (driver.name.isEmpty()) driver.name = driverId;
    return driver;
}

void Profile::Register(const QString& driverId, const QString& description) {
    const Driver* existing = FindDriver(driverId);
    if (existing != nullptr && existing->description == description) return;
    DriverFor(driverId).description = description;
    Changed();
}

void Profile::Unregister(const QString& driverId) {
    const auto type = deviceTypes_.find(Fold(deviceType_));
    if (type == deviceTypes_.end()) return;
    if (type->second.drivers.erase(Fold(driverId)) == 0) return;
    Changed();
}

bool Profile::IsRegistered(const QString& driverId) const {
    return FindDriver(driverId) != nullptr;
}

QStringList Profile::RegisteredDevices() const {
    QStringList ids;
    const auto type = deviceTypes_.find(Fold(deviceType_));
    if (type == deviceTypes_.end()) return ids;
    for (const auto& [folded, driver] : type->second.drivers) ids.append(driver.name);
    return ids;
}

QString Profile::DriverDescription(const QString& driverId) const {
    const Driver* driver = FindDriver(driverId);
    return driver == nullptr ? QString() : driver->description;
}

QString Profile::GetValue(const QString& driverId, const QString& name,
                          const QString& subKey) const {
    const Driver* driver = FindDriver(driverId);
    if (driver == nullptr) return {};
    const Values* values = &driver->values;
    if (!subKey.isEmpty()) {
        const auto sub = driver->subKeys.find(Fold(subKey));
        if (sub == driver->subKeys.end()) return {};
        values = &sub->second.values;
    }
    const auto entry = values->find(Fold(name));
    return entry == values->end() ? QString() : entry->second.text;
}

void Profile::WriteValue(const QString& driverId, const QString& name, const QString& value,
                         const QString& subKey) {
    Driver& driver = DriverFor(driverId);
    Values* values = &driver.values;
    if (!subKey.isEmpty()) {
        SubKey& sub = driver.subKeys[Fold(subKey)];
        if (sub.name.isEmpty()) sub.name = subKey;
        values = &sub.values;
    }
    Entry& entry = (*values)[Fold(name)];
    if (entry.name.isEmpty()) {
        entry.name = name;
    } else if (entry.text == value && !dirty_) {
        return;  // nothing new to write
    }
    entry.text = value;
    Changed();
}

void Profile::CreateSubKey(const QString& driverId, const QString& subKey) {
    if (subKey.isEmpty()) return;
    const Driver* existing = FindDriver(driverId);
    if (existing != nullptr && existing->subKeys.count(Fold(subKey)) != 0) return;
    DriverFor(driverId).subKeys[Fold(subKey)].name = subKey;
    Changed();
}

void Profile::Changed() {
    dirty_ = true;
    if (batchDepth_ == 0) Save();
}

void Profile::EndBatch() {
    if (--batchDepth_ == 0 && dirty_) Save();
}

bool Profile::Writable(QString* why) const {
    auto fail = [&](const QString& reason) {
        if (why != nullptr) *why = reason;
        return false;
    };
    if (readOnly_) return fail(loadWarning_);
    const QFileInfo target(path_);
    const QString folder = target.absolutePath();
    if (!QDir().mkpath(folder)) return fail(QStringLiteral("cannot create the folder ") + folder);
    // A file named as the writes name their temporary files, so that one a
    // crash leaves is cleared away at the next start.
    QFile probe(target.absoluteFilePath() + QStringLiteral(".tmp-%1-probe").arg(::getpid()));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(
            QStringLiteral("cannot create a file in %1: %2").arg(folder, probe.errorString()));
    probe.remove();
    return true;
}

void Profile::Save() {
    const QString source = QString::fromLatin1(kProfileErrorSource);
    if (readOnly_)
        throw ComError(dispatch::kErrRegistryKey, source,
                       QStringLiteral("The settings file %1 could not be used at start, so it is "
                                      "not overwritten; the change is kept until the program ends.")
                           .arg(path_));
    QString why;
    if (!WriteFileAtomically(path_, Serialise(), &why, hook_))
        throw ComError(dispatch::kErrRegistryKey, source,
                       QStringLiteral("Failed to write the settings file (%1).").arg(why));
    dirty_ = false;
}

}  // namespace celaris::profile
