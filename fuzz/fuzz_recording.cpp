// Fuzz target: the reading of a recording, on any bytes. Beyond surviving, it
// must give rows or an error naming a line of the input, never both; leave out
// only the last line, when it has no line feed, and only without an error; an
// answered row holds its thirteen finite values, a gap none, every time its
// offset; and one more answered row after a recording (less its line left
// out) is one more row, with its values in their columns.
#include "recordingreader.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

static void require(bool holds, const char *property)
{
    if (!holds) {
        std::fprintf(stderr, "%s\n", property);
        std::abort();
    }
}

static const char *const answeredRow =
    "2026-12-07T10:00:02.000-02:30,120,45,200,33,13.8,12.5,400,-20,1,0,0,90,30,ok\n";
static const QVector<double> answered{120, 45, 200, 33, 13.8, 12.5, 400, -20, 1, 0, 0, 90, 30};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: a read past the input's last byte is caught by the sanitizer.
    const auto bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const RecordingReading reading = readRecording(bytes);
    if (reading.failed()) {
        require(reading.errorLine >= 1 && reading.errorLine <= bytes.count('\n') + 1 &&
                    !reading.error.isEmpty() && reading.rows.isEmpty() && reading.leftOutLine == 0,
                "an error off the input's lines, without a message, with rows or a line left out");
        return 0;
    }
    require(reading.leftOutLine == 0 ||
                (!bytes.endsWith('\n') && reading.leftOutLine == bytes.count('\n') + 1),
            "a line left out that is not the last, or that ends with a line feed");
    for (const RecordingRow &row : reading.rows) {
        require(row.time.timeSpec() != Qt::LocalTime, "a time invalid or without offset");
        require(row.values.size() == (row.status == QLatin1String("ok") ? valueColumns : 0),
                "an answered row without its thirteen values, or a gap with values");
        for (const double value : row.values)
            require(std::isfinite(value), "a value that is not a finite number");
    }
    const QByteArray kept =
        reading.leftOutLine != 0 ? bytes.left(bytes.lastIndexOf('\n') + 1) : bytes;
    const RecordingReading longer =
        readRecording(kept + (kept.endsWith('\n') ? "" : "\n") + answeredRow);
    require(!longer.failed() && longer.rows.size() == reading.rows.size() + 1 &&
                longer.rows.last().values == answered &&
                longer.rows.last().time.offsetFromUtc() == -9000,
            "one more answered row is not one more row, with its values and offset");
    return 0;
}
