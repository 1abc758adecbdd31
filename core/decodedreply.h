#ifndef DECODEDREPLY_H
#define DECODEDREPLY_H

#include <QByteArray>
#include <QString>

// The thirteen values of one status reply, in the units of the line: light
// levels and angles as received, voltages in tenths of a volt, currents in
// tens of milliamperes, each battery flag as its text (set when "01").
// Where the reply ends early, a number reads 0 and a flag the bytes there are.
struct DecodedReply
{
    int lumEst = 0;
    int lumOuest = 0;
    int lumNord = 0;
    int lumSud = 0;
    int vpan = 0;
    int vbat = 0;
    int ipan = 0;
    int ibat = 0;
    QString charge;
    QString pleine;
    QString vide;
    int azimut = 0;
    int elevation = 0;
};

// Reads every field of a reply from its fixed position. Nothing is verified:
// any bytes decode to something.
DecodedReply decodeReply(const QByteArray &reply);

// A status reply holds every field up to its last one, which ends at this length.
constexpr int statusReplyLength = 67;

// What a reply is, as far as a measurement goes.
enum class ReplyShape {
    StatusReply,    // one status reply: its values are what the controller sent
    NotStatusReply, // noise, a reply cut short: what it decodes to means nothing
    SeveralReplies, // a status reply followed by another one, back to back
    NeverPaused,    // the collection ended on its cap: the controller never paused
};

// The reply's shape. A status reply is long enough for every field, every
// number in it reads as one and every flag is whole, so that its values are
// what the controller sent rather than what noise or a reply cut short
// decodes to; the stretches between the fields are not looked at. Another
// status reply after its fields, in the same frame (the same bytes between
// the fields), makes several. `capped`: the exchange stopped collecting at its
// cap, so that whatever the bytes hold, the line never rested.
ReplyShape replyShape(const QByteArray &reply, bool capped = false);

// True when the reply, collected whole, is one status reply.
inline bool isStatusReply(const QByteArray &reply)
{
    return replyShape(reply) == ReplyShape::StatusReply;
}

// A voltage of the reply as the window shows it: volts with one decimal
// (125 tenths give "12.5", -5 give "-0.5").
QString voltsText(int tenths);

// A current of the reply in milliamperes, as the window shows it.
constexpr int milliamperes(int tensOfMilliamperes)
{
    return tensOfMilliamperes * 10;
}

#endif // DECODEDREPLY_H
