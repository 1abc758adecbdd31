#ifndef EXCHANGE_H
#define EXCHANGE_H

#include <QByteArray>
#include <QString>

#include <functional>

// What one exchange with the controller came to.
struct ExchangeResult
{
    enum Status {
        Replied,      // the command was written and bytes came back
        NoReply,      // the command was written; nothing came within 1000 ms
        OpenFailed,   // the port could not be opened
        NoDevice,     // the port could not be opened: its device does not exist
        NoLink,       // the port could not be opened: $TAV_SERIAL_DIR holds no link for it
        PortBusy,     // the port could not be opened: another program holds it
        NoPermission, // the port could not be opened: the user may not open it
        WriteFailed,  // the port opened but the command could not be written
    };
    Status status = NoReply;
    QByteArray reply; // what came back, raw; empty unless Replied
    bool capped = false; // Replied: the collection stopped at its cap, the line never silent
    int collectMs = 0;   // Replied: from the reply's first byte to the end of its collection
    QString error;    // the toolkit's error text when the port failed
    QString port;     // "COM1", or the device's path when the exchange was given a device
    QString device;   // the device opened, or tried: e.g. /dev/ttyS0, $TAV_SERIAL_DIR/COM1
    qint64 holderPid = 0; // PortBusy: the holder's PID, when its lock file names it
};

// How an exchange goes, beyond its port and command.
struct ExchangeOptions
{
    // When set, the device opened as it is (e.g. /dev/ttyUSB0), not COM<port>'s.
    QString device;
    // A port held by another program is tried again every 50 ms for this long.
    int busyRetryMs = 0;
    // Log "Ports disponibles :" and the ports the system reports, as the panel
    // always does. Without them the system is asked only when no link tells
    // which device is COMn's: tavctl leaves them out of a log nobody sees.
    bool listPorts = true;
};

// One blocking request/reply exchange on port "COM<port>", or on
// options.device: opens it at 9600 baud, 8N1, RTS/CTS; discards what the line
// already holds; writes the command as given; waits up to 1000 ms for the
// first byte; collects until 100 ms pass in silence (at most 4096 bytes or
// 2000 ms); closes. Each step is logged on the toolkit's debug channel, in
// French.
//
// `onReply`, when given, receives the result once the reply is in (status
// Replied, the reply, whether it was capped), while the port is still open,
// so that what it logs comes before "Port fermé.".
ExchangeResult serialExchange(int port, const QByteArray &command,
                              const std::function<void(const ExchangeResult &)> &onReply = {},
                              const ExchangeOptions &options = {});

#endif // EXCHANGE_H
