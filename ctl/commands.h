#ifndef COMMANDS_H
#define COMMANDS_H

#include <QStringList>

// tavctl's own commands, those its front runs in its own process. Each takes
// its arguments (the command's name first, as QCommandLineParser expects),
// handles its --help, and returns the program's exit status.
int statusCommand(const QStringList &arguments);
int sendCommand(const QStringList &arguments);
int motorCommand(const QStringList &arguments);
int lightCommand(const QStringList &arguments);
int portsCommand(const QStringList &arguments);

// A command that tavctl runs as a program of its own (plot, mqtt): tavctl
// becomes that program, found in the package's private folder, with the same
// command line. Returns only when it could not be run.
int runProgramOf(const QString &command, char **argv);

#ifdef Q_OS_WIN
// record, plot and mqtt in the Windows build: a refusal that says so.
int linuxOnlyCommand(const QStringList &arguments);
#endif

#endif // COMMANDS_H
