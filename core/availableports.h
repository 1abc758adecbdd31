#ifndef AVAILABLEPORTS_H
#define AVAILABLEPORTS_H

#include "portmap.h"

#include <QStringList>

// The serial ports of this machine and the numbers they answer to, as they
// stand: the ports the system reports, and the COMn links of $TAV_SERIAL_DIR
// when it is set and not empty, else of /dev (numbered by mapPorts).
//
// Asking the system goes through udev and costs tens of milliseconds, with
// the window frozen. Where the device folder can be watched, the ports and
// the links in /dev are kept and taken anew only after a device has come or
// gone there (which the watch learns from the event loop).
PortMap systemPortMap();

// One line per serial port the system reports, for the log, so that an
// operator can tell which number to pick (see mapPorts).
QStringList availablePortLines();

// What to open for COMn, and the ports for the log.
struct PortLookup
{
    QString device;            // e.g. /dev/ttyUSB0, $TAV_SERIAL_DIR/COM1 (see serialDeviceFor)
    bool inLinkFolder = false; // the device is COMn's link in $TAV_SERIAL_DIR
    QStringList lines;         // one per port the system reports, when asked for
};

// The device to open for COMn (n >= 1), and, when `withLines`, the log's
// lines, so that an operator can tell which number to pick: all from one
// map. Without the lines the system is asked only when a link cannot tell.
PortLookup lookUpPort(int number, bool withLines);

// The device to open for COMn. On Windows the name itself. Elsewhere, in
// this order: $TAV_SERIAL_DIR/COMn when that variable is set and not empty
// (a folder of links, one per port); /dev/COMn when it exists (a udev link);
// else the port the system reports that answers to n (see mapPorts); else
// /dev/COMn all the same, which does not exist, so that opening it fails.
QString serialDeviceFor(int number);

#endif // AVAILABLEPORTS_H
