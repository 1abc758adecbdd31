#ifndef RECORDINGFILE_H
#define RECORDINGFILE_H

#include <QByteArray>
#include <QString>

// The few operations on the file that a recording needs, made with the
// system's own calls: Linux's descriptors and advisory locks, or Windows'
// handles and byte-range locks. Each failure leaves error() saying why, in
// the system's words.
class RecordingFile
{
public:
    RecordingFile() = default;
    ~RecordingFile();
    RecordingFile(const RecordingFile &) = delete;
    RecordingFile &operator=(const RecordingFile &) = delete;

    // Opens the file for reading and appending, creating it if it is missing;
    // an existing file is left as it is, its times included.
    bool open(const QString &path);
    bool isRegular();
    // The file's size, or -1.
    qint64 size();
    // Reads count bytes at offset: false unless all of them came.
    bool readAt(char *into, qint64 count, qint64 offset);
    // Writes all the bytes at the end of the file.
    bool append(const QByteArray &bytes);
    // Waits until what was written is on the disk.
    bool sync();
    bool truncate(qint64 size);

    enum class Lock { Taken, Held, Failed };
    // Takes the recorder's lock on the file, held until the file is closed;
    // Held when another process has it (its PID in holder where the system
    // says, otherwise 0).
    Lock lock(qint64 &holder);

    // Makes a new file's directory entry durable too, where the system needs it.
    static void syncDirectoryOf(const QString &path);

    QString error() const { return why; }

private:
    bool failed();

#ifdef Q_OS_WIN
    void *handle = nullptr;
#else
    int fd = -1;
#endif
    QString why;
};

#endif // RECORDINGFILE_H
