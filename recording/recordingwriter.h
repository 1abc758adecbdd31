#ifndef RECORDINGWRITER_H
#define RECORDINGWRITER_H

#include "recordingfile.h"

#include <QByteArray>
#include <QString>

// Appends rows to a recording (recording.h) so that a crash or a power cut
// loses at most the row in progress: each row goes to the file in one write
// and reaches the disk before append() returns.
class RecordingWriter
{
public:
    explicit RecordingWriter(const QString &filePath);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter &) = delete;
    RecordingWriter &operator=(const RecordingWriter &) = delete;

    enum class Opened { Ready, Foreign, Locked, Failed };
    // The file is locked for as long as this lives (an advisory lock on Linux,
    // a byte-range lock on Windows): a file that another process holds so is
    // Locked and left untouched. A missing or
    // empty file gets the header. A recording with the same header is appended
    // to, less a torn last row (one without its LF), which is dropped and told
    // by notice(). A file with another first line is Foreign and left
    // untouched. error() says why the file is not Ready.
    Opened open();
    // False, with error(), when the row could not be written whole to the
    // disk; what part of it was written is cut off again, so that the file
    // still ends with its last whole row.
    bool append(const QByteArray &row);

    QString error() const { return why; }
    QString notice() const { return note; }

private:
    bool lock();
    Opened startNew(bool created);
    Opened checkHeader(qint64 size);
    bool dropTornRow(qint64 size);
    Opened failed();

    QString path;
    RecordingFile file;
    qint64 wholeSize = 0; // the file's size up to the end of its last whole row
    QString why;
    QString note;
};

#endif // RECORDINGWRITER_H
