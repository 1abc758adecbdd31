// Fuzz target: the readers of a reply's fields, the ones the decoder uses, and
// the check of a reply's shape, on any bytes. Beyond surviving, every read must
// keep the fields' rules, and the check must accept exactly the replies whose
// fields are all well formed, every reply the simulator makes among them,
// unless a second one follows in the same frame; a capped reply never.
#include "decodedreply.h"
#include "replyfields.h"
#include "statusreply.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace {

const int numericPositions[] = {2, 5, 8, 11, 25, 28, 31, 34, 61, 64};
const int flagPositions[] = {37, 39, 41};

void require(bool holds, const char *property, int position)
{
    if (!holds) {
        std::fprintf(stderr, "at position %d: %s\n", position, property);
        std::abort();
    }
}

// The numeric field by the C library's rules: the bytes up to the first NUL,
// converted by strtol, which must use up all of them; anything else reads 0.
int numericByStrtol(const QByteArray &reply, int position)
{
    char field[numericFieldWidth + 1] = {};
    for (int i = 0; i < numericFieldWidth && position + i < reply.size(); ++i)
        field[i] = reply[position + i];
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(field, &end, 10);
    return end == field || *end != '\0' || errno != 0 ? 0 : int(value);
}

bool bytesAreZeroOne(const QByteArray &reply, int position)
{
    return position + 1 < reply.size() && reply[position] == '0' && reply[position + 1] == '1';
}

void checkPosition(const QByteArray &reply, int position)
{
    const int value = readNumericField(reply, position);
    require(value >= -99 && value <= 999, "numeric field outside -99..999", position);
    require(value == numericByStrtol(reply, position), "numeric field differs from strtol",
            position);
    require(isFlagSet(readFlagField(reply, position)) == bytesAreZeroOne(reply, position),
            "flag set otherwise than by exactly \"01\"", position);
}

// Bytes past the status reply's length change no field within it.
void checkPrefix(const QByteArray &reply, const QByteArray &prefix, int position)
{
    if (position + numericFieldWidth <= statusReplyLength)
        require(readNumericField(reply, position) == readNumericField(prefix, position),
                "numeric field depends on bytes past 67", position);
    if (position + flagFieldWidth <= statusReplyLength)
        require(readFlagField(reply, position) == readFlagField(prefix, position),
                "flag field depends on bytes past 67", position);
}

// A number as a controller sends it, right-aligned in its three bytes: blanks,
// an optional sign, digits.
bool isWellFormedNumber(const QByteArray &reply, int position)
{
    static const std::regex number("^ *[+-]?[0-9]+$");
    return std::regex_match(std::string(reply.constData() + position, numericFieldWidth), number);
}

bool sameValues(const DecodedReply &a, const DecodedReply &b)
{
    return a.lumEst == b.lumEst && a.lumOuest == b.lumOuest && a.lumNord == b.lumNord &&
           a.lumSud == b.lumSud && a.vpan == b.vpan && a.vbat == b.vbat && a.ipan == b.ipan &&
           a.ibat == b.ibat && a.azimut == b.azimut && a.elevation == b.elevation &&
           isFlagSet(a.charge) == isFlagSet(b.charge) &&
           isFlagSet(a.pleine) == isFlagSet(b.pleine) && isFlagSet(a.vide) == isFlagSet(b.vide);
}

// The check takes a reply for a status reply, or several, exactly when it is
// long enough, every number is well formed and no flag holds a NUL; what it
// accepts decodes as the same values written by the simulator would, and
// twice over it is several replies.
void checkShape(const QByteArray &reply)
{
    const bool wellFormed =
        reply.size() >= statusReplyLength &&
        std::all_of(std::begin(numericPositions), std::end(numericPositions),
                    [&](int at) { return isWellFormedNumber(reply, at); }) &&
        std::none_of(std::begin(flagPositions), std::end(flagPositions),
                     [&](int at) { return reply[at] == '\0' || reply[at + 1] == '\0'; });
    const ReplyShape shape = replyShape(reply);
    require((shape != ReplyShape::NotStatusReply) == wellFormed,
            "shape check differs from well-formed fields", 0);
    require(replyShape(reply, true) == ReplyShape::NeverPaused, "a capped reply taken", 0);
    if (!wellFormed)
        return;
    require(replyShape(reply + reply) == ReplyShape::SeveralReplies,
            "a reply twice over taken for one", 0);
    const DecodedReply values = decodeReply(reply);
    const StatusValues v{values.lumEst,           values.lumOuest,
                         values.lumNord,          values.lumSud,
                         values.vpan,             values.vbat,
                         values.ipan,             values.ibat,
                         isFlagSet(values.charge), isFlagSet(values.pleine),
                         isFlagSet(values.vide),  values.azimut,
                         values.elevation};
    require(sameValues(values, decodeReply(QByteArray::fromStdString(encodeStatus(v)))),
            "an accepted reply reads otherwise than the same values well written", 0);
}

// The simulator's reply for values taken from the input is always accepted.
void checkSimulatorReply(const uint8_t *data, size_t size)
{
    int16_t n[10] = {};
    std::memcpy(n, data, std::min(size, sizeof n));
    const bool flag = size > sizeof n && data[sizeof n] % 2;
    StatusValues v{n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], flag, !flag, flag, n[8], n[9]};
    const std::string reply = encodeStatus(v);
    require(isStatusReply(QByteArray::fromStdString(reply)), "a reply of the simulator refused", 0);
    std::swap(v.lumEst, v.azimut);
    require(replyShape(QByteArray::fromStdString(reply + encodeStatus(v))) ==
                ReplyShape::SeveralReplies,
            "two replies of the simulator taken for one", 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: a read past the input's last byte is caught by the sanitizer.
    const QByteArray reply =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QByteArray prefix = reply.left(statusReplyLength);
    // Every position of the status reply and a little past it, and the last
    // ones: what a field reads depends on nothing but its own bytes.
    for (int position = 0; position <= reply.size(); ++position) {
        if (position == statusReplyLength + 8 && reply.size() > position + 4)
            position = reply.size() - 4;
        checkPosition(reply, position);
        if (reply.size() > statusReplyLength)
            checkPrefix(reply, prefix, position);
    }
    checkShape(reply);
    checkSimulatorReply(data, size);
    return 0;
}
