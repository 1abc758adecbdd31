// tav-controller-sim: plays the installation's controller on a pseudo-terminal
// linked as COMn, so that the panel can run without the hardware.
#include "simulator.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int)
{
    stopRequested = true;
}

const char *const usage =
    "usage: tav-controller-sim [options]\n"
    "  --dir DIR          folder for the port link (default: a new temporary folder)\n"
    "  --port N           port number, linked as DIR/COMN (default 1)\n"
    "  --day-seconds S    real seconds for a whole simulated day (default 120; 0 stops the sun)\n"
    "  --start-hour H     simulated time of day at start (default 8)\n"
    "  --latency-ms MS    delay before each reply (default 20)\n"
    "  --fast             send replies at once instead of at 9600 baud\n"
    "  --mode MODE        normal, silent, garbage, short or chatter (default normal)\n"
    "  --set FIELD=VALUE  always send VALUE in that field: est, ouest, nord, sud, vpan,\n"
    "                     vbat, ipan, ibat, charge, pleine, vide, azimut, elevation\n"
    "  --seed N           seed of the random faults\n";

[[noreturn]] void fail(const std::string &message)
{
    std::cerr << "tav-controller-sim: " << message << "\n" << usage;
    std::exit(2);
}

bool toNumber(const std::string &text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

struct Arguments
{
    SimulatorOptions options;
    std::string folder;
    int port = 1;
};

void setOption(Arguments &args, const std::string &name, const std::string &value)
{
    double number = 0;
    const bool numeric = toNumber(value, number);
    if (name == "--dir")
        args.folder = value;
    else if (name == "--port" && numeric && number >= 1 && number <= 99)
        args.port = int(number);
    else if (name == "--day-seconds" && numeric && number >= 0)
        args.options.daySeconds = number;
    else if (name == "--start-hour" && numeric && number >= 0 && number < 24)
        args.options.startHour = number;
    else if (name == "--latency-ms" && numeric && number >= 0 && number <= 60000)
        args.options.latencyMs = int(number);
    else if (name == "--mode" && Simulator::parseMode(value, args.options.mode))
        return;
    else if (name == "--seed" && numeric && number >= 0)
        args.options.seed = unsigned(number);
    else if (name == "--set") {
        const auto equals = value.find('=');
        double fieldValue = 0;
        if (equals == std::string::npos || !Simulator::isFieldName(value.substr(0, equals)) ||
            !toNumber(value.substr(equals + 1), fieldValue))
            fail("bad --set " + value);
        args.options.fixedFields[value.substr(0, equals)] = int(fieldValue);
    } else
        fail("bad option " + name + " " + value);
}

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
        if (i + 1 >= argc)
            fail("missing value after " + name);
        setOption(args, name, argv[++i]);
    }
    return args;
}

std::string makeTemporaryFolder()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tav-sim-XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail("cannot create a temporary folder: " + std::string(std::strerror(errno)));
    return pattern;
}

} // namespace

int main(int argc, char **argv)
{
    Arguments args = parse(argc, argv);
    const bool ownFolder = args.folder.empty();
    if (ownFolder)
        args.folder = makeTemporaryFolder();
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
                  << args.options.linkPath << " (" << simulator.line().devicePath()
                  << "); start the panel with: TAV_SERIAL_DIR=" << args.folder << " tav-panel"
                  << std::endl;
        simulator.run(stopRequested);
    } catch (const std::exception &error) {
        std::cerr << "tav-controller-sim: " << error.what() << "\n";
        status = 1;
    }
    if (ownFolder)
        rmdir(args.folder.c_str());
    return status;
}
