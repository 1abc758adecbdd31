#ifndef RECORD_H
#define RECORD_H

#include <QStringList>

// tavctl record: a refresh at a fixed interval, one row each appended to a
// recording, until the count is reached or a stop signal comes. Takes its
// arguments from the command's name on; returns the exit status.
int recordCommand(const QStringList &arguments);

#endif // RECORD_H
