#ifndef COMMANDWORDS_H
#define COMMANDWORDS_H

#include <QByteArray>
#include <QStringList>

// The words that stand for the window's motor and light buttons, on tavctl's
// command line and in the MQTT bridge's command messages, and the very bytes
// the window sends for them, carriage return included.

// up, down, left or right: J01010, J02010, K02010, K01010. Empty for any other word.
QByteArray motorBytes(const QString &direction);

// 1 to 4 (E0200 to E0500), off (E0000), or all and a LEVEL from 0 to 99
// (E01 and the level in decimal, as "LED complet": all 5, or all 05, gives
// E015). Empty for anything else.
QByteArray lightBytes(const QStringList &words);

// A LEVEL: a whole number from 0 to 99 in decimal digits, leading zeros
// allowed (099 is 99); -1 for anything else (a sign, a blank, 100).
int lightLevelOf(const QString &word);

#endif // COMMANDWORDS_H
