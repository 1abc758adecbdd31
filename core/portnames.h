#ifndef PORTNAMES_H
#define PORTNAMES_H

#include <QString>

// "COM" followed by the number in decimal: the name the operator sees and the
// log shows, whatever the system calls the device.
QString portNameFor(int port);

// n for a name "COMn" as portNameFor makes it (n >= 1), else 0.
int portNumberOf(const QString &portName);

// The device to open for a port name. On Windows the name itself. Elsewhere,
// in this order: $TAV_SERIAL_DIR/COMn when that variable is set and not empty
// (a folder of links, one per port); /dev/COMn when it exists (a udev link);
// else the port the system reports that answers to n (see mapPorts); else
// /dev/COMn all the same, which does not exist, so that opening it fails.
QString serialDeviceFor(const QString &portName);

#endif // PORTNAMES_H
