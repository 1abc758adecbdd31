// tav-controller-sim: plays the installation's controller on a pseudo-terminal
// linked as COMn, so that the panel can run without the hardware.
#include "simulator.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
}

const char *const usage =
    "usage: tav-controller-sim [options]\n"
    "  --dir DIR          folder for the port link, made if missing (default: a new\n"
    "                     temporary folder)\n"
    "  --port N           port number, 1 to 99, linked as DIR/COMN (default 1)\n"
    "  --day-seconds S    real seconds for a whole simulated day, 1 to 86400 (default 120),\n"
    "                     or 0 to hold the sun still\n"
    "  --start-hour H     simulated time of day at start, 0 to 24 (default 8)\n"
    "  --latency-ms MS    delay before each reply, 0 to 60000 (default 20)\n"
    "  --fast             send replies at once instead of at 9600 baud\n"
    "  --mode MODE        normal, silent, garbage, short or chatter (default normal)\n"
    "  --set FIELD=VALUE  always send VALUE in that field: est, ouest, nord, sud, vpan,\n"
    "                     vbat, ipan, ibat, azimut, elevation (-99 to 999, what the\n"
    "                     reply's three characters carry), or charge, pleine, vide\n"
    "                     (0 or 1)\n"
    "  --seed N           seed of the random faults, 0 to 4294967295\n"
    "  --no-hint          say only which port it plays, not how to start the panel\n"
    "  -h, --help         show this help\n";

[[noreturn]] void fail(const std::string &message)
{
    std::cerr << "tav-controller-sim: " << message << "\n" << usage;
    std::exit(2);
}

// For what the system refuses: the reason, without the usage.
[[noreturn]] void cannot(const std::string &what)
{
    std::cerr << "tav-controller-sim: cannot " << what << ": " << std::strerror(errno) << "\n";
    std::exit(2);
}

[[noreturn]] void refuse(const std::string &option, const std::string &accepted,
                         const std::string &value)
{
    fail(option + " takes " + accepted + ", not \"" + value + "\"");
}

// The finite number the whole text spells, if it spells one.
std::optional<double> toNumber(const std::string &text)
{
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// What an option's value may be: a number from `low` to `high`, whole or not.
struct Range
{
    double low, high;
    bool whole;
};

bool isIn(const std::optional<double> &value, const Range &range)
{
    return value && *value >= range.low && *value <= range.high &&
           (!range.whole || *value == std::floor(*value));
}

// The option's value, checked against its range before anything converts it;
// `accepted` says the range in words, for the message that refuses a value.
double numberFor(const std::string &option, const std::string &text, const Range &range,
                 const std::string &accepted)
{
    const std::optional<double> value = toNumber(text);
    if (!isIn(value, range))
        refuse(option, accepted, text);
    return *value;
}

struct Arguments
{
    SimulatorOptions options;
    std::string folder;
    int port = 1;
    bool hint = true; // how to start the panel, after the port it plays
};

void setFixedField(Arguments &args, const std::string &assignment)
{
    // What a field of the reply can carry: three characters for a number, a
    // minus sign taking one of them; two, "00" or "01", for a flag.
    const Range number{-99, 999, true}, flag{0, 1, true};
    const auto equals = assignment.find('=');
    const std::string field = assignment.substr(0, equals);
    const bool isFlag = field == "charge" || field == "pleine" || field == "vide";
    const std::optional<double> value =
        equals == std::string::npos ? std::nullopt : toNumber(assignment.substr(equals + 1));
    if (!Simulator::isFieldName(field) || !isIn(value, isFlag ? flag : number))
        refuse("--set",
               "FIELD=VALUE with a field listed below and a whole number from -99 to 999, "
               "what the reply's field carries (0 or 1 for charge, pleine and vide)",
               assignment);
    args.options.fixedFields[field] = int(*value);
}

void setDaySeconds(Arguments &args, const std::string &text)
{
    // A day shorter than a second would make the model take ever more of its
    // small steps at each turn of the loop, for a sun nobody could follow.
    const std::string accepted = "0 (the sun stands still) or 1 to 86400 seconds";
    const double seconds = numberFor("--day-seconds", text, {0, 86400, false}, accepted);
    if (seconds > 0 && seconds < 1)
        refuse("--day-seconds", accepted, text);
    args.options.daySeconds = seconds;
}

void setFolder(Arguments &args, const std::string &text)
{
    if (text.empty())
        refuse("--dir", "a folder", text);
    args.folder = text;
}

void setPort(Arguments &args, const std::string &text)
{
    args.port = int(numberFor("--port", text, {1, 99, true}, "a whole number from 1 to 99"));
}

void setStartHour(Arguments &args, const std::string &text)
{
    args.options.startHour =
        numberFor("--start-hour", text, {0, 24, false}, "a number of hours from 0 to 24");
}

void setLatency(Arguments &args, const std::string &text)
{
    args.options.latencyMs =
        int(numberFor("--latency-ms", text, {0, 60000, true}, "a whole number from 0 to 60000"));
}

void setMode(Arguments &args, const std::string &text)
{
    if (!Simulator::parseMode(text, args.options.mode))
        refuse("--mode", "normal, silent, garbage, short or chatter", text);
}

void setSeed(Arguments &args, const std::string &text)
{
    args.options.seed = unsigned(
        numberFor("--seed", text, {0, 4294967295.0, true}, "a whole number from 0 to 4294967295"));
}

using Setter = void (*)(Arguments &, const std::string &);

// The options that take a value, each with what reads it.
const std::map<std::string, Setter> valueOptions{
    {"--dir", setFolder},           {"--port", setPort},          {"--day-seconds", setDaySeconds},
    {"--start-hour", setStartHour}, {"--latency-ms", setLatency}, {"--mode", setMode},
    {"--set", setFixedField},       {"--seed", setSeed},
};

Arguments parse(int argc, char **argv)
{
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::cout << usage;
            std::exit(0);
        }
        if (name == "--fast") {
            args.options.paced = false;
            continue;
        }
        if (name == "--no-hint") {
            args.hint = false;
            continue;
        }
        const auto setter = valueOptions.find(name);
        if (setter == valueOptions.end())
            fail("unknown option " + name);
        if (i + 1 >= argc)
            fail("missing value after " + name);
        setter->second(args, argv[++i]);
    }
    return args;
}

std::string makeTemporaryFolder()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tav-sim-XXXXXX";
    if (!mkdtemp(pattern.data()))
        cannot("create a temporary folder");
    return pattern;
}

// Makes the folder, and those above it, where missing (mode 0700, as a
// temporary folder is made). Returns the folders it made, outermost first.
std::vector<std::string> makeFolder(const std::string &folder)
{
    std::vector<std::string> made;
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) == 0)
            made.push_back(part);
        else if (errno != EEXIST)
            cannot("make the folder " + part);
        if (slash == std::string::npos)
            return made;
    }
}

} // namespace

int main(int argc, char **argv)
{
    Arguments args = parse(argc, argv);
    const bool ownFolder = args.folder.empty();
    if (ownFolder)
        args.folder = makeTemporaryFolder();
    // Removed at the end, if nothing else has come into them meanwhile.
    const std::vector<std::string> made = ownFolder ? std::vector{args.folder}
                                                    : makeFolder(args.folder);
    args.options.linkPath = args.folder + "/COM" + std::to_string(args.port);

    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    int status = 0;
    try {
        Simulator simulator(args.options);
        std::cout << "tav-controller-sim: COM" << args.port << " listening at "
                  << args.options.linkPath << " (" << simulator.line().devicePath() << ")";
        if (args.hint)
            std::cout << "; start the panel with: TAV_SERIAL_DIR=" << args.folder << " tav-panel";
        std::cout << std::endl;
        simulator.run(stopRequested);
    } catch (const CannotLink &error) { // a --dir it may not write in, a file there
        std::cerr << "tav-controller-sim: " << error.what() << "\n";
        status = 2;
    } catch (const std::exception &error) {
        std::cerr << "tav-controller-sim: " << error.what() << "\n";
        status = 1;
    }
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder)
        rmdir(folder->c_str());
    return status;
}
