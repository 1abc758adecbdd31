#ifndef OUTCOME_H
#define OUTCOME_H

#include "exchange.h"

#include <QString>

// What one exchange came to, as tavctl tells it: whether it measured, the
// status a recording's row carries, what went wrong in words, and the exit
// status that goes with it.

// True when the controller answered with a status reply: its values stand.
// Noise or a reply cut short is no measurement, whatever it decodes to.
bool hasMeasurement(const ExchangeResult &result);

// "ok" for a measurement, "no reply", "bad reply" for a reply of another
// shape, "busy" for a port another program holds, otherwise the port's error
// text.
QString recordingStatus(const ExchangeResult &result);

// What went wrong, for stderr after "tavctl: ", starting with the port's name
// (e.g. "COM2: no reply within 1000 ms"); empty for a measurement.
QString problemOf(const QString &portName, const ExchangeResult &result);

// 0 for a measurement, 1 when the controller did not answer with one, 3 when
// the port could not be opened or written.
int exitStatusOf(const ExchangeResult &result);

#endif // OUTCOME_H
