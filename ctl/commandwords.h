#ifndef COMMANDWORDS_H
#define COMMANDWORDS_H

#include <QByteArray>
#include <QStringList>

// The words that stand for the window's motor and light buttons, on tavctl's
// command line and in the MQTT bridge's command messages, and the very bytes
// the window sends for them, carriage return included.

// up, down, left or right: J01010, J02010, K02010, K01010. Empty for any other word.
QByteArray motorBytes(const QString &direction);

// 1 to 4 (E0200 to E0500), off (E0000), or all and a LEVEL of one or two
// digits, 0 to 99 (E01 and the level in decimal, as "LED complet": all 5
// gives E015). Empty for anything else.
QByteArray lightBytes(const QStringList &words);

// A LEVEL of one or two digits, 0 to 99; -1 for anything else.
int lightLevelOf(const QString &word);

#endif // COMMANDWORDS_H
