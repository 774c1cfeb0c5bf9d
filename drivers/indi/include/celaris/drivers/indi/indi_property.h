// What an INDI server has told a client about one property (vector): its
// definition, its latest values and state, and when each state was last
// reported, so that a waiting caller can tell a device's answer to its own
// command from the reports that were already on the way.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace celaris::indi {

enum class PropertyType { Text, Number, Switch, Light, Blob };
enum class PropertyState { Idle = 0, Ok = 1, Busy = 2, Alert = 3 };

struct Element {
    QString name;
    QString label;
    // Switches and lights as "On"/"Off"/state words, texts as sent; numbers
    // keep their text too.
    QString text;
    double number = 0.0;  // numbers only, sexagesimal text converted
    // Numbers: the range the definition gives (both 0 when it gives none).
    double min = 0.0;
    double max = 0.0;
    // BLOBs: the decoded bytes (text stays empty) and their format as sent
    // (".fits", ".fits.z" when the device compresses).
    QByteArray blob;
    QString format;
};

struct Property {
    QString device;
    QString name;
    QString label;
    QString group;
    PropertyType type = PropertyType::Text;
    PropertyState state = PropertyState::Idle;
    QString perm;  // "ro", "wo", "rw"
    QString rule;  // switches: "OneOfMany", "AtMostOne", "AnyOfMany"
    QList<Element> elements;

    // Sequence number (of the client's received elements) of the latest
    // definition or update, and of the latest report of each state.
    uint64_t updated = 0;
    std::array<uint64_t, 4> stateSeen{};
    // When the latest definition or update arrived.
    std::chrono::steady_clock::time_point receivedAt{};

    const Element* Find(const QString& element) const;
    bool Has(const QString& element) const { return Find(element) != nullptr; }
    // A switch element that is On; false for a missing element.
    bool IsOn(const QString& element) const;
    // The first switch element that is On, or empty.
    QString OnSwitch() const;
    std::optional<double> Number(const QString& element) const;
    std::optional<QString> Text(const QString& element) const;
    bool Writable() const { return perm != QLatin1String("ro"); }
    // The state was reported after the given sequence number.
    bool SeenAfter(PropertyState s, uint64_t seq) const {
        return stateSeen[static_cast<size_t>(s)] > seq;
    }
};

// "Idle", "Ok", "Busy", "Alert" (anything else reads as Idle).
PropertyState ParseState(const QString& text);
QString StateName(PropertyState state);

// An INDI number: decimal, or sexagesimal with ':' or blanks between the
// parts ("-12:30:36", "5 30"). Nothing when it is neither.
std::optional<double> ParseIndiNumber(const QString& text);

}  // namespace celaris::indi
