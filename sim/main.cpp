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
#include <fstream>
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
    "  --mode MODE        normal, silent, garbage, short or chatter (default normal);\n"
    "                     or jammed, jammed-azimuth, jammed-elevation,\n"
    "                     reversed-azimuth, reversed-elevation: a panel or an axis\n"
    "                     that does not turn, or turns the opposite way\n"
    "  --step-degrees D   degrees one motor command turns, 1 to 90, instead of the\n"
    "                     command's digits; AZ,EL for each axis\n"
    "  --clouds N         about N clouds a simulated day, 0 to 100 (default 0)\n"
    "  --latitude DEG     the sun's path at this latitude, -66 to 66, instead of the\n"
    "                     simple one (east at 6, south 60 degrees high at noon)\n"
    "  --date DATE        the day of that path, as 06-21 for June 21 (default 03-20)\n"
    "  --report FILE      at the end, write the energy harvested as JSON to FILE\n"
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
    std::string report; // where the energy harvested goes as JSON, if anywhere
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
    args.options.installation.startHour =
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
        refuse("--mode",
               "normal, silent, garbage, short, chatter, jammed, jammed-azimuth, jammed-elevation, "
               "reversed-azimuth or reversed-elevation",
               text);
}

void setStep(Arguments &args, const std::string &text)
{
    const std::string accepted = "a whole number of degrees from 1 to 90, or AZ,EL";
    const auto comma = text.find(',');
    const std::string azimuth = text.substr(0, comma);
    const std::string elevation = comma == std::string::npos ? azimuth : text.substr(comma + 1);
    if (!isIn(toNumber(azimuth), {1, 90, true}) || !isIn(toNumber(elevation), {1, 90, true}))
        refuse("--step-degrees", accepted, text);
    args.options.installation.azimuthStep = int(*toNumber(azimuth));
    args.options.installation.elevationStep = int(*toNumber(elevation));
}

void setClouds(Arguments &args, const std::string &text)
{
    args.options.installation.cloudsPerDay =
        numberFor("--clouds", text, {0, 100, false}, "a number from 0 to 100 a day");
}

void setLatitude(Arguments &args, const std::string &text)
{
    args.options.installation.latitude =
        numberFor("--latitude", text, {-66, 66, false}, "a number of degrees from -66 to 66");
}

// MM-DD, as the day of the year (in a year of 365 days).
void setDate(Arguments &args, const std::string &text)
{
    static const int monthStarts[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    const std::string accepted = "a date as MM-DD, from 01-01 to 12-31";
    if (text.size() != 5 || text[2] != '-')
        refuse("--date", accepted, text);
    const std::optional<double> month = toNumber(text.substr(0, 2)), day = toNumber(text.substr(3));
    if (!isIn(month, {1, 12, true}) ||
        !isIn(day, {1, double(monthStarts[int(*month)] - monthStarts[int(*month) - 1]), true}))
        refuse("--date", accepted, text);
    args.options.installation.dayOfYear = monthStarts[int(*month) - 1] + int(*day);
}

void setReport(Arguments &args, const std::string &text)
{
    if (text.empty())
        refuse("--report", "a file", text);
    args.report = text;
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
    {"--set", setFixedField},       {"--seed", setSeed},          {"--step-degrees", setStep},
    {"--clouds", setClouds},        {"--latitude", setLatitude},  {"--date", setDate},
    {"--report", setReport},
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

double ratio(double part, double whole)
{
    return whole > 0 ? part / whole : 0;
}

// What the panel harvested, in one line, and as JSON for --report.
std::string harvestLine(const Harvest &h)
{
    char line[512];
    std::snprintf(line, sizeof line,
                  "over %.1f simulated hours, the panel could give %.1f Wh, %.1f %% of the "
                  "%.1f Wh of a panel always facing the sun; fixed facing south at 45 degrees, "
                  "%.1f Wh; %d motor commands while the sun was up (%d to follow it step by step); "
                  "%.1f degrees off the sun on average",
                  h.hours, h.panelWh, 100 * ratio(h.panelWh, h.idealWh), h.idealWh, h.fixedWh,
                  h.daylightMotorCommands, h.neededCommands,
                  ratio(h.pointingErrorDegreeHours, h.daylightHours));
    return line;
}

std::string harvestJson(const Harvest &h)
{
    char json[1024];
    std::snprintf(json, sizeof json,
                  "{\n  \"simulated_hours\": %.3f,\n  \"daylight_hours\": %.3f,\n"
                  "  \"harvested_Wh\": %.2f,\n  \"ideal_Wh\": %.2f,\n  \"fixed_Wh\": %.2f,\n"
                  "  \"fraction_of_ideal\": %.4f,\n  \"ratio_to_fixed\": %.4f,\n"
                  "  \"motor_commands\": %d,\n  \"daylight_motor_commands\": %d,\n"
                  "  \"needed_commands\": %d,\n"
                  "  \"mean_pointing_error_deg\": %.2f\n}\n",
                  h.hours, h.daylightHours, h.panelWh, h.idealWh, h.fixedWh,
                  ratio(h.panelWh, h.idealWh), ratio(h.panelWh, h.fixedWh), h.motorCommands,
                  h.daylightMotorCommands, h.neededCommands, ratio(h.pointingErrorDegreeHours, h.daylightHours));
    return json;
}

// Writes the report whole or says why not.
bool writeReport(const std::string &path, const Harvest &harvest)
{
    std::ofstream out(path, std::ios::trunc);
    out << harvestJson(harvest);
    out.close();
    if (out)
        return true;
    std::cerr << "tav-controller-sim: cannot write the report " << path << ": "
              << std::strerror(errno) << "\n";
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    Arguments args = parse(argc, argv);
    if (!args.report.empty() && !std::ofstream(args.report, std::ios::app))
        cannot("write the report " + args.report);
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
        const Harvest &harvest = simulator.installation().harvest();
        if (harvest.hours > 0)
            std::cout << "tav-controller-sim: " << harvestLine(harvest) << std::endl;
        if (!args.report.empty() && !writeReport(args.report, harvest))
            status = 3;
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
