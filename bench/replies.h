#ifndef BENCH_REPLIES_H
#define BENCH_REPLIES_H

#include "testsupport.h"

// The worked example with other values in every field it carries and the
// charging flag set instead of the full one: alternating the two replies
// changes every display, as a live installation does from one refresh to the
// next (a widget given the value it already shows returns at once).
inline QByteArray otherReply()
{
    QByteArray reply = withBytesAt(workedExampleReply(), 2, "080090150060");
    reply = withBytesAt(reply, 25, "142118035020");
    reply = withBytesAt(reply, 37, "010000");
    return withBytesAt(reply, 61, "135030");
}

#endif // BENCH_REPLIES_H
