#include "simulator.h"

#include "statusreply.h"

#include <algorithm>

namespace {

using FieldSetter = void (*)(StatusValues &, int);

const std::map<std::string, FieldSetter> &fieldSetters()
{
    static const std::map<std::string, FieldSetter> setters{
        {"est", [](StatusValues &s, int v) { s.lumEst = v; }},
        {"ouest", [](StatusValues &s, int v) { s.lumOuest = v; }},
        {"nord", [](StatusValues &s, int v) { s.lumNord = v; }},
        {"sud", [](StatusValues &s, int v) { s.lumSud = v; }},
        {"vpan", [](StatusValues &s, int v) { s.vpan = v; }},
        {"vbat", [](StatusValues &s, int v) { s.vbat = v; }},
        {"ipan", [](StatusValues &s, int v) { s.ipan = v; }},
        {"ibat", [](StatusValues &s, int v) { s.ibat = v; }},
        {"charge", [](StatusValues &s, int v) { s.charge = v != 0; }},
        {"pleine", [](StatusValues &s, int v) { s.pleine = v != 0; }},
        {"vide", [](StatusValues &s, int v) { s.vide = v != 0; }},
        {"azimut", [](StatusValues &s, int v) { s.azimut = v; }},
        {"elevation", [](StatusValues &s, int v) { s.elevation = v; }},
    };
    return setters;
}

constexpr size_t longestCommand = 256;  // a line without carriage return is cut here
constexpr double longestTurnHours = 24; // simulated time one turn of the loop lets pass

} // namespace

bool Simulator::isFieldName(const std::string &name)
{
    return fieldSetters().count(name) != 0;
}

bool Simulator::parseMode(const std::string &name, FaultMode &mode)
{
    static const std::map<std::string, FaultMode> modes{
        {"normal", FaultMode::Normal},
        {"silent", FaultMode::Silent},
        {"garbage", FaultMode::Garbage},
        {"short", FaultMode::Short},
        {"chatter", FaultMode::Chatter},
        {"jammed", FaultMode::Jammed},
        {"jammed-azimuth", FaultMode::JammedAzimuth},
        {"jammed-elevation", FaultMode::JammedElevation},
        {"reversed-azimuth", FaultMode::ReversedAzimuth},
        {"reversed-elevation", FaultMode::ReversedElevation}};
    const auto found = modes.find(name);
    if (found == modes.end())
        return false;
    mode = found->second;
    return true;
}

namespace {

// The model with the motor fault that the mode names, if any.
InstallationOptions modelOptions(const SimulatorOptions &options)
{
    InstallationOptions model = options.installation;
    model.seed = options.seed;
    if (options.mode == FaultMode::Jammed)
        model.azimuthFault = model.elevationFault = AxisFault::Jammed;
    if (options.mode == FaultMode::JammedAzimuth || options.mode == FaultMode::ReversedAzimuth)
        model.azimuthFault = options.mode == FaultMode::JammedAzimuth ? AxisFault::Jammed
                                                                      : AxisFault::Reversed;
    if (options.mode == FaultMode::JammedElevation || options.mode == FaultMode::ReversedElevation)
        model.elevationFault = options.mode == FaultMode::JammedElevation ? AxisFault::Jammed
                                                                          : AxisFault::Reversed;
    return model;
}

} // namespace

Simulator::Simulator(const SimulatorOptions &opts)
    : options(opts), ptyLine(opts.linkPath), model(modelOptions(opts)), random(opts.seed)
{
}

void Simulator::run(const std::atomic<bool> &stop)
{
    lastAdvance = Clock::now();
    while (!stop) {
        // Wake up for the next paced byte, or often enough to notice `stop`.
        int waitMs = 5;
        if (!outgoing.empty())
            waitMs =
                int(std::clamp<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              dueAt(outgoing.front()) - Clock::now())
                                              .count(),
                                          0, 5));
        const std::string bytes = ptyLine.read(waitMs);
        const auto now = Clock::now();
        advanceClock(now);
        receive(bytes, now);
        // What is sent while nobody listens is lost, as on a real line.
        if (!ptyLine.isOpenAtFarEnd()) {
            outgoing.clear();
            chattering = false;
        }
        keepChattering(now);
        sendDue(now);
    }
}

void Simulator::advanceClock(Clock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - lastAdvance).count();
    lastAdvance = now;
    // At most a simulated day a turn: however short the day or long the pause
    // (a stopped process, a loaded machine), a turn stays a few hundred of the
    // model's steps, and the loop keeps noticing `stop`.
    if (options.daySeconds > 0)
        model.advance(std::min(seconds * 24.0 / options.daySeconds, longestTurnHours));
}

void Simulator::receive(const std::string &bytes, Clock::time_point now)
{
    for (char c : bytes) {
        if (c == '\r') {
            answer(pendingCommand, now);
            pendingCommand.clear();
        } else if (c != '\n' && pendingCommand.size() < longestCommand) {
            pendingCommand += c;
        }
    }
}

void Simulator::answer(const std::string &command, Clock::time_point now)
{
    model.apply(command);
    const auto start = endOfQueue(now + std::chrono::milliseconds(options.latencyMs));
    switch (options.mode) {
    case FaultMode::Normal:
    case FaultMode::Jammed:
    case FaultMode::JammedAzimuth:
    case FaultMode::JammedElevation:
    case FaultMode::ReversedAzimuth:
    case FaultMode::ReversedElevation:
        queue(statusReply(), start);
        break;
    case FaultMode::Silent:
        break;
    case FaultMode::Garbage: {
        std::string noise(std::uniform_int_distribution<size_t>(1, 120)(random), '\0');
        for (char &c : noise)
            c = char(std::uniform_int_distribution<int>(0, 255)(random));
        queue(noise, start);
        break;
    }
    case FaultMode::Short: {
        const std::string reply = statusReply();
        queue(reply.substr(0, std::uniform_int_distribution<size_t>(1, 66)(random)), start);
        break;
    }
    case FaultMode::Chatter:
        chattering = true;
        queue(statusReply(), start);
        break;
    }
}

std::string Simulator::statusReply() const
{
    StatusValues values = model.status();
    for (const auto &[name, value] : options.fixedFields)
        fieldSetters().at(name)(values, value);
    return encodeStatus(values);
}

Simulator::Clock::duration Simulator::byteTime() const
{
    // 10 bits a byte (start, 8 data, stop) at 9600 bit/s.
    return options.paced ? std::chrono::duration_cast<Clock::duration>(
                               std::chrono::microseconds(1000000 * 10 / 9600))
                         : Clock::duration::zero();
}

Simulator::Clock::time_point Simulator::endOfQueue(Clock::time_point earliest) const
{
    if (outgoing.empty())
        return earliest;
    const Outgoing &last = outgoing.back();
    return std::max(earliest, last.start + byteTime() * long(last.bytes.size()));
}

void Simulator::queue(std::string bytes, Clock::time_point start)
{
    if (!bytes.empty())
        outgoing.push_back({start, std::move(bytes), 0});
}

void Simulator::keepChattering(Clock::time_point now)
{
    // Keep the next reply queued behind the current one, so the line never rests.
    if (chattering && outgoing.size() < 2)
        queue(statusReply(), endOfQueue(now));
}

Simulator::Clock::time_point Simulator::dueAt(const Outgoing &out) const
{
    return out.start + byteTime() * long(out.bytes.size());
}

// Bytes leave whole, once the last of them would have crossed a real line: a
// late wake-up (a loaded machine) delays a reply but never splits it with a
// pause that no controller at 9600 baud would make.
void Simulator::sendDue(Clock::time_point now)
{
    while (!outgoing.empty()) {
        Outgoing &out = outgoing.front();
        if (dueAt(out) > now)
            return;
        out.sent += ptyLine.write(out.bytes.data() + out.sent, out.bytes.size() - out.sent);
        if (out.sent < out.bytes.size())
            return;
        outgoing.pop_front();
    }
}
