#include "replyfields.h"

#include <algorithm>

namespace {

// The field's bytes: at most `width` from `position`, fewer where the reply
// ends, and none from the first NUL on.
QByteArray fieldBytes(const QByteArray &reply, int position, int width)
{
    if (position < 0 || position >= reply.size())
        return QByteArray();
    const char *start = reply.constData() + position;
    const int available = std::min(width, reply.size() - position);
    const int length = int(std::find(start, start + available, '\0') - start);
    return QByteArray::fromRawData(start, length);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

int readNumericField(const QByteArray &reply, int position)
{
    const QByteArray field = fieldBytes(reply, position, numericFieldWidth);
    const char *p = field.constData();
    const char *end = p + field.size();
    while (p != end && isBlank(*p))
        ++p;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    if (p == end)
        return 0; // no digit at all
    int value = 0;
    for (; p != end; ++p) {
        if (!isDigit(*p))
            return 0; // a trailing blank, a letter or a point spoils the whole field
        value = value * 10 + (*p - '0');
    }
    return negative ? -value : value;
}

bool isReadableNumericField(const QByteArray &reply, int position)
{
    if (position < 0 || reply.size() - position < numericFieldWidth)
        return false;
    const char *p = reply.constData() + position;
    const char *end = p + numericFieldWidth;
    while (p != end && *p == ' ')
        ++p;
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    return p != end && std::all_of(p, end, isDigit);
}

bool isWholeFlagField(const QByteArray &reply, int position)
{
    return position >= 0 && reply.size() - position >= flagFieldWidth &&
           !reply.mid(position, flagFieldWidth).contains('\0');
}

QString readFlagField(const QByteArray &reply, int position)
{
    const QByteArray field = fieldBytes(reply, position, flagFieldWidth);
    return QString::fromUtf8(field.constData(), field.size());
}
