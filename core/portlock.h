#ifndef PORTLOCK_H
#define PORTLOCK_H

#include <QString>

// The process that holds a serial device, as the lock file the toolkit keeps
// for it names it (LCK..NAME in the usual lock folders): its PID while that
// process lives, 0 when no lock file names a living process.
qint64 portLockHolder(const QString &device);

#endif // PORTLOCK_H
