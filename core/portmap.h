#ifndef PORTMAP_H
#define PORTMAP_H

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The naming of serial ports, the part that asks nothing of the system: the
// names "COMn", and which device each one opens on Linux, worked out from
// what the system says (availableports.h gathers that). Pure functions, no
// file system, no log.

// "COM" followed by the number in decimal: the name the operator sees and the
// log shows, whatever the system calls the device.
QString portNameFor(int port);

// n for a name "COMn" as portNameFor makes it (n >= 1), else 0.
int portNumberOf(const QString &portName);

// A serial port as the system reports it. An empty text or a negative id is
// something the system does not know; every field but the device has a
// default, so that a port can be written with what is known of it.
struct ReportedPort
{
    QString device; // e.g. /dev/ttyUSB0
    QString description{};
    QString manufacturer{};
    QString serialNumber{};
    int vendorId = -1;
    int productId = -1;
    int uartType = -1; // a built-in UART's type, the kernel's PORT_ number (4 for a 16550A)
};

// What the numbers are drawn from.
struct PortSurvey
{
    QString linkFolder;          // where a link named COMn pins number n: /dev or $TAV_SERIAL_DIR
    bool linksOnly = false;      // every COMn is its link in linkFolder ($TAV_SERIAL_DIR)
    QMap<int, QString> links;    // the COMn links there that lead to a device: n -> that device
    QVector<ReportedPort> ports; // the ports the system reports, in any order
};

// One number and what it opens, or a reported port that no number reaches.
struct MappedPort
{
    int number = 0;    // n of COMn; 0 for a reported port that no number reaches
    QString device;    // what opening it opens: the port's device, or the link linkFolder/COMn
    QString target;    // where that link leads; empty when the device is not a link
    ReportedPort port; // as the system reports it; its device empty when it reports
                       // nothing of the target (a pseudo-terminal, a lower link's port)
    QString note;      // why it has no number, or not the one its device suggests
};

// The numbers of a survey.
struct PortMap
{
    QString linkFolder;
    bool linksOnly = false;
    QVector<MappedPort> ports; // by number, then those without one by device
    // The device for COMn: a reported port, else the link linkFolder/COMn,
    // which may not exist (opening it then fails at once).
    QString deviceFor(int number) const;
    // For the log, one line per reported port, by number.
    QStringList lines() const;
};

// Unless linksOnly: a port that a link leads to answers to the link's number;
// a UART /dev/ttyS<k> to k+1, unless a link took it; every other port, the
// UART whose number a link took included, in the order of the device paths,
// to the lowest number that neither a link nor a UART holds. With linksOnly,
// only the links give numbers. Every link that leads to a device is a port
// of the map, reported or not.
// A line reads "  COM1  /dev/ttyUSB0  FT232R USB UART, FTDI, 0403:6001";
// "  COM3  /dev/COM3 -> /dev/ttyUSB1 ..." for a port reached through a link,
// and "  none  /dev/ttyS0 ..." for a port that no number reaches.
PortMap mapPorts(const PortSurvey &survey);

// What the system says of a port, e.g. "FT232R USB UART, FTDI, serial
// A50285BI, 0403:6001"; empty when it says nothing.
QString describePort(const ReportedPort &port);

// A built-in UART's type as a name, from the kernel's list (linux/serial.h):
// "16550A UART" for 4; empty for none (-1, or 0: no chip).
QString uartTypeName(int type);

#endif // PORTMAP_H
