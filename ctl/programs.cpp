// The commands that load what no other command needs (plot: the toolkit's
// widgets and Qt Charts; mqtt: libmosquitto) are programs of their own, in
// the package's private folder, so that every other command starts without
// them. tavctl becomes the program: the same process, arguments, standard
// streams and environment, so that signals reach it and its exit status is
// tavctl's.
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"

#include <QByteArray>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace {

// The folder of this program's own file, wherever it was started from.
QByteArray ownFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    const QByteArray self(path, length > 0 ? int(length) : 0);
    return self.left(self.lastIndexOf('/'));
}

} // namespace

int runProgramOf(const QString &command, char **argv)
{
    // Beside tavctl as the build tree and the package place them alike.
    const QByteArray program =
        ownFolder() + "/" TAV_PROGRAMS_FROM_BINDIR "/tavctl-" + command.toLocal8Bit();
    ::execv(program.constData(), argv);
    printError(QStringLiteral("cannot run %1: %2")
                   .arg(QString::fromLocal8Bit(program), QString::fromLocal8Bit(std::strerror(errno))));
    return ExitStatus::noProgram;
}
