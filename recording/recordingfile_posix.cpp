// A recording's file on Linux: a descriptor opened for appending, fsync, and
// an advisory lock over the whole file.
#include "recordingfile.h"

#include "writewhole.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RecordingFile::~RecordingFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool RecordingFile::failed()
{
    why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool RecordingFile::open(const QString &path)
{
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    return fd >= 0 || failed();
}

bool RecordingFile::isRegular()
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return failed();
    return S_ISREG(status.st_mode);
}

qint64 RecordingFile::size()
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0) {
        failed();
        return -1;
    }
    return status.st_size;
}

bool RecordingFile::readAt(char *into, qint64 count, qint64 offset)
{
    const ssize_t got = ::pread(fd, into, size_t(count), offset);
    if (got < 0)
        return failed();
    return got == count;
}

bool RecordingFile::append(const QByteArray &bytes)
{
    return writeWhole(fd, bytes) || failed();
}

bool RecordingFile::sync()
{
    return ::fsync(fd) == 0 || failed();
}

bool RecordingFile::truncate(qint64 size)
{
    return ::ftruncate(fd, size) == 0 || failed();
}

// A write lock over the whole file, whatever its length grows to.
RecordingFile::Lock RecordingFile::lock(qint64 &holder)
{
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &whole) == 0)
        return Lock::Taken;
    if (errno != EACCES && errno != EAGAIN) {
        failed();
        return Lock::Failed;
    }
    holder = ::fcntl(fd, F_GETLK, &whole) == 0 && whole.l_type != F_UNLCK ? whole.l_pid : 0;
    return Lock::Held;
}

void RecordingFile::syncDirectoryOf(const QString &path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
