#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

// A temporary folder of port links (COM1, COM2...), handed to the panel
// through TAV_SERIAL_DIR for as long as it lives.
class SerialFolder
{
public:
    SerialFolder() { qputenv("TAV_SERIAL_DIR", dir.path().toLocal8Bit()); }
    ~SerialFolder() { qunsetenv("TAV_SERIAL_DIR"); }
    QString pathOf(int port) const { return dir.filePath(QStringLiteral("COM%1").arg(port)); }

private:
    QTemporaryDir dir;
};

// The status reply of the worked example: east 120, west 45, north 200,
// south 33; panel 13.8 V, battery 12.5 V; panel 400 mA, battery 120 mA;
// battery full; azimuth 90, elevation 45. The stretches that are not read
// hold other printable bytes, and the reply ends with CR LF.
inline QByteArray workedExampleReply()
{
    return "S:120045200033 energie : 138125040012000100 angles az / el : 090045\r\n";
}

// The reply with `bytes` written over it from `position` on (growing it if needed).
QByteArray withBytesAt(QByteArray reply, int position, const QByteArray &bytes);

// The log line of a transaction that received this reply:
// "Données reçues :" and the bytes as the debug stream writes them.
QString receivedLine(const QByteArray &reply);

// The form's object of that name (the window itself for its own name).
template <typename T> T *child(QObject &window, const char *name)
{
    T *found = window.objectName() == QLatin1String(name) ? qobject_cast<T *>(&window)
                                                          : window.findChild<T *>(name);
    if (!found)
        qFatal("no %s named %s in the form", T::staticMetaObject.className(), name);
    return found;
}

#endif // TESTSUPPORT_H
