// The driver profile: named text values grouped by device type, driver id
// and optional sub-key, kept in one human-readable file per user.
//
// Location: $CELARIS_CONFIG_DIR/profile.json when the variable is set, else
// profile.json in the "celaris" folder of the XDG config directory
// (~/.config/celaris/ by default).
//
// Reading never fails: a value never written reads as empty text. Every
// change is written to the file at once, atomically (see atomic_file.h);
// Batch() groups several changes into one write. Names of driver ids,
// values and sub-keys compare without regard to letter case, as registry
// names do, and keep the case they were first written with.
//
// Values are text; a hand-edited number or boolean ("Latitude": 52,
// "AntiBacklash": true) reads as its text ("52", "True"). A file that cannot
// be parsed is renamed aside (suffix ".corrupt-<time>"), reported once on
// stderr and in loadWarning(), and the store starts empty, so every setting
// takes its default. A file that exists but cannot be read at all, or that a
// newer version wrote (a higher "celarisProfile" format), is left alone; the
// store then keeps changes in memory only and every write raises, so that
// the file is never overwritten blindly. A newer file's values are read as
// far as they are understood.
#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <optional>

#include "celaris/profile/atomic_file.h"

namespace celaris::profile {

inline constexpr char kProfileFileName[] = "profile.json";

QString DefaultProfilePath();

// Source of the errors the store raises when it cannot write its file.
inline constexpr char kProfileErrorSource[] = "Celaris Settings Store";

class Profile {
  public:
    explicit Profile(QString path = DefaultProfilePath());

    const QString& path() const { return path_; }
    // Why the file could not be used at start, or empty.
    const QString& loadWarning() const { return loadWarning_; }
    // Whether changes can be written: the file is not held read-only and a
    // file can be created in its folder; the reason when not.
    bool Writable(QString* why = nullptr) const;

    // Every later call refers to drivers of this type. "Telescope" until set.
    void SetDeviceType(const QString& deviceType) { deviceType_ = deviceType; }
    const QString& deviceType() const { return deviceType_; }

    // Enters the driver id with its description; repeating it is harmless.
    void Register(const QString& driverId, const QString& description);
    // Removes the driver id with all its values and sub-keys.
    void Unregister(const QString& driverId);
    bool IsRegistered(const QString& driverId) const;
    // Driver ids of the current device type, in a stable (case-folded
    // alphabetical) order.
    QStringList RegisteredDevices() const;
    // The description given at registration, or empty text.
    QString DriverDescription(const QString& driverId) const;

    // The text last written under the name, or empty text; subKey empty is
    // the driver id's root. Never fails.
    QString GetValue(const QString& driverId, const QString& name,
                     const QString& subKey = QString()) const;
    // Stores the text (creating the driver id and sub-key as needed).
    // Raises a ComError when the file cannot be written; the value is kept
    // in memory all the same.
    void WriteValue(const QString& driverId, const QString& name, const QString& value,
                    const QString& subKey = QString());
    // Makes sure the sub-key exists; an existing one is left as it is.
    void CreateSubKey(const QString& driverId, const QString& subKey);

    // Runs fn, which makes several changes, and writes the file once at the
    // end. A write error raises after fn has run; when fn itself fails, what
    // it changed is still written and fn's failure is raised.
    template <typename Fn>
    void Batch(Fn&& fn);

    // Tests stop writes at a given step through this hook.
    void SetWriteStepHook(WriteStepHook hook) { hook_ = std::move(hook); }

  private:
    struct Entry {
        QString name;  // as first written
        QString text;
    };
    using Values = std::map<QString, Entry>;  // keyed by case-folded name
    struct SubKey {
        QString name;
        Values values;
    };
    struct Driver {
        QString name;
        QString description;
        Values values;
        std::map<QString, SubKey> subKeys;
    };
    struct DeviceType {
        QString name;
        std::map<QString, Driver> drivers;
    };

    static QString Fold(const QString& name) { return name.toCaseFolded(); }
    const Driver* FindDriver(const QString& driverId) const;
    Driver& DriverFor(const QString& driverId);

    void Load();
    // The file's format number; nothing when it is not a settings file.
    static std::optional<int> FormatOf(const QByteArray& bytes);
    bool Parse(const QByteArray& bytes);
    QByteArray Serialise() const;
    void SetAside(const QString& reason);
    // Writes the file now, or at the end of the current batch.
    void Changed();
    void Save();
    void BeginBatch() { ++batchDepth_; }
    void EndBatch();

    QString path_;
    QString loadWarning_;
    bool readOnly_ = false;  // the file exists but could not be read
    QString deviceType_ = QStringLiteral("Telescope");
    std::map<QString, DeviceType> deviceTypes_;
    int batchDepth_ = 0;
    bool dirty_ = false;
    WriteStepHook hook_;
};

template <typename Fn>
void Profile::Batch(Fn&& fn) {
    BeginBatch();
    try {
        fn();
    } catch (...) {
        // Keep what was changed before the failure, then report the failure.
        try {
            EndBatch();
        } catch (...) {
        }
        throw;
    }
    EndBatch();
}

}  // namespace celaris::profile
