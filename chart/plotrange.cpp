#include "plotrange.h"

#include <limits>
#include <optional>

namespace {

// A bound in milliseconds since the epoch, `offset` seconds east of UTC where
// the text gives none; a bare date stands for the first or, as the end of a
// range, the last moment of its day.
std::optional<qint64> boundOf(const QString &text, bool isEnd, int offset)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10) {
        const QDateTime start(isEnd ? date.addDays(1) : date, QTime(0, 0), Qt::OffsetFromUTC,
                              offset);
        return start.toMSecsSinceEpoch() - (isEnd ? 1 : 0);
    }
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    if (time.timeSpec() == Qt::LocalTime)
        time = QDateTime(time.date(), time.time(), Qt::OffsetFromUTC, offset);
    return time.toMSecsSinceEpoch();
}

} // namespace

QString PlotRange::problem() const
{
    for (const auto &[option, text] : {std::pair{"--from", fromText}, {"--to", toText}})
        if (!text.isEmpty() && !boundOf(text, false, 0))
            return QStringLiteral("%1 takes an ISO 8601 date and time, or a date, not \"%2\"")
                .arg(QLatin1String(option), text);
    // Either both bounds give their offset, or both take the recording's.
    if (!fromText.isEmpty() && !toText.isEmpty() &&
        *boundOf(fromText, false, 0) > *boundOf(toText, true, 0))
        return QStringLiteral("the range is reversed: --from %1 is later than --to %2")
            .arg(fromText, toText);
    return QString();
}

QVector<RecordingRow> PlotRange::of(const QVector<RecordingRow> &rows) const
{
    if (rows.isEmpty() || (fromText.isEmpty() && toText.isEmpty()))
        return rows;
    const int offset = rows.first().time.offsetFromUtc();
    const qint64 from = fromText.isEmpty() ? std::numeric_limits<qint64>::min()
                                           : *boundOf(fromText, false, offset);
    const qint64 to = toText.isEmpty() ? std::numeric_limits<qint64>::max()
                                       : *boundOf(toText, true, offset);
    QVector<RecordingRow> within;
    for (const RecordingRow &row : rows) {
        const qint64 at = row.time.toMSecsSinceEpoch();
        if (at >= from && at <= to)
            within.append(row);
    }
    return within;
}

QString PlotRange::text() const
{
    QStringList words;
    if (!fromText.isEmpty())
        words << QStringLiteral("from ") + fromText;
    if (!toText.isEmpty())
        words << QStringLiteral("to ") + toText;
    return words.join(QLatin1Char(' '));
}
