// korva-sensor-sim: a simulated KORVA-TB sensor on a pseudo-terminal.

#include "ptysensor.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <limits>
#include <optional>
#include <pthread.h>
#include <stdexcept>
#include <string>

namespace korva::sim {

namespace {

constexpr const char* kUsage = R"(Usage: korva-sensor-sim [options]

Simulates a KORVA-TB optical line sensor on a pseudo-terminal. The first line
printed on standard output is the device to open (for example /dev/pts/7);
point KORVA-TB Scope or any serial program at it (19200 baud, 8N1). The sensor
answers the full command set: parameters in RAM and EEPROM, line check,
measurement records, set-point and background teach, and the 256-point video
curve of a CCD line on which a dark object moves slowly back and forth.
Runs until interrupted (Ctrl+C, SIGTERM or SIGHUP).

Options:
  --link PATH       also make PATH a symlink to the device (an existing link is
                    replaced; the link is removed on exit)
  --eeprom FILE     keep the EEPROM parameter set in FILE (sixteen numbers, one
                    per line) across runs; RAM starts as a copy of it
  --seed N          seed of the video noise (0 to 4294967295, default 1)
  --no-pacing       answer at once instead of at the pace of a 19200-baud line
  --latency MS      wait MS milliseconds more before each answer (0 to 10000)
  --numbered        a test mode: word 2 (the value) of each measurement record is
                    its number, 1, 2, 3, ...
Faults, to try the program's error handling:
  --silent          never answer
  --wrong-echo      answer the line check with 0xAA00 instead of 0x00AA
  --truncate N      cut every answer to N bytes (0 to 255)
  --extra N         append N junk bytes (0xA5) to every answer (0 to 4096)
  --drop-every N    ignore every N-th command (1 to 1000000; 0: none)
  --help            show this text
)";

// Option ids, in the order of kOptions below.
enum OptionId { Link = 1000, Eeprom, Seed, NoPacing, Latency, Numbered, Silent, WrongEcho, Truncate, Extra, DropEvery, Help };

constexpr option kOptions[] = {
    {"link", required_argument, nullptr, Link},
    {"eeprom", required_argument, nullptr, Eeprom},
    {"seed", required_argument, nullptr, Seed},
    {"no-pacing", no_argument, nullptr, NoPacing},
    {"latency", required_argument, nullptr, Latency},
    {"numbered", no_argument, nullptr, Numbered},
    {"silent", no_argument, nullptr, Silent},
    {"wrong-echo", no_argument, nullptr, WrongEcho},
    {"truncate", required_argument, nullptr, Truncate},
    {"extra", required_argument, nullptr, Extra},
    {"drop-every", required_argument, nullptr, DropEvery},
    {"help", no_argument, nullptr, Help},
    {nullptr, 0, nullptr, 0},
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The value of a numeric option, from 0 to `most`.
std::uint64_t number(const char* text, const char* option, std::uint64_t most)
{
    std::uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || ptr != end || value > most)
        throw UsageError(std::string("--") + option + " needs a whole number from 0 to " + std::to_string(most) +
                         ", not \"" + text + "\"");
    return value;
}

// Applies one option to `options`; returns false for --help.
bool applyOption(int id, const char* arg, SensorOptions& options)
{
    const char* name = id >= Link && id <= Help ? kOptions[id - Link].name : "";
    switch (id) {
    case Link: options.linkPath = arg; break;
    case Eeprom: options.eepromFile = arg; break;
    case Seed: options.seed = number(arg, name, std::numeric_limits<std::uint32_t>::max()); break;
    case NoPacing: options.pacing = false; break;
    case Latency:
        options.latency = std::chrono::milliseconds(number(arg, name, SensorOptions::kMaxLatency.count()));
        break;
    case Numbered: options.numbered = true; break;
    case Silent: options.faults.silent = true; break;
    case WrongEcho: options.faults.wrongEcho = true; break;
    case Truncate: options.faults.truncate = number(arg, name, Faults::kMaxTruncate); break;
    case Extra: options.faults.extra = number(arg, name, Faults::kMaxExtra); break;
    case DropEvery: options.faults.dropEvery = number(arg, name, Faults::kMaxDropEvery); break;
    case Help: return false;
    default: throw UsageError("unknown option");
    }
    return true;
}

// The options of the command line, or nothing when --help was given.
std::optional<SensorOptions> parseOptions(int argc, char** argv)
{
    SensorOptions options;
    opterr = 0;
    int id = 0;
    while ((id = ::getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
        if (id == '?' || id == ':')
            throw UsageError(std::string("unknown option or missing value: ") + argv[optind - 1]);
        if (!applyOption(id, optarg, options))
            return std::nullopt;
    }
    if (optind < argc)
        throw UsageError(std::string("unexpected argument: ") + argv[optind]);
    return options;
}

// The signals that end the program are blocked before the serving thread starts, so that
// only sigwait below receives them.
sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

int serve(const SensorOptions& options)
{
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    PtySensor sensor(options);
    sensor.start();
    std::printf("%s\n", sensor.devicePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "korva-sensor-sim: serving on %s%s%s, %s; Ctrl+C ends\n", sensor.devicePath().c_str(),
                 options.linkPath.empty() ? "" : " linked from ", options.linkPath.c_str(),
                 options.pacing ? "paced at 19200 baud" : "no pacing");
    int received = 0;
    sigwait(&signals, &received);
    sensor.stop();
    return 0;
}

}  // namespace

}  // namespace korva::sim

int main(int argc, char** argv)
{
    using namespace korva::sim;
    try {
        const auto options = parseOptions(argc, argv);
        if (!options) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        return serve(*options);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "korva-sensor-sim: %s\nTry korva-sensor-sim --help\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korva-sensor-sim: %s\n", e.what());
        return 1;
    }
}
