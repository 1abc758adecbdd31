#ifndef QUIETTESTCASE_H
#define QUIETTESTCASE_H

#include "logcapture.h"

#include <QObject>
#include <QScopedPointer>

// Base of the suites: while a suite runs, the log lines that no test looks at
// (the four "No matching signal" warnings of every window, the progress of
// every transaction) stay out of the report. TAV_TEST_LOG=1 shows them.
class QuietTestCase : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase() { quiet.reset(new LogCapture); }
    void cleanupTestCase() { quiet.reset(); }

private:
    QScopedPointer<LogCapture> quiet;
};

#endif // QUIETTESTCASE_H
