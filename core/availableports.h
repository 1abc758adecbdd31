#ifndef AVAILABLEPORTS_H
#define AVAILABLEPORTS_H

#include "portmap.h"

#include <QStringList>

// The COM numbers of this machine's serial ports as they stand: the ports the
// system reports, and the COMn links of $TAV_SERIAL_DIR when it is set and
// not empty, else of /dev.
//
// Asking the system goes through udev and costs tens of milliseconds, with
// the window frozen. Where the device folder can be watched, the ports and
// the links in /dev are kept and taken anew only after a device has come or
// gone there (which the watch learns from the event loop).
PortMap systemPortMap();

// One line per serial port the system reports, for the log, so that an
// operator can tell which number to pick (see mapPorts).
QStringList availablePortLines();

#endif // AVAILABLEPORTS_H
