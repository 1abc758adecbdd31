// Writing a recording durably: one write per row, each flushed to the disk.
#include "recordingwriter.h"

#include "recording.h"
#include "writewhole.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int tailBlock = 4096; // how much of the end is searched for a LF at a time

QByteArray headerLine()
{
    return QByteArray(recordingHeader) + '\n';
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Makes a new file's directory entry durable too: without it, a power cut
// could lose the file with every row in it.
void syncDirectoryOf(const QString &path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

RecordingWriter::RecordingWriter(const QString &filePath) : path(filePath) {}

RecordingWriter::~RecordingWriter()
{
    if (fd >= 0)
        ::close(fd);
}

RecordingWriter::Opened RecordingWriter::open()
{
    const bool existed = QFileInfo::exists(path);
    // Opening an existing file changes nothing in it, not even its times;
    // only what is written or cut does.
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return failed();
    if (!S_ISREG(status.st_mode)) {
        why = QStringLiteral("not a regular file");
        return Opened::Failed;
    }
    if (!lock())
        return why.isEmpty() ? failed() : Opened::Locked;
    wholeSize = status.st_size;
    if (status.st_size == 0)
        return startNew(!existed);
    const Opened header = checkHeader(status.st_size);
    if (header != Opened::Ready)
        return header;
    return dropTornRow(status.st_size) ? Opened::Ready : failed();
}

bool RecordingWriter::append(const QByteArray &row)
{
    if (writeWhole(fd, row) && ::fsync(fd) == 0) {
        wholeSize += row.size();
        return true;
    }
    why = systemError();
    if (::ftruncate(fd, wholeSize) == 0)
        ::fsync(fd);
    return false;
}

// A second recorder on the same file would interleave its rows with this
// one's: the whole file is locked for the run, and one that another process
// holds is refused, naming it. False with error() set when it is held; false
// with errno set when locking failed otherwise.
bool RecordingWriter::lock()
{
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &whole) == 0)
        return true;
    if (errno != EACCES && errno != EAGAIN)
        return false;
    const bool known = ::fcntl(fd, F_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
    why = QStringLiteral("another process is recording to it") +
          (known ? QStringLiteral(" (PID %1)").arg(whole.l_pid) : QString());
    return false;
}

RecordingWriter::Opened RecordingWriter::startNew(bool created)
{
    if (!append(headerLine()))
        return Opened::Failed;
    if (created)
        syncDirectoryOf(path);
    return Opened::Ready;
}

RecordingWriter::Opened RecordingWriter::checkHeader(qint64 size)
{
    const QByteArray expected = headerLine();
    QByteArray first(int(qMin<qint64>(size, expected.size())), '\0');
    if (::pread(fd, first.data(), size_t(first.size()), 0) != first.size())
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
        if (::pread(fd, block, size_t(end - start), start) != end - start)
            return false;
        const auto *lf = static_cast<const char *>(::memrchr(block, '\n', size_t(end - start)));
        if (!lf) {
            end = start;
            continue;
        }
        const qint64 keep = start + (lf - block) + 1;
        if (keep == size)
            return true;
        if (::ftruncate(fd, keep) != 0 || ::fsync(fd) != 0)
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
    why = systemError();
    return Opened::Failed;
}
