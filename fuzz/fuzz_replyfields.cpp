// Fuzz target: the readers of a reply's fields, the ones the decoder uses, on
// any bytes. Beyond surviving, every read must keep the fields' rules.
#include "replyfields.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The last field read from a status reply ends at this length.
constexpr int statusReplyLength = 67;

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
    return 0;
}
