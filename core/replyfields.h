#ifndef REPLYFIELDS_H
#define REPLYFIELDS_H

#include <QByteArray>
#include <QString>

// Reading the fields of the controller's status reply. A field is known by its
// position alone; where the reply ends early, the field has the bytes that are
// there (possibly none). Pure functions: no widgets, no log.

constexpr int numericFieldWidth = 3;
constexpr int flagFieldWidth = 2;

// Three bytes, cut at the first NUL, read as a signed decimal: optional leading
// white space, an optional sign, then digits and nothing else. Anything else
// reads 0, so the result is always within -99..999.
int readNumericField(const QByteArray &reply, int position);

// Two bytes, cut at the first NUL, as UTF-8 text.
QString readFlagField(const QByteArray &reply, int position);

// True when the reply holds the numeric field whole and it reads as a number
// under the rules above, padded on the left with blanks at most: nothing in it
// that the reading would cut (a NUL), skip (other white space) or turn to 0.
bool isReadableNumericField(const QByteArray &reply, int position);

// True when the reply holds the flag field whole, with no NUL to cut it.
bool isWholeFlagField(const QByteArray &reply, int position);

// A flag is set by exactly "01" and by nothing else.
inline bool isFlagSet(const QString &flagText)
{
    return flagText == QLatin1String("01");
}

#endif // REPLYFIELDS_H
