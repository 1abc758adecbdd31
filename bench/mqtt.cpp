// Times the MQTT bridge's commands: from a command message published to the
// broker to its bytes on the serial line, beside the broker's own delivery of
// the same message to a plain subscriber, both on one clock.
//
//   bench_mqtt TAVCTL BROKER_PORT [COMMANDS]
//
// Starts `TAVCTL mqtt` against the broker on 127.0.0.1:BROKER_PORT, its COM1 a
// pseudo-terminal whose far end answers every command at once with a status
// reply, with refreshes an hour apart so that none comes in the way. Once the
// first refresh is in, publishes COMMANDS command messages (30 by default),
// motor and light in turn, each when the previous one's exchange is over (its
// state message is in) and 100 ms more have passed. Prints one line per
// command, in milliseconds after the publication:
//   line subscriber
// line: its carriage return came in on the serial line; subscriber: a plain
// subscriber of the command topics had it from the broker. The bridge's own
// log goes to standard error.
#include "ptyline.h"

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

const std::string prefix = "tav/bench";
const std::pair<const char *, const char *> commands[] = {
    {"motor", "up"},   {"light", "all 80"}, {"motor", "down"},  {"light", "off"},
    {"motor", "left"}, {"light", "1"},      {"motor", "right"}, {"light", "4"}};

// What the other threads see, under one lock.
struct
{
    std::mutex mutex;
    std::condition_variable changed;
    bool subscribed = false, online = false;
    int onLine = 0, delivered = 0, states = 0; // counts
    Clock::time_point lastOnLine, lastDelivered;
} seen;

template <typename Change> void note(Change change)
{
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        change();
    }
    seen.changed.notify_all();
}

// Waits up to 5 s for the condition to hold.
template <typename Condition> bool await(Condition condition)
{
    std::unique_lock<std::mutex> lock(seen.mutex);
    return seen.changed.wait_for(lock, std::chrono::seconds(5), condition);
}

// The controller: notes when each command's carriage return comes in, and
// answers it at once.
void playController(PtyLine &line, const std::atomic<bool> &stopping)
{
    const std::string reply =
        "S:120045200033 energie : 138125040012000100 angles az / el : 090045\r\n";
    while (!stopping) {
        const std::string bytes = line.read(2);
        const Clock::time_point now = Clock::now();
        for (const char c : bytes) {
            if (c != '\r')
                continue;
            note([&] { seen.lastOnLine = now, ++seen.onLine; });
            line.write(reply.data(), reply.size());
        }
    }
}

// Retained messages, those of an earlier run among them, are not counted.
void onMessage(mosquitto *, void *, const mosquitto_message *message)
{
    const Clock::time_point now = Clock::now();
    if (message->retain)
        return;
    const std::string topic = message->topic;
    const std::string payload(static_cast<const char *>(message->payload),
                              size_t(message->payloadlen));
    note([&] {
        if (topic == prefix + "/availability")
            seen.online = payload == "online";
        else if (topic == prefix + "/state")
            ++seen.states;
        else
            seen.lastDelivered = now, ++seen.delivered;
    });
}

mosquitto *connectedClient(const char *id, int port)
{
    mosquitto *client = mosquitto_new(id, true, nullptr);
    if (!client || mosquitto_connect(client, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(client) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "bench_mqtt: no broker on 127.0.0.1:%d\n", port);
        std::exit(1);
    }
    return client;
}

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_mqtt TAVCTL BROKER_PORT [COMMANDS]\n");
        return 2;
    }
    const int port = std::atoi(argv[2]);
    const int count = argc > 3 ? std::atoi(argv[3]) : 30;
    mosquitto_lib_init();

    mosquitto *subscriber = connectedClient("bench-subscriber", port);
    mosquitto_message_callback_set(subscriber, onMessage);
    mosquitto_subscribe_callback_set(subscriber, [](mosquitto *, void *, int, int, const int *) {
        note([] { seen.subscribed = true; });
    });
    mosquitto_subscribe(subscriber, nullptr, (prefix + "/#").c_str(), 1);
    mosquitto *publisher = connectedClient("bench-publisher", port);

    std::string folder = std::filesystem::temp_directory_path() / "bench_mqtt.XXXXXX";
    if (!mkdtemp(folder.data()))
        return 1;
    std::optional<PtyLine> line(std::in_place, folder + "/COM1");
    std::atomic<bool> stopping{false};
    std::thread controller(playController, std::ref(*line), std::cref(stopping));

    setenv("TAV_SERIAL_DIR", folder.c_str(), 1);
    const std::string broker = "mqtt://127.0.0.1:" + std::string(argv[2]);
    const char *const bridgeArgs[] = {argv[1], "mqtt",  "--broker",   broker.c_str(), "--port", "1",
                                      "--id",  "bench", "--interval", "3600",         nullptr};
    pid_t bridge = 0;
    bool ok = await([] { return seen.subscribed; }) &&
              posix_spawn(&bridge, argv[1], nullptr, nullptr, const_cast<char **>(bridgeArgs),
                          environ) == 0 &&
              await([] { return seen.online && seen.states > 0 && seen.onLine > 0; });
    for (int i = 0; ok && i < count; ++i) {
        const auto &[kind, word] = commands[i % std::size(commands)];
        int onLine, delivered, states;
        {
            std::lock_guard<std::mutex> lock(seen.mutex);
            onLine = seen.onLine, delivered = seen.delivered, states = seen.states;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::string topic = prefix + "/" + kind + "/set";
        const Clock::time_point published = Clock::now();
        mosquitto_publish(publisher, nullptr, topic.c_str(),
                          int(std::char_traits<char>::length(word)), word, 0, false);
        ok = await([&] {
            return seen.onLine > onLine && seen.delivered > delivered && seen.states > states;
        });
        std::lock_guard<std::mutex> lock(seen.mutex);
        if (ok)
            std::printf("%.3f %.3f\n", msBetween(published, seen.lastOnLine),
                        msBetween(published, seen.lastDelivered));
    }
    if (!ok)
        std::fprintf(stderr, "bench_mqtt: the bridge did not start, or a command did not "
                             "reach the line within 5 s\n");

    int status = -1;
    if (bridge > 0 && kill(bridge, SIGTERM) == 0)
        waitpid(bridge, &status, 0);
    stopping = true;
    controller.join();
    line.reset();
    rmdir(folder.c_str());
    for (mosquitto *client : {publisher, subscriber}) {
        mosquitto_disconnect(client);
        mosquitto_loop_stop(client, false);
        mosquitto_destroy(client);
    }
    mosquitto_lib_cleanup();
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
