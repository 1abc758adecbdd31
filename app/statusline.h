#ifndef STATUSLINE_H
#define STATUSLINE_H

#include "decodedreply.h"
#include "exchange.h"

#include <QDateTime>
#include <QString>

// What the window's status bar says of the values it shows: when and from
// which port they were measured, or what the last exchange came to and how
// old the values still shown are. In French, like the rest of the window.

// Where the values on the displays come from.
struct ShownValues
{
    QDateTime time; // when they were measured; invalid for the form's starting values
    QString port;   // the port that measured them
};

// Before any measurement: the displays hold the form's starting values.
QString startingValuesLine();

// After a measured reply: "Mesures de 14:02:31 sur COM1".
QString measuredLine(const ShownValues &shown);

// After an exchange that measured nothing, at `now`: what happened, and how
// old the values still shown are ("COM1 : aucune réponse à 14:03:01 ;
// valeurs de 14:02:31").
QString failedLine(const ExchangeResult &result, ReplyShape shape, const QDateTime &now,
                   const ShownValues &shown);

#endif // STATUSLINE_H
