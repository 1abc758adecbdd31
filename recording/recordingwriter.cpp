// Writing a recording durably: one write per row, each flushed to the disk.
#include "recordingwriter.h"

#include "recording.h"

#include <QFileInfo>

namespace {

constexpr int tailBlock = 4096; // how much of the end is searched for a LF at a time

QByteArray headerLine()
{
    return QByteArray(recordingHeader) + '\n';
}

} // namespace

RecordingWriter::RecordingWriter(const QString &filePath) : path(filePath) {}

RecordingWriter::~RecordingWriter() = default;

RecordingWriter::Opened RecordingWriter::open()
{
    const bool existed = QFileInfo::exists(path);
    // Opening an existing file changes nothing in it, not even its times;
    // only what is written or cut does.
    if (!file.open(path))
        return failed();
    const bool regular = file.isRegular();
    if (!file.error().isEmpty())
        return failed();
    if (!regular) {
        why = QStringLiteral("not a regular file");
        return Opened::Failed;
    }
    if (!lock())
        return why.isEmpty() ? failed() : Opened::Locked;
    const qint64 size = file.size();
    if (size < 0)
        return failed();
    wholeSize = size;
    if (size == 0)
        return startNew(!existed);
    const Opened header = checkHeader(size);
    if (header != Opened::Ready)
        return header;
    return dropTornRow(size) ? Opened::Ready : failed();
}

bool RecordingWriter::append(const QByteArray &row)
{
    if (file.append(row) && file.sync()) {
        wholeSize += row.size();
        return true;
    }
    why = file.error();
    if (file.truncate(wholeSize))
        file.sync();
    return false;
}

// A second recorder on the same file would interleave its rows with this
// one's: one that another process holds is refused, naming it. False with
// error() set when it is held; false with the file's error when locking
// failed otherwise.
bool RecordingWriter::lock()
{
    qint64 holder = 0;
    switch (file.lock(holder)) {
    case RecordingFile::Lock::Taken:
        return true;
    case RecordingFile::Lock::Failed:
        return false;
    case RecordingFile::Lock::Held:
        break;
    }
    why = QStringLiteral("another process is recording to it") +
          (holder > 0 ? QStringLiteral(" (PID %1)").arg(holder) : QString());
    return false;
}

RecordingWriter::Opened RecordingWriter::startNew(bool created)
{
    if (!append(headerLine()))
        return Opened::Failed;
    if (created)
        RecordingFile::syncDirectoryOf(path);
    return Opened::Ready;
}

RecordingWriter::Opened RecordingWriter::checkHeader(qint64 size)
{
    const QByteArray expected = headerLine();
    QByteArray first(int(qMin<qint64>(size, expected.size())), '\0');
    if (!file.readAt(first.data(), first.size(), 0))
        return failed();
    if (first == expected)
        return Opened::Ready;
    why = QStringLiteral("not a recording: its first line is not the recording's header");
    return Opened::Foreign;
}

// A row without its LF was cut by a crash or a power cut: what follows the
// last LF is cut off, so that the next row starts a line of its own.
bool RecordingWriter::dropTornRow(qint64 size)
{
    char block[tailBlock];
    for (qint64 end = size; end > 0;) {
        const qint64 start = qMax<qint64>(0, end - tailBlock);
        if (!file.readAt(block, end - start, start))
            return false;
        const char *lf = nullptr;
        for (qint64 at = end - start; at > 0 && !lf; --at)
            if (block[at - 1] == '\n')
                lf = block + at - 1;
        if (!lf) {
            end = start;
            continue;
        }
        const qint64 keep = start + (lf - block) + 1;
        if (keep == size)
            return true;
        if (!file.truncate(keep) || !file.sync())
            return false;
        wholeSize = keep;
        note = QStringLiteral("dropped a partial last row (%1 bytes without an end of line) "
                              "before appending")
                   .arg(size - keep);
        return true;
    }
    return true; // not reached: the header ends with a LF
}

RecordingWriter::Opened RecordingWriter::failed()
{
    why = file.error();
    return Opened::Failed;
}
