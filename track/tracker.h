#ifndef TRACKER_H
#define TRACKER_H

#include "decodedreply.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// Following the sun with what the installation reports and understands: the
// four light levels, the panel's current, the azimuth and elevation
// read-outs, and the window's four motor commands. Nothing is known in
// advance of how far a command turns the panel, nor which way: both are
// learnt from the read-outs as it moves. No clock of the sun either: the
// sensors, which see the sky towards the four cardinal directions, say where
// the sun stands in azimuth; its height is found from the panel's current:
// when it falls, or when tracking begins, the elevation is stepped the way
// the sun goes (up while it is east of the meridian, down after), on while
// each step gains, back if one loses, and the other way if the first lost.
//
// Pure: a refresh's reading in, the next move out, and the lines that tell
// what it did; the exchanges are the caller's.

// What the tracker reads of one status reply.
struct SkyReading
{
    int est = 0, ouest = 0, nord = 0, sud = 0; // light levels as received
    int ipan = 0;      // the panel's current, in tens of milliamperes
    bool full = false; // the battery full: the regulator then limits the current
    int azimuth = 0, elevation = 0;
};

// The reading of a status reply.
SkyReading skyReadingOf(const DecodedReply &reply);

enum class Axis { Azimuth, Elevation };

// One motor command: `increase` raises the axis's read-out (turns the azimuth
// clockwise, raises the elevation) as far as the tracker has learnt which
// command does so; `command` is the one to send ("K01010\r"...).
struct Move
{
    // Why the move is made: following the sun, a step of a search for the
    // elevation that gives the most current, back from a step that gave
    // less, parking for the night.
    enum class Kind { Follow, Probe, Back, Park };
    Axis axis = Axis::Azimuth;
    bool increase = true;
    Kind kind = Kind::Follow;
    QByteArray command;
    QString why; // "the sun is further west", "parking for the night"...
};

// Where the panel waits for the morning.
struct Park
{
    int azimuth = 90; // facing east,
    int elevation = 10; // low, ready for the morning sun
};

class Tracker
{
public:
    enum class Phase { Tracking, Cloud, Night, Parked };

    explicit Tracker(Park park = {});

    // A refresh at `seconds` (on any steady clock): what the tracker makes of
    // the sky. Returns the lines that tell a change of state (cloud, night,
    // tracking again).
    QStringList observe(const SkyReading &reading, double seconds);
    // The next motor command that brings the panel nearer the sun (or the
    // park, at night), or none once it faces it as well as a step allows.
    std::optional<Move> nextMove() const;
    // What the reply to a move showed: the step and the way of the axis are
    // learnt from it, an axis that does not follow is given up. Returns the
    // lines that tell the move and what was learnt.
    QStringList moved(const Move &move, const SkyReading &after);

    Phase phase() const { return state; }
    // How long to wait between refreshes while parked: about a minute, or as
    // long as the sun was seen to take to go 15 degrees if that is less (a
    // day played in minutes), so that the morning is not missed; never less
    // than `interval`.
    double parkedInterval(double interval) const;
    // False once both axes are given up: the panel does not follow the
    // motor commands.
    bool canMove() const { return !azimuth.givenUp || !elevation.givenUp; }
    // The sun's azimuth as the sensors see it, when they see it.
    static std::optional<double> sunAzimuth(const SkyReading &reading);

private:
    struct AxisState
    {
        int step = 0;        // degrees a command turns it, as read; 0 until learnt
        bool forward = true; // the nominal command (K01, J01) raises the read-out
        int stuck = 0;       // commands in a row that left the read-out as it was
        int wrongWay = 0;    // moves towards the sun in a row that took current away
        bool givenUp = false;
    };
    // A search for the elevation that gives the most current, within a turn.
    enum class Search { None, Stepping, BackedOff };

    std::optional<Move> azimuthMove(double target, Move::Kind kind) const;
    std::optional<Move> elevationMove(double target, Move::Kind kind) const;
    std::optional<Move> searchMove() const;
    std::optional<Move> searchStep(bool up, const QString &why) const;
    double offAfterGain() const;
    std::optional<Move> trackingMove() const;
    Move makeMove(Axis axis, bool increase, Move::Kind kind, const QString &why) const;
    const AxisState &stateOf(Axis axis) const { return axis == Axis::Azimuth ? azimuth : elevation; }
    AxisState &stateOf(Axis axis) { return axis == Axis::Azimuth ? azimuth : elevation; }
    int assumedStep(Axis axis) const;
    bool elevationStaysInRange(bool increase) const;
    bool currentIsAGuide() const;
    std::optional<double> sunElevationFromScale() const;
    QStringList learnFrom(const Move &move, const SkyReading &before, const SkyReading &after);
    QStringList followUp(const Move &move, const SkyReading &before);
    void learnScale(double sunElevation);
    bool sunHasMovedOn() const;
    QStringList settleNight();
    QStringList enterPhase(Phase next, const QString &line);
    int lightTotal() const;

    Park park;
    Phase state = Phase::Tracking;
    SkyReading last;
    bool seen = false;
    AxisState azimuth, elevation;
    int lightReference = -1; // the light before a cloud, or of the last clear refresh
    int currentReference = -1;
    std::optional<double> cloudSunAzimuth; // where the sun stood when the cloud came
    int bestCurrent = -1; // the current since the elevation was last found right
    // A search called for without a fall of the current: when tracking begins
    // (the elevation not known right: both ways tried, the sensors' way
    // first), or after a cloud (the sun has gone on: the way it goes).
    enum class Wanted { No, Resuming, Beginning };
    Wanted searchWanted = Wanted::Beginning;
    Search search = Search::None;
    bool searchUp = true;
    bool firstStepOfWay = true; // the search's last step was the first its way
    bool triedOtherWay = false;
    bool firstSearch = false;  // the search began as tracking began: both ways are tried
    bool searchGained = false; // some step of it gave more current
    int fallFactor = 1;
    int currentBeforeStep = 0;
    QVector<double> scales; // the sensors' full scale, learnt where the current peaked
    double sunSpeed = 0;    // degrees of azimuth a second, as the sensors saw the sun go
    std::optional<double> sunAzimuthSeen;
    double sunSeenAt = 0;
};

#endif // TRACKER_H
