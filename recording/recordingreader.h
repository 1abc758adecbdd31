#ifndef RECORDINGREADER_H
#define RECORDINGREADER_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// One row of a recording (see recording.h). A row whose status is not "ok" is
// a gap: the controller did not answer, or the port failed.
struct RecordingRow
{
    QDateTime time; // with the offset it was written with
    QString status;
    // The thirteen values in the file's column order and units (V, mA,
    // degrees; a battery flag is 0 or 1); empty in a gap.
    QVector<double> values;

    bool isGap() const { return values.isEmpty(); }
};

// Where a value stands in RecordingRow::values.
enum RecordingColumn {
    estColumn,
    ouestColumn,
    nordColumn,
    sudColumn,
    vpanColumn,
    vbatColumn,
    ipanColumn,
    ibatColumn,
    chargeColumn,
    pleineColumn,
    videColumn,
    azimutColumn,
    elevationColumn,
    valueColumns
};

// What reading a recording gives: every row, or the first thing wrong with it
// and the line (from 1) of the record where it stands, and no rows.
//
// A last line without its line feed is a row cut short (by a crash, a full
// disk, a copy still under way): it is left out, whatever it holds, and
// leftOutLine says which line it was. Only a record on that one line is: the
// header, or a quoted field that spans lines, is read as any other.
struct RecordingReading
{
    QVector<RecordingRow> rows;
    int errorLine = 0;
    QString error;
    int leftOutLine = 0; // the line (from 1) of a last line left out, or 0

    bool failed() const { return errorLine != 0; }
};

// Reads a recording's bytes. Any bytes give rows or an error, in time linear
// in their size.
RecordingReading readRecording(const QByteArray &bytes);

#endif // RECORDINGREADER_H
