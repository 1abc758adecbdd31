// tavctl-plot: tavctl's plot command as a program of its own, so that no
// other command loads the toolkit's widgets and Qt Charts. tavctl runs it in
// its own place, with its command line ("tavctl plot ...").
#include "commandline.h"
#include "exitstatus.h"
#include "plot.h"
#include "program.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Drawing offscreen, the toolkit warns about what a picture written to a file
// does without (no runtime folder, no display). plot reports its own errors,
// so only the toolkit's critical messages reach the terminal.
void keepToolkitWarningsOff(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(message);
}

} // namespace

int main(int argc, char *argv[])
{
    if (beginProgram(argc, argv) != QLatin1String("plot")) {
        printError(QStringLiteral("tavctl-plot runs tavctl's plot command: tavctl plot ..."));
        return ExitStatus::usage;
    }
    // It needs no display, nor a runtime folder: without one, the toolkit
    // would make /tmp/runtime-USER and leave it behind; this one goes at the end.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qInstallMessageHandler(keepToolkitWarningsOff);
    QApplication application(argc, argv);
    return plotCommand(commandArguments());
}
