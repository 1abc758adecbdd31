#include "writewhole.h"

#include <cerrno>
#include <unistd.h>

bool writeWhole(int descriptor, const QByteArray &bytes)
{
    const char *next = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(descriptor, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        next += written;
        left -= size_t(written);
    }
    return true;
}
