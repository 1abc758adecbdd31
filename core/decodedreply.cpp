#include "decodedreply.h"

#include "replyfields.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Positions of the reply's fields (the first byte is position 0).
enum ReplyPosition {
    lumEstAt = 2,
    lumOuestAt = 5,
    lumNordAt = 8,
    lumSudAt = 11,
    vpanAt = 25,
    vbatAt = 28,
    ipanAt = 31,
    ibatAt = 34,
    batterieChargeAt = 37,
    batteriePleineAt = 39,
    batterieVideAt = 41,
    angleAzimutAt = 61,
    angleElevationAt = 64,
};

const ReplyPosition numericFields[] = {lumEstAt, lumOuestAt,   lumNordAt,     lumSudAt,
                                      vpanAt,   vbatAt,       ipanAt,        ibatAt,
                                      angleAzimutAt, angleElevationAt};
const ReplyPosition flagFields[] = {batterieChargeAt, batteriePleineAt, batterieVideAt};

// The stretches between the fields, as {position, width}: the controller's
// own text, the same in each of its replies.
const std::pair<int, int> frameStretches[] = {{0, 2}, {14, 11}, {43, 18}};

// Every field of a status reply that starts at `at` is there and well formed.
bool hasStatusFields(const QByteArray &reply, int at)
{
    return reply.size() - at >= statusReplyLength &&
           std::all_of(std::begin(numericFields), std::end(numericFields),
                       [&](int field) { return isReadableNumericField(reply, at + field); }) &&
           std::all_of(std::begin(flagFields), std::end(flagFields),
                       [&](int field) { return isWholeFlagField(reply, at + field); });
}

// The stretches between the fields of a reply starting at `at` are those of
// the one starting at 0.
bool inSameFrame(const QByteArray &reply, int at)
{
    return std::all_of(std::begin(frameStretches), std::end(frameStretches), [&](auto stretch) {
        return std::equal(reply.cbegin() + stretch.first,
                          reply.cbegin() + stretch.first + stretch.second,
                          reply.cbegin() + at + stretch.first);
    });
}

// Another status reply begins somewhere after the first one's fields.
bool holdsAnotherReply(const QByteArray &reply)
{
    for (int at = statusReplyLength; reply.size() - at >= statusReplyLength; ++at)
        if (inSameFrame(reply, at) && hasStatusFields(reply, at))
            return true;
    return false;
}

} // namespace

ReplyShape replyShape(const QByteArray &reply, bool capped)
{
    if (capped)
        return ReplyShape::NeverPaused;
    if (!hasStatusFields(reply, 0))
        return ReplyShape::NotStatusReply;
    return holdsAnotherReply(reply) ? ReplyShape::SeveralReplies : ReplyShape::StatusReply;
}

QString voltsText(int tenths)
{
    return QString::number(tenths / 10.0, 'f', 1);
}

DecodedReply decodeReply(const QByteArray &reply)
{
    DecodedReply d;
    d.lumEst = readNumericField(reply, lumEstAt);
    d.lumOuest = readNumericField(reply, lumOuestAt);
    d.lumNord = readNumericField(reply, lumNordAt);
    d.lumSud = readNumericField(reply, lumSudAt);
    d.vpan = readNumericField(reply, vpanAt);
    d.vbat = readNumericField(reply, vbatAt);
    d.ipan = readNumericField(reply, ipanAt);
    d.ibat = readNumericField(reply, ibatAt);
    d.charge = readFlagField(reply, batterieChargeAt);
    d.pleine = readFlagField(reply, batteriePleineAt);
    d.vide = readFlagField(reply, batterieVideAt);
    d.azimut = readNumericField(reply, angleAzimutAt);
    d.elevation = readNumericField(reply, angleElevationAt);
    return d;
}
