// How to read a device's answer to a command from the property it shows on.
// INDI has no replies: the device changes the property's values and state,
// and may say why in a message. Reports already on the way when the command
// went out carry sequence numbers up to `sent`; only later ones count, and a
// refusal is a state that follows a message the device sent after the
// command (stale reports come before any such message).
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include "celaris/drivers/indi/indi_telescope.h"

namespace celaris::indi {

enum class Verdict : int { Pending, Accepted, Refused };

// Switches: accepted when the property shows the wanted elements; refused on
// Alert, or when it shows otherwise after a message.
Judge SwitchJudge(QList<QPair<QString, bool>> wanted);

// Values and actions: accepted on Ok or Busy, or Idle without a message;
// refused on Alert, or Idle after a message.
Judge ValueJudge();

// A goto on EQUATORIAL_EOD_COORD: accepted when the position goes Busy (or
// is already Ok on the target, for a slew too short to show); refused on
// Alert, or when a message is followed by a state that is not Busy.
Judge GotoJudge(double raHours, double decDeg);

// A sync: accepted when the position shows the synced coordinates (Ok, or
// Idle on a mount that does not track) or goes Ok after a message; refused
// on Alert, or Idle elsewhere after a message.
Judge SyncJudge(double raHours, double decDeg);

// What the device said about a refusal: its last warning or error (INDI
// drivers tag them "[WARNING]", "[ERROR]"), else its last message; empty
// when it said nothing.
QString Explanation(const QList<Message>& messages);

// Whether two places are within one arc minute of each other.
bool Near(double ra1Hours, double dec1Deg, double ra2Hours, double dec2Deg);

}  // namespace celaris::indi
