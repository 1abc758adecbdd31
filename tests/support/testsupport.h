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
    SerialFolder();
    ~SerialFolder();
    QString pathOf(int port) const;

private:
    QTemporaryDir dir;
};

// The status reply of the worked example: east 120, west 45, north 200,
// south 33; panel 13.8 V, battery 12.5 V; panel 400 mA, battery 120 mA;
// battery full; azimuth 90, elevation 45. The stretches that are not read
// hold other printable bytes, and the reply ends with CR LF.
QByteArray workedExampleReply();

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

// Number of file descriptors this process holds open.
int openFileDescriptors();

// Bytes of heap in use by this process, as the C library counts them.
qint64 heapInUse();
// Why heapInUse() cannot tell a leak here, or null when it can. It cannot under
// AddressSanitizer, whose allocator the C library does not see, nor while the
// C library's per-thread caches are on: it counts the blocks they hold, up to
// some hundreds of KiB, as in use. GLIBC_TUNABLES=glibc.malloc.tcache_count=0
// turns them off (the leaks suite runs so).
const char *whyHeapIsNotMeasured();

#endif // TESTSUPPORT_H
