#include "trackturn.h"

#include "outcome.h"

namespace {

// However the installation answers, a turn ends: a panel facing away from
// the sun, or parking, is half a turn of either axis in the smallest step.
constexpr int mostMovesInATurn = 200;

} // namespace

void trackTurn(Tracker &tracker, const ExchangeResult &refresh, double seconds,
               const std::function<ExchangeResult(const QByteArray &)> &exchange,
               const std::function<void(const QString &)> &say)
{
    if (!hasMeasurement(refresh))
        return;
    for (const QString &line : tracker.observe(skyReadingOf(decodeReply(refresh.reply)), seconds))
        say(line);
    for (int moves = 0; moves < mostMovesInATurn && tracker.canMove(); ++moves) {
        const std::optional<Move> move = tracker.nextMove();
        if (!move)
            return;
        const ExchangeResult reply = exchange(move->command);
        if (!hasMeasurement(reply))
            return;
        for (const QString &line : tracker.moved(*move, skyReadingOf(decodeReply(reply.reply))))
            say(line);
    }
}
