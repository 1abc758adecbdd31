// tavctl track: at every interval one refresh, then the moves that face the
// sun again; at night, parked, a refresh about once a minute.
#include "commandline.h"
#include "exitstatus.h"
#include "outcome.h"
#include "stopsignals.h"
#include "track.h"
#include "trackturn.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double shortestInterval = 1, longestInterval = 3600, defaultInterval = 10;

struct TrackSettings
{
    double intervalSeconds = defaultInterval;
    Park park;
};

std::optional<int> readSettings(const CommandLine &line, TrackSettings &settings)
{
    bool isNumber = false;
    const QString interval = line.value(QStringLiteral("interval"));
    settings.intervalSeconds = interval.toDouble(&isNumber);
    if (!isNumber || !(settings.intervalSeconds >= shortestInterval &&
                       settings.intervalSeconds <= longestInterval))
        return line.usageError(QStringLiteral("--interval takes seconds from %1 to %2, not \"%3\"")
                                   .arg(shortestInterval)
                                   .arg(longestInterval)
                                   .arg(interval));
    if (line.isSet(QStringLiteral("park"))) {
        const QString park = line.value(QStringLiteral("park"));
        const auto match = QRegularExpression(QStringLiteral("^(\\d{1,3}),(\\d{1,2})$")).match(park);
        settings.park = {match.captured(1).toInt(), match.captured(2).toInt()};
        if (!match.hasMatch() || settings.park.azimuth > 359 || settings.park.elevation > 90)
            return line.usageError(QStringLiteral("--park takes AZIMUTH,ELEVATION, whole degrees "
                                                  "from 0 to 359 and 0 to 90, not \"%1\"")
                                       .arg(park));
    }
    if (!line.positionalArguments().isEmpty())
        return line.usageError(QStringLiteral("takes no arguments"));
    return std::nullopt;
}

Clock::duration seconds(double value)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
}

int track(const CommandLine &line, const TrackSettings &settings)
{
    const StopSignals stop;
    StatusChanges changes;
    Tracker tracker(settings.park);
    int refreshes = 0, moves = 0;
    const auto exchange = [&](const QByteArray &command, const QString &place) {
        const ExchangeResult result =
            serialExchange(line.port(), command, {}, line.exchangeOptions());
        const QString change = changes.lineFor(result, place);
        if (!change.isEmpty())
            printError(change);
        return result;
    };
    const Clock::time_point begun = Clock::now();
    while (!stop.received()) {
        QCoreApplication::processEvents(); // a device that came or went
        const Clock::time_point started = Clock::now();
        const ExchangeResult refresh =
            exchange(QByteArrayLiteral("R\r"), QStringLiteral("refresh %1").arg(++refreshes));
        trackTurn(
            tracker, refresh, std::chrono::duration<double>(started - begun).count(),
            [&](const QByteArray &command) {
                return exchange(command, QStringLiteral("move %1").arg(++moves));
            },
            printError);
        if (!tracker.canMove())
            return ExitStatus::notFollowing;
        const bool parked = tracker.phase() == Tracker::Phase::Parked;
        stop.waitUntil(started + seconds(parked ? tracker.parkedInterval(settings.intervalSeconds)
                                                : settings.intervalSeconds));
    }
    return ExitStatus::done;
}

} // namespace

int trackCommand(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("track"),
                     QStringLiteral("Keeps the panel facing the sun until " TAV_STOP_WORDS ": at "
                                    "every interval one refresh, then the motor commands that "
                                    "face it again."));
    line.addOption({QStringLiteral("interval"),
                    QStringLiteral("Seconds between refreshes, 1 to 3600 (default 10)."),
                    QStringLiteral("SECONDS"), QStringLiteral("10")});
    line.addOption({QStringLiteral("park"),
                    QStringLiteral("Where the panel waits at night, azimuth and elevation in "
                                   "degrees (default 90,10: east, low)."),
                    QStringLiteral("AZIMUTH,ELEVATION")});
    line.setExitStatuses(QStringLiteral(
        "On stderr, one line per event: each move, with the read-outs before and\n"
        "after and why; each change of state (tracking, cloud, night, parked, an\n"
        "axis given up); each change of the line's status (no reply..., measuring\n"
        "again).\n"
        "\n"
        "Exit status: 0 stopped by " TAV_STOP_WORDS "; 2 usage error, nothing sent;\n"
        "6 the panel does not follow the motor commands (both axes given up).\n"));
    if (const auto status = line.parse(arguments))
        return *status;
    TrackSettings settings;
    if (const auto status = readSettings(line, settings))
        return *status;
    return track(line, settings);
}
