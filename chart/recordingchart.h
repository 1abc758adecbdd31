#ifndef RECORDINGCHART_H
#define RECORDINGCHART_H

#include "recordingreader.h"

#include <QSize>
#include <QString>

class QPainter;

// Draws a recording as four panels stacked over one time axis (light levels,
// voltages, currents, angles) under a title line naming `source`, on the
// first `size` pixels of the painter's device. The rows need not be sorted;
// a gap breaks the lines. Needs a QApplication (offscreen will do).
void drawRecording(QPainter &painter, const QSize &size, const QVector<RecordingRow> &rows,
                   const QString &source);

#endif // RECORDINGCHART_H
