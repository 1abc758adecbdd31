#include "tracker.h"

#include "commandwords.h"
#include "replyfields.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int noLight = 4;        // a light total at most this: no light on any sensor
constexpr int noCurrent = 1;      // a current at most this (tens of mA): none
constexpr int directionFloor = 8; // below, the sensors do not say where the sun is
constexpr double cloudDrop = 0.7; // the light and the current fall below this together
constexpr double cloudGone = 0.85; // the light back to this of what it was
constexpr double lightJump = 1.4;  // or up by this since the last refresh
constexpr int stuckLimit = 3;      // commands without a change of the read-out
constexpr int wrongWayLimit = 3;   // moves towards the sun that each took current away
constexpr double wrongWayLoss = 0.9;
constexpr int nominalStep = 10; // what the window's commands carry, until a move is read
// Until a move is read, an elevation command is kept this far from 0 and 90,
// as far as a command might turn it.
constexpr int unknownStepMargin = 20;
// The current falls as the cosine of the angle to the sun. A search begins
// once it has fallen as it does at three quarters of a step off (at least
// two units: one is the reading's own grain), that fall doubling after each
// search that found nothing better, up to so many times, as when the sun's
// light itself wanes.
constexpr double searchAtSteps = 0.75;
constexpr int fallMinimum = 2;
constexpr int mostFallFactor = 8;
constexpr int currentNoise = 1; // what a reading of the current may be off by
constexpr int scaleSamples = 9;
constexpr double scaleFloor = 20;
// What a sensor facing the sun is taken to read until the scale is learnt
// (the fields carry up to 999; the window's bars go to 255): only the way of
// a search's first step depends on it.
constexpr double assumedScale = 255;

double radians(double degrees)
{
    return degrees * pi / 180;
}

double degrees(double radians)
{
    return radians * 180 / pi;
}

// The shorter way from one azimuth to another, -180..180.
double azimuthDifference(double from, double to)
{
    return std::remainder(to - from, 360.0);
}

const char *axisName(Axis axis)
{
    return axis == Axis::Azimuth ? "azimuth" : "elevation";
}

int readoutOf(const SkyReading &reading, Axis axis)
{
    return axis == Axis::Azimuth ? reading.azimuth : reading.elevation;
}

// Where the sun is, seen from where the panel faces: the further west, the
// smaller the sine of the azimuth (1 due east, -1 due west).
QString sideWords(double panelAzimuth, double sunAzimuth)
{
    return std::sin(radians(sunAzimuth)) < std::sin(radians(panelAzimuth))
               ? QStringLiteral("the sun is further west")
               : QStringLiteral("the sun is further east");
}

double sensorMagnitude(const SkyReading &r)
{
    return std::hypot(double(r.est - r.ouest), double(r.nord - r.sud));
}

} // namespace

SkyReading skyReadingOf(const DecodedReply &reply)
{
    return {reply.lumEst, reply.lumOuest, reply.lumNord,      reply.lumSud,
            reply.ipan,   isFlagSet(reply.pleine), reply.azimut, reply.elevation};
}

Tracker::Tracker(Park parkAt) : park(parkAt) {}

std::optional<double> Tracker::sunAzimuth(const SkyReading &r)
{
    if (sensorMagnitude(r) < directionFloor)
        return std::nullopt;
    return std::fmod(degrees(std::atan2(double(r.est - r.ouest), double(r.nord - r.sud))) + 360,
                     360.0);
}

int Tracker::lightTotal() const
{
    return last.est + last.ouest + last.nord + last.sud;
}

QStringList Tracker::enterPhase(Phase next, const QString &line)
{
    state = next;
    return {line};
}

double Tracker::parkedInterval(double interval) const
{
    constexpr double aboutAMinute = 60, sunTravel = 15;
    const double untilTheSunMoves = sunSpeed > 0 ? sunTravel / sunSpeed : aboutAMinute;
    return std::max(interval, std::min(aboutAMinute, untilTheSunMoves));
}

QStringList Tracker::observe(const SkyReading &reading, double seconds)
{
    const int previousTotal = seen ? lightTotal() : -1;
    last = reading;
    seen = true;
    if (search != Search::None) // the last turn searched: did it find better?
        fallFactor = searchGained ? 1 : std::min(2 * fallFactor, mostFallFactor);
    search = Search::None;
    const int total = lightTotal();
    QStringList lines;
    if (total <= noLight && reading.ipan <= noCurrent) {
        if (state != Phase::Night && state != Phase::Parked)
            lines += enterPhase(Phase::Night, QStringLiteral("night: no light on any sensor and "
                                                             "no current; parking at %1,%2")
                                                  .arg(park.azimuth)
                                                  .arg(park.elevation));
        return lines + settleNight();
    }
    if (state == Phase::Night || state == Phase::Parked) {
        lines += enterPhase(Phase::Tracking, QStringLiteral("the light is back: tracking"));
        lightReference = -1;
        bestCurrent = -1;
        searchWanted = Wanted::Beginning;
    }
    if (state == Phase::Cloud) {
        if (total >= cloudGone * lightReference || total >= lightJump * previousTotal) {
            lines += enterPhase(Phase::Tracking, QStringLiteral("the light is back: tracking"));
            bestCurrent = -1;
            searchWanted = std::max(searchWanted, Wanted::Resuming);
        }
    } else if (lightReference > 0 && total < cloudDrop * lightReference &&
               (currentReference <= 5 * noCurrent || reading.ipan < cloudDrop * currentReference)) {
        lines += enterPhase(Phase::Cloud, QStringLiteral("cloud: the light and the current fell "
                                                         "together; waiting for the light"));
        cloudSunAzimuth = sunAzimuth(reading);
    }
    if (state != Phase::Cloud) {
        lightReference = total;
        currentReference = reading.ipan;
    }
    const std::optional<double> sun = sunAzimuth(reading);
    if (sun && sunAzimuthSeen && seconds > sunSeenAt) {
        const double speed = std::abs(azimuthDifference(*sunAzimuthSeen, *sun)) / (seconds - sunSeenAt);
        sunSpeed = sunSpeed > 0 ? 0.8 * sunSpeed + 0.2 * speed : speed;
    }
    sunAzimuthSeen = sun;
    sunSeenAt = seconds;
    bestCurrent = std::max(bestCurrent, reading.ipan);
    return lines;
}

QStringList Tracker::settleNight()
{
    if (state != Phase::Night || nextMove())
        return {};
    return enterPhase(Phase::Parked, QStringLiteral("parked at %1,%2; refreshing about once a minute")
                                          .arg(last.azimuth)
                                          .arg(last.elevation));
}

bool Tracker::sunHasMovedOn() const
{
    const std::optional<double> sun = sunAzimuth(last);
    return sun && cloudSunAzimuth &&
           std::abs(azimuthDifference(*cloudSunAzimuth, *sun)) > assumedStep(Axis::Azimuth);
}

std::optional<Move> Tracker::nextMove() const
{
    if (!seen)
        return std::nullopt;
    switch (state) {
    case Phase::Night:
        if (auto move = azimuthMove(park.azimuth, Move::Kind::Park))
            return move;
        return elevationMove(park.elevation, Move::Kind::Park);
    case Phase::Parked:
        return std::nullopt;
    case Phase::Cloud:
        // Not chased: only once the sun has gone on far enough to be followed.
        return sunHasMovedOn() ? trackingMove() : std::nullopt;
    case Phase::Tracking:
        break;
    }
    return trackingMove();
}

std::optional<Move> Tracker::trackingMove() const
{
    if (const std::optional<double> sun = sunAzimuth(last))
        if (auto move = azimuthMove(*sun, Move::Kind::Follow))
            return move;
    if (elevation.givenUp)
        return std::nullopt;
    if (!currentIsAGuide()) {
        // The regulator holds the current: the sensors, as far as their scale is known.
        if (const std::optional<double> sun = sunElevationFromScale())
            return elevationMove(*sun, Move::Kind::Follow);
        return std::nullopt;
    }
    return searchMove();
}

// The next step of the search for the elevation that gives the most current.
std::optional<Move> Tracker::searchMove() const
{
    switch (search) {
    case Search::Stepping:
        if (last.ipan < currentBeforeStep - currentNoise)
            return makeMove(Axis::Elevation, !searchUp, Move::Kind::Back,
                            QStringLiteral("back: less current that way"));
        if (last.ipan > currentBeforeStep + currentNoise && offAfterGain() > assumedStep(Axis::Elevation) / 2.0)
            return searchStep(searchUp, QStringLiteral("more current that way"));
        return std::nullopt;
    case Search::BackedOff:
        if (firstSearch && firstStepOfWay && !triedOtherWay)
            return searchStep(!searchUp, QStringLiteral("trying the other way"));
        return std::nullopt;
    case Search::None:
        break;
    }
    const double stepOff = radians(searchAtSteps * assumedStep(Axis::Elevation));
    const int fall = std::max(fallMinimum, int(std::lround(fallFactor * (1 - std::cos(stepOff)) *
                                                           bestCurrent)));
    if (searchWanted == Wanted::No && !(bestCurrent >= 0 && last.ipan < bestCurrent - fall))
        return std::nullopt;
    // The way to try first: towards the sun's height as the sensors put it,
    // when tracking begins; once it follows the sun, the way the sun goes, up
    // while it is east of the meridian, down after, wherever the meridian is
    // (south or north).
    const bool beginning = searchWanted == Wanted::Beginning;
    const bool up = beginning ? sunElevationFromScale().value_or(degrees(std::acos(std::min(
                                    1.0, sensorMagnitude(last) / assumedScale)))) > last.elevation
                              : last.est > last.ouest;
    const QString why = beginning                         ? QStringLiteral("finding the height of the sun")
                        : searchWanted == Wanted::Resuming ? QStringLiteral("after the cloud")
                                                           : QStringLiteral("less current");
    if (auto move = searchStep(up, why))
        return move;
    return searchStep(!up, why);
}

// How far the panel is still off, in degrees, after a step that gained: the
// current goes as the cosine of the angle to the sun, so a step s that took
// it from c to c(1 + g) left it off by e - s, where tan e = (1 + g - cos s) / sin s.
double Tracker::offAfterGain() const
{
    if (currentBeforeStep <= 0)
        return 90;
    const double step = radians(assumedStep(Axis::Elevation));
    const double gain = double(last.ipan) / currentBeforeStep - 1;
    return degrees(std::atan((1 + gain - std::cos(step)) / std::sin(step)) - step);
}

std::optional<Move> Tracker::searchStep(bool up, const QString &why) const
{
    if (!elevationStaysInRange(up))
        return std::nullopt;
    return makeMove(Axis::Elevation, up, Move::Kind::Probe,
                    why + (up ? QStringLiteral(": trying higher") : QStringLiteral(": trying lower")));
}

std::optional<Move> Tracker::azimuthMove(double target, Move::Kind kind) const
{
    if (azimuth.givenUp)
        return std::nullopt;
    const double off = azimuthDifference(last.azimuth, target);
    if (std::abs(off) <= assumedStep(Axis::Azimuth) / 2.0)
        return std::nullopt;
    return makeMove(Axis::Azimuth, off > 0, kind,
                    kind == Move::Kind::Park ? QStringLiteral("parking for the night")
                                             : sideWords(last.azimuth, target));
}

std::optional<Move> Tracker::elevationMove(double target, Move::Kind kind) const
{
    const double off = target - last.elevation;
    if (elevation.givenUp || std::abs(off) <= assumedStep(Axis::Elevation) / 2.0 ||
        !elevationStaysInRange(off > 0))
        return std::nullopt;
    return makeMove(Axis::Elevation, off > 0, kind,
                    kind == Move::Kind::Park ? QStringLiteral("parking for the night")
                    : off > 0                ? QStringLiteral("the sun is higher")
                                             : QStringLiteral("the sun is lower"));
}

Move Tracker::makeMove(Axis axis, bool increase, Move::Kind kind, const QString &why) const
{
    // The nominal commands: K01 turns right (clockwise), J01 raises.
    const bool nominal = increase == stateOf(axis).forward;
    const char *word = axis == Axis::Azimuth ? (nominal ? "right" : "left") : (nominal ? "up" : "down");
    return Move{axis, increase, kind, motorBytes(QString::fromLatin1(word)), why};
}

int Tracker::assumedStep(Axis axis) const
{
    const int learnt = stateOf(axis).step;
    return learnt > 0 ? learnt : nominalStep;
}

// Never a command that would take the elevation below 0 or above 90 as read.
bool Tracker::elevationStaysInRange(bool increase) const
{
    const int step = elevation.step > 0 ? elevation.step : unknownStepMargin;
    return increase ? last.elevation + step <= 90 : last.elevation - step >= 0;
}

bool Tracker::currentIsAGuide() const
{
    return !last.full && last.ipan > noCurrent;
}

std::optional<double> Tracker::sunElevationFromScale() const
{
    const double magnitude = sensorMagnitude(last);
    if (scales.isEmpty() || magnitude < directionFloor)
        return std::nullopt;
    QVector<double> sorted = scales;
    std::sort(sorted.begin(), sorted.end());
    return degrees(std::acos(std::min(1.0, magnitude / sorted[sorted.size() / 2])));
}

// Where the search puts the sun's height, how strongly the sensors read it
// gives their scale, for when the current is no guide.
void Tracker::learnScale(double sunElevation)
{
    const double magnitude = sensorMagnitude(last);
    if (state == Phase::Cloud || magnitude < scaleFloor)
        return;
    scales.append(magnitude / std::max(0.05, std::cos(radians(sunElevation))));
    if (scales.size() > scaleSamples)
        scales.removeFirst();
}

QStringList Tracker::moved(const Move &move, const SkyReading &after)
{
    const SkyReading before = last;
    last = after;
    QStringList lines{QStringLiteral("%1 %2 -> %3, %4")
                          .arg(QString::fromLatin1(axisName(move.axis)))
                          .arg(readoutOf(before, move.axis))
                          .arg(readoutOf(after, move.axis))
                          .arg(move.why)};
    lines += learnFrom(move, before, after);
    lines += followUp(move, before);
    if (!canMove())
        lines << QStringLiteral("the panel does not follow the motor commands");
    return lines + settleNight();
}

// The step and the way of the axis, from how its read-out moved.
QStringList Tracker::learnFrom(const Move &move, const SkyReading &before, const SkyReading &after)
{
    AxisState &axis = stateOf(move.axis);
    const QString name = QString::fromLatin1(axisName(move.axis));
    const int from = readoutOf(before, move.axis), to = readoutOf(after, move.axis);
    const int delta = move.axis == Axis::Azimuth ? int(azimuthDifference(from, to)) : to - from;
    if (delta == 0) {
        const bool atLimit = move.axis == Axis::Elevation && (move.increase ? from >= 90 : from <= 0);
        if (atLimit || ++axis.stuck < stuckLimit)
            return {};
        axis.givenUp = true;
        return {QStringLiteral("%1 given up: its read-out stays at %2 after %3 commands")
                    .arg(name)
                    .arg(to)
                    .arg(stuckLimit)};
    }
    axis.stuck = 0;
    axis.step = std::abs(delta);
    if ((delta > 0) == move.increase)
        return {};
    // A read-out that goes the other way: the command turns it so.
    axis.forward = !axis.forward;
    return {QStringLiteral("%1 turns the opposite way from its commands: the other command from now on")
                .arg(name)};
}

// What the move's current says: a try kept or to come back from, a move
// towards the sun that took current away.
QStringList Tracker::followUp(const Move &move, const SkyReading &before)
{
    switch (move.kind) {
    case Move::Kind::Probe:
        if (search == Search::None) {
            firstSearch = searchWanted == Wanted::Beginning;
            searchGained = false;
        }
        firstStepOfWay = search != Search::Stepping;
        triedOtherWay = search == Search::BackedOff;
        search = Search::Stepping;
        // The way it went, which a reversed axis makes the other one.
        searchUp = last.elevation == before.elevation ? move.increase : last.elevation > before.elevation;
        currentBeforeStep = before.ipan;
        searchWanted = Wanted::No;
        bestCurrent = last.ipan;
        if (last.ipan > before.ipan + currentNoise) { // the sun is still that way, this far
            searchGained = true;
            learnScale(last.elevation + (move.increase ? 1 : -1) * std::max(0.0, offAfterGain()));
        } else if (last.ipan >= before.ipan - currentNoise) { // the peak lies between the two
            learnScale((before.elevation + last.elevation) / 2.0);
        }
        return {};
    case Move::Kind::Back: // the sun is within half a step of where the panel is back
        search = Search::BackedOff;
        bestCurrent = last.ipan;
        learnScale(last.elevation);
        return {};
    case Move::Kind::Park:
        return {};
    case Move::Kind::Follow:
        break;
    }
    bestCurrent = std::max(bestCurrent, last.ipan);
    AxisState &axis = stateOf(move.axis);
    const bool lost = state == Phase::Tracking && currentIsAGuide() &&
                      last.ipan < wrongWayLoss * before.ipan - currentNoise;
    axis.wrongWay = lost ? axis.wrongWay + 1 : 0;
    if (axis.wrongWay < wrongWayLimit || axis.givenUp)
        return {};
    axis.givenUp = true;
    return {QStringLiteral("%1 given up: each turn towards the sun took current away")
                .arg(QString::fromLatin1(axisName(move.axis)))};
}
