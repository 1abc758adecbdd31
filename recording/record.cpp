// tavctl record: one refresh per interval on a fixed schedule, one CSV row each,
// until a count is reached or SIGINT or SIGTERM asks to stop.
#include "commandline.h"
#include "exitstatus.h"
#include "record.h"
#include "exchange.h"
#include "outcome.h"
#include "output.h"
#include "recordingwriter.h"
#include "stopsignals.h"

#include <QCoreApplication>
#include <QDateTime>

#include <chrono>
#include <climits>
#include <cstdio>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr double shortestInterval = 0.2; // seconds
constexpr double longestInterval = 86400;

struct RecordSettings
{
    Clock::duration interval;
    int count = 0; // 0: until stopped
    QString output;
};

// The width of the terminal that stderr is while this process runs in its
// foreground; 0 when it is not one (a log file, a pipe) or a background job,
// whose line would garble the shell's prompt. Checked at every row: a job can
// be moved to the background and back.
int foregroundTerminalWidth()
{
#ifdef Q_OS_WIN
    CONSOLE_SCREEN_BUFFER_INFO console{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &console))
        return 0;
    return console.srWindow.Right - console.srWindow.Left + 1;
#else
    if (::isatty(STDERR_FILENO) != 1 || ::tcgetpgrp(STDERR_FILENO) != ::getpgrp())
        return 0;
    winsize size = {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : INT_MAX;
#endif
}

// One line on a terminal's stderr, rewritten in place after every row: the
// last values, the rows written and how many of them failed. Only while the
// recording runs in the terminal's foreground: nothing when stderr is a log
// file or a pipe, nor from a background job, whose line would garble the
// shell's prompt.
class LiveStatus
{
public:
    LiveStatus() = default;
    ~LiveStatus() { end(); }
    LiveStatus(const LiveStatus &) = delete;
    LiveStatus &operator=(const LiveStatus &) = delete;

    void update(const QDateTime &time, const ExchangeResult &result, int rows, int failures)
    {
        const int width = foregroundTerminalWidth();
        if (width == 0)
            return;
        QString text = QStringLiteral("%1 %2, %3 failed; %4 ")
                           .arg(rows)
                           .arg(rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"))
                           .arg(failures)
                           .arg(time.toString(QStringLiteral("HH:mm:ss")));
        text = stderrLine(text + (hasMeasurement(result) ? lastValues(decodeReply(result.reply))
                                                         : recordingStatus(result)));
        text.truncate(width - 1); // a line that wraps could not be rewritten
#ifdef Q_OS_WIN
        // The console rubs out what the last line had beyond this one's end only with blanks.
        const QByteArray line = "\r" + text.leftJustified(width - 1).toUtf8();
#else
        const QByteArray line = "\r\033[K" + text.toUtf8();
#endif
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        shown = true;
    }

    // Ends the line, so that what comes next on stderr starts a line of its own.
    void end()
    {
        if (shown)
            std::fputs("\n", stderr);
        shown = false;
    }

private:
    static QString lastValues(const DecodedReply &d)
    {
        const QStringList v = recordingValues(d);
        return QStringLiteral("EST %1 OUEST %2 NORD %3 SUD %4 | VPAN %5 V VBAT %6 V | "
                              "IPAN %7 mA IBAT %8 mA | %9 | az %10° el %11°")
            .arg(v.at(0), v.at(1), v.at(2), v.at(3), v.at(4), v.at(5), v.at(6), v.at(7),
                 batteryState(d))
            .arg(v.at(11), v.at(12));
    }

    bool shown = false;
};

// Reads --interval, --count and --output; the exit status when they are wrong.
std::optional<int> readSettings(const CommandLine &line, RecordSettings &settings)
{
    bool isNumber = false;
    const QString interval = line.value(QStringLiteral("interval"));
    const double seconds = interval.toDouble(&isNumber);
    if (!isNumber || !(seconds >= shortestInterval && seconds <= longestInterval))
        return line.usageError(QStringLiteral("--interval takes seconds from %1 to %2, not \"%3\"")
                                   .arg(shortestInterval)
                                   .arg(longestInterval)
                                   .arg(interval));
    settings.interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    if (line.isSet(QStringLiteral("count"))) {
        settings.count = line.value(QStringLiteral("count")).toInt(&isNumber);
        if (!isNumber || settings.count < 1)
            return line.usageError(QStringLiteral("--count takes a whole number of rows, at "
                                                  "least 1, not \"%1\"")
                                       .arg(line.value(QStringLiteral("count"))));
    }
    settings.output = line.value(QStringLiteral("output"));
    if (settings.output.isEmpty())
        return line.usageError(QStringLiteral("--output FILE.csv is required"));
    if (!line.positionalArguments().isEmpty())
        return line.usageError(QStringLiteral("takes no arguments"));
    return std::nullopt;
}

// Tells on stderr, terminal or not, how the recording goes: one line when the
// status changes (the first failure, each change of failure, measuring again),
// and how many rows measured at the end. Its exit status: that of the last
// failure when no row measured, otherwise done.
class RecordReport
{
public:
    explicit RecordReport(LiveStatus &liveStatus) : live(liveStatus) {}

    void row(const ExchangeResult &result)
    {
        ++rows;
        if (!hasMeasurement(result)) {
            ++failures;
            lastFailure = exitStatusOf(result);
        }
        const QString change = changes.lineFor(result, QStringLiteral("row %1").arg(rows));
        if (!change.isEmpty()) {
            live.end();
            printError(change);
        }
    }

    int end(const QString &output)
    {
        live.end();
        printError(QStringLiteral("%1 %2 written to %3, %4 without a measurement")
                       .arg(rows)
                       .arg(rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"), output)
                       .arg(failures));
        return rows > 0 && failures == rows ? lastFailure : ExitStatus::done;
    }

    int rows = 0;
    int failures = 0;

private:
    StatusChanges changes;
    LiveStatus &live;
    int lastFailure = ExitStatus::done;
};

// Row k is due at start + k × interval. A refresh that ends late skips the
// slots already past rather than bunching rows up, so the schedule never drifts.
int record(const CommandLine &line, const RecordSettings &settings, RecordingWriter &writer)
{
    const StopSignals stop;
    LiveStatus live;
    RecordReport report(live);
    const Clock::time_point start = Clock::now();
    while (!stop.received()) {
        // The list of the system's ports is retaken when a device comes or
        // goes, which the event loop delivers: a long recording sees an
        // adapter plugged in or pulled out meanwhile.
        QCoreApplication::processEvents();
        const QDateTime time = QDateTime::currentDateTime();
        const ExchangeResult result =
            serialExchange(line.port(), QByteArrayLiteral("R\r"), {}, line.exchangeOptions());
        if (!writer.append(recordingRow(time, result))) {
            live.end();
            printError(QStringLiteral("%1: a row could not be written: %2; the file ends with its "
                                      "last whole row")
                           .arg(settings.output, writer.error()));
            report.end(settings.output);
            return ExitStatus::outputError;
        }
        report.row(result);
        live.update(time, result, report.rows, report.failures);
        if (report.rows == settings.count)
            break;
        const auto nextSlot = (Clock::now() - start) / settings.interval + 1;
        stop.waitUntil(start + nextSlot * settings.interval);
    }
    return report.end(settings.output);
}

} // namespace

int recordCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("record"),
                     QStringLiteral("Refreshes at a fixed interval and appends one CSV row per "
                                    "refresh to FILE.csv, until --count rows or " TAV_STOP_WORDS "."));
    line.addOption({QStringLiteral("interval"),
                    QStringLiteral("Seconds between refreshes, 0.2 to 86400 (default 2)."),
                    QStringLiteral("SECONDS"), QStringLiteral("2")});
    line.addOption({QStringLiteral("count"),
                    QStringLiteral("Stop after K rows (default: run until stopped)."),
                    QStringLiteral("K")});
    line.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                    QStringLiteral("The recording to write, or to append to if it is one."),
                    QStringLiteral("FILE.csv")});
    line.setExitStatuses(QStringLiteral(
        "On stderr, terminal or not: one line when the status of the rows changes\n"
        "(the first failure, each change of failure, measuring again), and at the\n"
        "end how many rows were written and how many of them have no measurement.\n"
        "\n"
        "Exit status: 0 done, the count reached or stopped by " TAV_STOP_WORDS ",\n"
        "with at least one row measured; 1 or 3 when no row measured, as the last\n"
        "failure was (1 no status reply, 3 the port); 2 usage error, or a file\n"
        "that is not a recording or that another process is recording to (left\n"
        "untouched); 4 the recording could not be written (its last whole row\n"
        "stays its end).\n"));
    if (const auto status = line.parse(arguments))
        return *status;
    RecordSettings settings;
    if (const auto status = readSettings(line, settings))
        return *status;
    RecordingWriter writer(settings.output);
    switch (writer.open()) {
    case RecordingWriter::Opened::Ready:
        break;
    case RecordingWriter::Opened::Failed:
        printError(QStringLiteral("%1: %2").arg(settings.output, writer.error()));
        return ExitStatus::outputError;
    case RecordingWriter::Opened::Foreign:
    case RecordingWriter::Opened::Locked:
        return line.usageError(settings.output + QStringLiteral(": ") + writer.error() +
                               QStringLiteral("; left untouched"));
    }
    if (!writer.notice().isEmpty())
        printError(QStringLiteral("%1: %2").arg(settings.output, writer.notice()));
    return record(line, settings, writer);
}
