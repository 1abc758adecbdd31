// A recording's file on Windows: a handle that others may read (plot, a
// spreadsheet) but not write, FlushFileBuffers, and an exclusive byte-range
// lock far past any real data, which keeps a second recorder out without
// keeping readers from the rows.
#include "recordingfile.h"

#include <QDir>

#include <windows.h>

namespace {

// The lock's byte: past the end of any recording, so that reading is never blocked.
constexpr DWORD lockOffsetHigh = 0x7fffffff;

HANDLE asHandle(void *handle)
{
    return static_cast<HANDLE>(handle);
}

} // namespace

RecordingFile::~RecordingFile()
{
    if (handle)
        ::CloseHandle(asHandle(handle));
}

bool RecordingFile::failed()
{
    why = qt_error_string(int(::GetLastError()));
    return false;
}

bool RecordingFile::open(const QString &path)
{
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE opened = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return failed();
    handle = opened;
    return true;
}

bool RecordingFile::isRegular()
{
    const DWORD type = ::GetFileType(asHandle(handle));
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR)
        return failed();
    return type == FILE_TYPE_DISK;
}

qint64 RecordingFile::size()
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(asHandle(handle), &size)) {
        failed();
        return -1;
    }
    return size.QuadPart;
}

bool RecordingFile::readAt(char *into, qint64 count, qint64 offset)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xffffffff);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(asHandle(handle), into, DWORD(count), &got, &at))
        return failed();
    return got == DWORD(count);
}

bool RecordingFile::append(const QByteArray &bytes)
{
    const char *next = bytes.constData();
    DWORD left = DWORD(bytes.size());
    while (left > 0) {
        // Offsets of all ones write at the end of the file, as O_APPEND does.
        OVERLAPPED end{};
        end.Offset = 0xffffffff;
        end.OffsetHigh = 0xffffffff;
        DWORD written = 0;
        if (!::WriteFile(asHandle(handle), next, left, &written, &end))
            return failed();
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return failed();
        }
        next += written;
        left -= written;
    }
    return true;
}

bool RecordingFile::sync()
{
    return ::FlushFileBuffers(asHandle(handle)) || failed();
}

bool RecordingFile::truncate(qint64 size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return ::SetFileInformationByHandle(asHandle(handle), FileEndOfFileInfo, &end, sizeof end) ||
           failed();
}

RecordingFile::Lock RecordingFile::lock(qint64 &holder)
{
    holder = 0; // Windows does not say who holds a lock
    OVERLAPPED at{};
    at.OffsetHigh = lockOffsetHigh;
    if (::LockFileEx(asHandle(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                     0, &at))
        return Lock::Taken;
    if (::GetLastError() == ERROR_LOCK_VIOLATION || ::GetLastError() == ERROR_IO_PENDING)
        return Lock::Held;
    failed();
    return Lock::Failed;
}

void RecordingFile::syncDirectoryOf(const QString &)
{
    // NTFS makes a new file's entry durable with its metadata: nothing to do.
}
