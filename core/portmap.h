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
};

// What the numbers are drawn from.
struct PortSurvey
{
    QString linkFolder;          // where a link named COMn pins number n: /dev or $TAV_SERIAL_DIR
    bool linksOnly = false;      // every COMn is its link in linkFolder ($TAV_SERIAL_DIR)
    QMap<int, QString> links;    // the COMn links there that lead to a device: n -> that device
    QVector<ReportedPort> ports; // the ports the system reports, in any order
};

// The numbers of a survey.
struct PortMap
{
    QString linkFolder;
    bool linksOnly = false;
    QMap<int, QString> devices; // numbers that open a reported port directly: n -> its device
    QStringList lines;          // for the log, one per reported port, by number
    // The device for COMn: a reported port, else the link linkFolder/COMn,
    // which may not exist (opening it then fails at once).
    QString deviceFor(int number) const;
};

// Unless linksOnly: a port that a link leads to answers to the link's number;
// a UART /dev/ttyS<k> to k+1, unless a link took it; every other port, in
// the order of the device paths, to the lowest number that neither a link
// nor a UART holds. With linksOnly, only the links give numbers.
// A line reads "  COM1  /dev/ttyUSB0  FT232R USB UART, FTDI, 0403:6001";
// "  COM3  /dev/COM3 -> /dev/ttyUSB1 ..." for a port reached through a link,
// and "  none  /dev/ttyS0 ..." for a port that no number reaches.
PortMap mapPorts(const PortSurvey &survey);

// What the system says of a port, e.g. "FT232R USB UART, FTDI, serial
// A50285BI, 0403:6001"; empty when it says nothing.
QString describePort(const ReportedPort &port);

#endif // PORTMAP_H
