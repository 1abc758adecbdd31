#ifndef TRACKTURN_H
#define TRACKTURN_H

#include "exchange.h"
#include "tracker.h"

#include <functional>

// One turn of the tracker on the line, for tavctl track and the MQTT bridge
// alike: the refresh's reply observed, then each move the tracker asks for,
// one exchange each, until it asks for none or the line fails (no move is
// ever sent on after a reply that measured nothing), made at `seconds` on a
// steady clock. `exchange` makes one
// exchange and reports it; `say` gets each of the tracker's lines.
void trackTurn(Tracker &tracker, const ExchangeResult &refresh, double seconds,
               const std::function<ExchangeResult(const QByteArray &)> &exchange,
               const std::function<void(const QString &)> &say);

#endif // TRACKTURN_H
