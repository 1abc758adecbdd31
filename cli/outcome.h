#ifndef OUTCOME_H
#define OUTCOME_H

#include "exchange.h"

#include <QString>

// What one exchange came to, as tavctl tells it: whether it measured, the
// status a recording's row carries, what went wrong in words, and the exit
// status that goes with it.

// Bytes as a C string literal shows them, without its quotes: printable ASCII
// as it is, the rest escaped (\r, \n, \xff), so that they stay on one line.
QString escapedBytes(const QByteArray &bytes);

// True when the controller answered with a status reply: its values stand.
// Noise, a reply cut short, replies back to back or a collection that ended
// on its cap (a controller that never paused) is no measurement, whatever it
// decodes to.
bool hasMeasurement(const ExchangeResult &result);

// "ok" for a measurement, "no reply", "bad reply" for a reply of another
// shape, "busy" for a port another program holds, otherwise the port's error
// text.
QString recordingStatus(const ExchangeResult &result);

// What went wrong, for stderr after "tavctl: COMMAND: ", starting with the
// port and its device (e.g. "COM2 (/dev/ttyUSB0): no reply within 1000 ms"),
// or the device alone when it was given as such; empty for a measurement.
QString problemOf(const ExchangeResult &result);

// 0 for a measurement, 1 when the controller did not answer with one, 3 when
// the port could not be opened or written.
int exitStatusOf(const ExchangeResult &result);

// Tells when the outcome of repeated exchanges changes: the first failure,
// each change of failure, and measuring again.
class StatusChanges
{
public:
    // The line to tell for this exchange, which `place` names ("row 41"), or
    // an empty one while the status stays what it was.
    QString lineFor(const ExchangeResult &result, const QString &place);

private:
    QString lastStatus = QStringLiteral("ok");
};

#endif // OUTCOME_H
