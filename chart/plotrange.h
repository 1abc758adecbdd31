#ifndef PLOTRANGE_H
#define PLOTRANGE_H

#include "recordingreader.h"

#include <QString>

// The part of a recording that plot draws: rows from --from to --to, both
// included. A bound is an ISO 8601 date and time, read in the recording's
// offset when it gives none, or a bare date, which means that whole day in
// the recording's offset (the offset of its first row).
class PlotRange
{
public:
    PlotRange(const QString &from, const QString &to) : fromText(from), toText(to) {}

    // Why a bound is no time, for a usage error; empty when both are.
    QString problem() const;
    // The rows within the range, in their order; all of them without bounds.
    QVector<RecordingRow> of(const QVector<RecordingRow> &rows) const;
    // The range in words, for a refusal: "from 2026-12-07 to 2026-12-08".
    QString text() const;

private:
    QString fromText;
    QString toText;
};

#endif // PLOTRANGE_H
