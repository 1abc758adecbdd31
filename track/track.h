#ifndef TRACK_H
#define TRACK_H

#include <QStringList>

// tavctl track: the panel kept facing the sun until SIGINT or SIGTERM. Takes
// its arguments from the command's name on; returns the exit status.
int trackCommand(const QStringList &arguments);

#endif // TRACK_H
