#include "recordingreader.h"

#include "recording.h"

#include <cmath>

namespace {

constexpr int columnCount = valueColumns + 2; // the time, the values, the status
// A longer field is no recording's: the time and number parsers only ever see
// short texts.
constexpr int longestTime = 64;
constexpr int longestNumber = 24;
// A reply's fields hold -99..999, so a recorded value stays far below this.
constexpr double largestValue = 1e6;

enum class Kind { integer, decimal, flag };

const Kind valueKinds[valueColumns] = {Kind::integer, Kind::integer, Kind::integer,
                                       Kind::integer,                            // light levels
                                       Kind::decimal, Kind::decimal,             // volts
                                       Kind::integer, Kind::integer,             // milliamperes
                                       Kind::flag,    Kind::flag,    Kind::flag, // battery flags
                                       Kind::integer, Kind::integer};            // degrees

const QList<QByteArray> &headerFields()
{
    static const QList<QByteArray> fields = QByteArray(recordingHeader).split(',');
    return fields;
}

// A text of the file as a message shows it: quoted, short, on one line.
QString shown(const QByteArray &text)
{
    constexpr int longest = 32;
    QString shownText = QString::fromUtf8(text.left(longest));
    for (QChar &c : shownText)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return '"' + shownText + (text.size() > longest ? QStringLiteral("…\"") : QStringLiteral("\""));
}

// Splits the bytes into records (RFC 4180: fields separated by commas, records
// ended by LF, CR LF accepted too; a quoted field may hold anything, its
// double quotes doubled), one record at a time.
class CsvReader
{
public:
    explicit CsvReader(const QByteArray &input)
        : bytes(input), lastLineStart(input.lastIndexOf('\n') + 1)
    {
        if (bytes.startsWith("\xEF\xBB\xBF")) // a byte order mark some editors add
            at = 3;
    }

    bool atEnd() const { return at >= bytes.size(); }
    // Whether the record to read next is all on the last line, which has no
    // line feed at its end.
    bool atLineCutShort() const { return !atEnd() && at >= lastLineStart; }
    // The line where the record read last starts, from 1.
    int line() const { return recordLine; }
    // Reads the next record; returns what is wrong with it, or an empty string.
    QString next(QList<QByteArray> &fields);

private:
    QString unquoted(QByteArray &text);
    QString quoted(QByteArray &text);
    bool endsLine(int position) const
    {
        return position < bytes.size() &&
               (bytes[position] == '\n' ||
                (bytes[position] == '\r' && position + 1 < bytes.size() &&
                 bytes[position + 1] == '\n'));
    }

    const QByteArray &bytes;
    const int lastLineStart; // just after the last line feed
    int at = 0;
    int nextLine = 1;
    int recordLine = 1;
};

QString CsvReader::next(QList<QByteArray> &fields)
{
    fields.clear();
    recordLine = nextLine;
    for (;;) {
        QByteArray text;
        const QString wrong = !atEnd() && bytes[at] == '"' ? quoted(text) : unquoted(text);
        if (!wrong.isEmpty())
            return wrong;
        fields.append(text);
        if (atEnd())
            return QString(); // the last record, without its line end
        if (bytes[at] == '\r')
            ++at;
        if (bytes[at++] == '\n') {
            ++nextLine;
            return QString();
        }
    }
}

QString CsvReader::unquoted(QByteArray &text)
{
    const int start = at;
    for (; !atEnd() && bytes[at] != ',' && !endsLine(at); ++at) {
        if (bytes[at] == '"')
            return QStringLiteral("a double quote inside a field that is not quoted");
        if (bytes[at] == '\r')
            return QStringLiteral("a carriage return outside double quotes");
    }
    text = bytes.mid(start, at - start);
    return QString();
}

QString CsvReader::quoted(QByteArray &text)
{
    for (++at; !atEnd(); ++at) {
        if (bytes[at] == '\n')
            ++nextLine;
        if (bytes[at] != '"') {
            text.append(bytes[at]);
        } else if (at + 1 < bytes.size() && bytes[at + 1] == '"') {
            text.append('"');
            ++at;
        } else {
            ++at;
            if (!atEnd() && bytes[at] != ',' && !endsLine(at))
                return QStringLiteral("text after a field's closing double quote");
            return QString();
        }
    }
    return QStringLiteral("a double quote that is never closed");
}

// A time in the very form tavctl writes, 2026-12-07T10:00:02.000+01:00, read
// as the toolkit reads it but without its general ISO 8601 parser, which
// takes most of the time of reading a long recording. False for any other
// form, or a value the toolkit might read otherwise (24:00, say): that is
// left to the toolkit.
bool readWrittenTime(const QByteArray &text, QDateTime &time)
{
    static constexpr char form[] = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
    constexpr int length = int(sizeof form) - 1;
    if (text.size() != length)
        return false;
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        const bool fits = form[i] == 'd'   ? c >= '0' && c <= '9'
                          : form[i] == '+' ? c == '+' || c == '-'
                                           : c == form[i];
        if (!fits)
            return false;
    }
    const auto number = [&text](int at, int digits) {
        int n = 0;
        for (int i = at; i < at + digits; ++i)
            n = 10 * n + (text[i] - '0');
        return n;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime clock(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    const int hours = number(24, 2), minutes = number(27, 2);
    if (!date.isValid() || !clock.isValid() || hours > 23 || minutes > 59)
        return false;
    const int offset = (text[23] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    time = QDateTime(date, clock, Qt::OffsetFromUTC, offset);
    return true;
}

QString readTime(const QByteArray &text, QDateTime &time)
{
    if (text.size() <= longestTime && !readWrittenTime(text, time))
        time = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    if (!time.isValid())
        return QStringLiteral("the time %1 is not an ISO 8601 date and time").arg(shown(text));
    if (time.timeSpec() == Qt::LocalTime)
        return QStringLiteral("the time %1 has no offset from UTC").arg(shown(text));
    return QString();
}

QString readValue(const QByteArray &text, Kind kind, double &value)
{
    if (text.isEmpty())
        return QStringLiteral("empty in a row whose status is \"ok\"");
    bool ok = text.size() <= longestNumber;
    if (kind == Kind::flag) {
        ok = text == "0" || text == "1";
        value = text == "1";
    } else if (kind == Kind::integer) {
        value = ok ? text.toInt(&ok) : 0;
    } else {
        value = ok ? text.toDouble(&ok) : 0;
    }
    if (!ok || !std::isfinite(value))
        return QStringLiteral("%1 is not %2")
            .arg(shown(text), kind == Kind::flag      ? QStringLiteral("0 or 1")
                              : kind == Kind::integer ? QStringLiteral("a whole number")
                                                      : QStringLiteral("a number"));
    if (std::abs(value) > largestValue)
        return QStringLiteral("%1 is out of range").arg(shown(text));
    return QString();
}

QString readRow(const QList<QByteArray> &fields, RecordingRow &row)
{
    if (fields.size() != columnCount)
        return QStringLiteral("%1 fields where a row has %2").arg(fields.size()).arg(columnCount);
    QString wrong = readTime(fields.first(), row.time);
    if (!wrong.isEmpty())
        return wrong;
    row.status = QString::fromUtf8(fields.last());
    if (row.status.isEmpty())
        return QStringLiteral("the status is empty");
    const bool answered = row.status == QLatin1String("ok");
    for (int column = 0; column < valueColumns; ++column) {
        const QByteArray &text = fields[column + 1];
        const QString name = QString::fromLatin1(headerFields()[column + 1]);
        if (!answered) {
            if (!text.isEmpty())
                return QStringLiteral("%1: a value in a row whose status is not \"ok\"").arg(name);
            continue;
        }
        double value = 0;
        wrong = readValue(text, valueKinds[column], value);
        if (!wrong.isEmpty())
            return name + QStringLiteral(": ") + wrong;
        row.values.append(value);
    }
    return QString();
}

RecordingReading failure(int line, const QString &error)
{
    RecordingReading reading;
    reading.errorLine = line;
    reading.error = error;
    return reading;
}

} // namespace

RecordingReading readRecording(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return failure(1, QStringLiteral("the file is empty; a recording starts with its header"));
    CsvReader csv(bytes);
    QList<QByteArray> fields;
    QString wrong = csv.next(fields);
    if (wrong.isEmpty() && fields != headerFields())
        wrong = QStringLiteral("not a recording's header (%1)").arg(recordingHeader);
    RecordingReading reading;
    while (wrong.isEmpty() && !csv.atEnd()) {
        if (csv.atLineCutShort()) {
            reading.leftOutLine = bytes.count('\n') + 1;
            break;
        }
        wrong = csv.next(fields);
        if (!wrong.isEmpty() || fields == QList<QByteArray>{QByteArray()})
            continue; // an error, or a blank line
        RecordingRow row;
        wrong = readRow(fields, row);
        reading.rows.append(row);
    }
    return wrong.isEmpty() ? reading : failure(csv.line(), wrong);
}
