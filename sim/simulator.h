#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "installation.h"
#include "ptyline.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <random>
#include <string>

// How the controller misbehaves, for demonstrations and tests.
enum class FaultMode {
    Normal,  // answers every command with a status reply
    Silent,  // never answers
    Garbage, // answers with random bytes
    Short,   // answers with a status reply cut at a random length
    Chatter, // once asked, sends status replies back to back, never pausing
    // Answers as in normal mode, but the panel's motor fails on one axis:
    Jammed,           // neither axis moves
    JammedAzimuth,    // the azimuth does not turn
    JammedElevation,  // the elevation does not move
    ReversedAzimuth,  // the azimuth turns the opposite way from its command
    ReversedElevation // the elevation moves the opposite way from its command
};

struct SimulatorOptions
{
    std::string linkPath;    // where the line's device is linked (<folder>/COMn)
    double daySeconds = 120; // real seconds for a whole day; 0 stops the clock
    InstallationOptions installation; // its start hour, steps, clouds, sun
    int latencyMs = 20;      // from a command's carriage return to the reply
    bool paced = true;       // a reply takes as long as at 9600 baud, 8N1, on a real line
    FaultMode mode = FaultMode::Normal;
    std::map<std::string, int> fixedFields; // reply fields forced to a value
    unsigned seed = std::random_device{}();
};

// The installation's controller at the far end of a pseudo-terminal: reads
// commands ended by a carriage return, acts on them and answers each one.
class Simulator
{
public:
    explicit Simulator(const SimulatorOptions &options);

    // Serves the line until `stop` becomes true.
    void run(const std::atomic<bool> &stop);

    const PtyLine &line() const { return ptyLine; }
    const Installation &installation() const { return model; }

    // The field names accepted in fixedFields.
    static bool isFieldName(const std::string &name);
    static bool parseMode(const std::string &name, FaultMode &mode);

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing
    {
        Clock::time_point start; // when its first byte would leave on a real line
        std::string bytes;
        size_t sent = 0;
    };

    void receive(const std::string &bytes, Clock::time_point now);
    void answer(const std::string &command, Clock::time_point now);
    std::string statusReply() const;
    void queue(std::string bytes, Clock::time_point start);
    Clock::time_point endOfQueue(Clock::time_point now) const;
    Clock::duration byteTime() const;
    Clock::time_point dueAt(const Outgoing &out) const;
    void keepChattering(Clock::time_point now);
    void sendDue(Clock::time_point now);
    void advanceClock(Clock::time_point now);

    SimulatorOptions options;
    PtyLine ptyLine;
    Installation model;
    std::mt19937 random;
    std::string pendingCommand;
    std::deque<Outgoing> outgoing;
    bool chattering = false;
    Clock::time_point lastAdvance = Clock::now();
};

#endif // SIMULATOR_H
