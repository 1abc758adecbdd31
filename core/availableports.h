#ifndef AVAILABLEPORTS_H
#define AVAILABLEPORTS_H

#include <QStringList>

// One line per serial port the system reports, "  name (device)", for the
// log, so that an operator can tell which number to pick.
//
// Asking the system goes through udev and costs tens of milliseconds, with
// the window frozen. Where the device folder can be watched, the list is
// kept and taken anew only after a device has come or gone there.
QStringList availablePortLines();

#endif // AVAILABLEPORTS_H
