#ifndef PORTNAMES_H
#define PORTNAMES_H

#include <QString>

// "COM" followed by the number in decimal: the name the operator sees and the
// log shows, whatever the system calls the device.
QString portNameFor(int port);

// The device to open for a port name. On Windows the name itself. Elsewhere,
// in this order: $TAV_SERIAL_DIR/COMn when that variable is set and not empty
// (a folder of links, one per port), /dev/COMn when it exists (a udev link),
// else /dev/ttyS<n-1> (COM1 is ttyS0).
QString serialDeviceFor(const QString &portName);

#endif // PORTNAMES_H
