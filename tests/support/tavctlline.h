#ifndef TAVCTLLINE_H
#define TAVCTLLINE_H

// tavctl run as a program, on a folder of scripted controllers: what the
// suites of its commands share. TAVCTL is the program's path.
#include "ptycontroller.h"
#include "recording.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

// Runs tavctl to its end: its exit status (-1 for a crash), stdout and stderr.
inline std::tuple<int, QByteArray, QByteArray> tavctl(const QStringList &arguments)
{
    QProcess process;
    process.start(TAVCTL, arguments);
    process.waitForFinished(20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

inline QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A recording's rows split into fields; none at all unless every line is
// whole: the header, then rows of fifteen fields, each ended by LF.
inline QList<QStringList> rowsOf(const QByteArray &content)
{
    const QRegularExpression whole(
        QString("^%1\n([^,\n]*(,[^,\n]*){14}\n)*$").arg(recordingHeader));
    QList<QStringList> rows;
    for (const QString &line :
         QString::fromUtf8(content).split('\n').mid(1, content.count('\n') - 1))
        rows.append(line.split(','));
    return whole.match(QString::fromUtf8(content)).hasMatch() ? rows : QList<QStringList>();
}

// Whether any of the devices behind some links was opened since the watch began.
class OpenWatch
{
public:
    explicit OpenWatch(const QStringList &links) : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const QString &link : links)
            inotify_add_watch(fd, qPrintable(link), IN_OPEN);
    }
    ~OpenWatch() { ::close(fd); }
    bool opened() const
    {
        char events[4096];
        return ::read(fd, events, sizeof events) > 0;
    }

private:
    int fd;
};

// A folder of ports: COM1 answers every command with the worked example, COM2
// never answers, COM3 does not exist, COM4 answers the worked example cut
// short of its last byte, COM6 is a link that leads nowhere.
struct Line
{
    SerialFolder folder;
    PtyController com1{folder.pathOf(1), {{0, workedExampleReply()}}}, com2{folder.pathOf(2)};
    PtyController com4{folder.pathOf(4), {{0, workedExampleReply().left(66)}}};
    bool com6 = QFile::link(folder.pathOf(6) + ".gone", folder.pathOf(6));
    OpenWatch watch{{folder.pathOf(1), folder.pathOf(2), folder.pathOf(4)}};
    const QString csv = QFileInfo(folder.pathOf(1)).path() + "/recording.csv";
};

#endif // TAVCTLLINE_H
