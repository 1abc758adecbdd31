#ifndef WRITEWHOLE_H
#define WRITEWHOLE_H

#include <QByteArray>

// Writes all the bytes to the descriptor, going on after an interrupted or a
// short write (a short one is how a disk that fills up shows first). False on
// an error, errno saying which; a write that makes no progress fails with EIO
// rather than being tried for ever.
bool writeWhole(int descriptor, const QByteArray &bytes);

#endif // WRITEWHOLE_H
