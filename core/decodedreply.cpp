#include "decodedreply.h"

#include "replyfields.h"

#include <algorithm>
#include <iterator>

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

} // namespace

bool isStatusReply(const QByteArray &reply)
{
    return reply.size() >= statusReplyLength &&
           std::all_of(std::begin(numericFields), std::end(numericFields),
                       [&](int at) { return isReadableNumericField(reply, at); }) &&
           std::all_of(std::begin(flagFields), std::end(flagFields),
                       [&](int at) { return isWholeFlagField(reply, at); });
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
