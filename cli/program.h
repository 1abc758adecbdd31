#ifndef PROGRAM_H
#define PROGRAM_H

#include <QString>
#include <QStringList>

// The start of each of tavctl's programs: tavctl itself, and the commands
// that are programs of their own (plot, mqtt), which tavctl runs in its place
// with its command line unchanged, the command's name first.

// Before the application object: a file-size limit reported as a full disk
// rather than killing the program half way through a file, and the command
// that argv names (argv[1]) named in every message from here on. Returns it.
QString beginProgram(int argc, char **argv);

// Once the application object stands: the program's name and version, and
// the command's arguments, its name first (as QCommandLineParser expects).
QStringList commandArguments();

#endif // PROGRAM_H
