#ifndef OUTPUT_H
#define OUTPUT_H

#include "decodedreply.h"
#include "exchange.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

// How tavctl prints a reply: text for a person, JSON, or CSV as a recording.
enum class OutputFormat { Text, Json, Csv };

// The battery's state as one word, as the window's three buttons tell it.
// Where several flags are set, the window's precedence holds: charging over
// empty, empty over full. "Indéterminé" when none is set.
QString batteryState(const DecodedReply &reply);

// The power of the panel (its voltage times its current) and of the battery
// (its voltage times its current, into it positive), in watts. A controller
// that sends the battery's current with its sign is read as it says; one that
// sends its magnitude (never below 0) has it going in while the charging flag
// is set, out otherwise.
struct Powers
{
    double panel = 0;
    double battery = 0;
};
Powers powersOf(const DecodedReply &reply);

// Watts as a reading writes them, with one decimal ("5.5", "-1.5", "0.0").
QString wattsText(double watts);

// Local time in ISO 8601 with milliseconds and the offset from UTC,
// e.g. 2026-12-07T10:00:02.000+01:00.
QString isoTime(const QDateTime &time);

// The thirteen values of the recording's columns, from "est" to
// "elevation_deg", as they are written: volts with one decimal, milliamperes,
// flags 1 or 0.
QStringList recordingValues(const DecodedReply &reply);

// One row of a recording (see recording.h) for a refresh made at `time`,
// ended by LF; its values empty unless it measured.
QByteArray recordingRow(const QDateTime &time, const ExchangeResult &result);

// A reply as `format` says; for CSV, the recording's header and one row.
// Without a measurement: no text, JSON nulls, a CSV row without values.
QByteArray formatReply(OutputFormat format, const QDateTime &time, const ExchangeResult &result);

// The JSON of formatReply on one line, for a program that reads it as a
// message, with `more` members (their values as JSON) among the others.
QByteArray compactJson(const QDateTime &time, const ExchangeResult &result,
                       const QMap<QString, QByteArray> &more = {});

#endif // OUTPUT_H
